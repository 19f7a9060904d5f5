// SIStreamWriter's config reading: JSON into the model of SIStreamWriter.h, with every error
// reported by its JSON path. The config format is described at the top of SIStreamWriter.cpp.

#include "SIStreamWriter.h"
#include "PeerCommon.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

using nlohmann::json;

namespace siw
{
namespace
{

// Config errors are reported with the JSON path so that a wrong field is found quickly.
struct Reader
{
    std::string error;

    bool Fail(const std::string& path, const std::string& what)
    {
        if (error.empty())
            error = path + ": " + what;
        return false;
    }

    bool Uint(const json& obj, const char* key, const std::string& path, unsigned long max, unsigned long& out,
              std::optional<unsigned long> fallback = std::nullopt)
    {
        if (!obj.contains(key))
        {
            if (fallback)
            {
                out = *fallback;
                return true;
            }
            return Fail(path + "." + key, "missing");
        }
        const json& v = obj.at(key);
        if (!v.is_number_unsigned() && !(v.is_number_integer() && v.get<long long>() >= 0))
            return Fail(path + "." + key, "must be a non-negative integer");
        const unsigned long value = v.get<unsigned long>();
        if (value > max)
            return Fail(path + "." + key, "must be at most " + std::to_string(max));
        out = value;
        return true;
    }

    template <typename T>
    bool UintT(const json& obj, const char* key, const std::string& path, unsigned long max, T& out,
               std::optional<unsigned long> fallback = std::nullopt)
    {
        unsigned long value = 0;
        if (!Uint(obj, key, path, max, value, fallback))
            return false;
        out = static_cast<T>(value);
        return true;
    }

    bool Bool(const json& obj, const char* key, const std::string& path, bool fallback, bool& out)
    {
        if (!obj.contains(key))
        {
            out = fallback;
            return true;
        }
        if (!obj.at(key).is_boolean())
            return Fail(path + "." + key, "must be true or false");
        out = obj.at(key).get<bool>();
        return true;
    }

    bool String(const json& obj, const char* key, const std::string& path, std::string& out)
    {
        if (!obj.contains(key))
            return Fail(path + "." + key, "missing");
        if (!obj.at(key).is_string())
            return Fail(path + "." + key, "must be a string");
        out = obj.at(key).get<std::string>();
        return true;
    }

    bool Utc(const json& obj, const char* key, const std::string& path, long long& out)
    {
        std::string text;
        if (!String(obj, key, path, text))
            return false;
        if (!peer::ParseUtc(text, out))
            return Fail(path + "." + key, "not a UTC time \"YYYY-MM-DD HH:MM:SS\": " + text);
        return true;
    }

    // Text given either as a string (its UTF-8 bytes) or as hex (exact bytes).
    bool Bytes(const json& obj, const char* key, const std::string& path, std::vector<uint8_t>& out, bool required)
    {
        const std::string hexKey = std::string(key) + "_hex";
        if (obj.contains(hexKey))
        {
            if (!obj.at(hexKey).is_string() || !peer::FromHex(obj.at(hexKey).get<std::string>(), out))
                return Fail(path + "." + hexKey, "must be a string of hex digits");
            return true;
        }
        if (!obj.contains(key))
        {
            out.clear();
            return required ? Fail(path + "." + key, "missing") : true;
        }
        std::string text;
        if (!String(obj, key, path, text))
            return false;
        out.assign(text.begin(), text.end());
        return true;
    }

    bool Offset(const json& obj, const char* key, const std::string& path, uint8_t& polarity, uint16_t& bcd)
    {
        std::string text;
        if (!String(obj, key, path, text))
            return false;
        int sign = 0;
        if (!text.empty() && (text[0] == '+' || text[0] == '-'))
        {
            sign = text[0] == '-' ? 1 : 0;
            text = text.substr(1);
        }
        int h = 0, m = 0;
        if (std::sscanf(text.c_str(), "%2d:%2d", &h, &m) != 2 || h < 0 || h > 23 || m < 0 || m > 59)
            return Fail(path + "." + key, "must look like +HH:MM");
        polarity = static_cast<uint8_t>(sign);
        bcd = static_cast<uint16_t>((peer::ToBcd(static_cast<unsigned>(h)) << 8) | peer::ToBcd(static_cast<unsigned>(m)));
        return true;
    }

    bool ReadEvent(const json& obj, const std::string& path, Event& ev)
    {
        if (!obj.is_object())
            return Fail(path, "must be an object");
        long duration = 0;
        std::string durationText;
        if (!UintT(obj, "event_id", path, 0xFFFF, ev.eventId) || !Utc(obj, "start", path, ev.start) ||
            !String(obj, "duration", path, durationText))
            return false;
        if (!peer::ParseDuration(durationText, duration) || !peer::DurationToBcd(duration, ev.durationBcd))
            return Fail(path + ".duration", "must be HH:MM:SS below 100 hours");
        if (!UintT(obj, "running_status", path, 7, ev.runningStatus, 0) ||
            !Bool(obj, "free_ca", path, false, ev.freeCa))
            return false;
        if (obj.contains("language"))
        {
            if (!String(obj, "language", path, ev.language))
                return false;
            if (ev.language.size() != 3)
                return Fail(path + ".language", "must have 3 characters");
        }
        if (!Bytes(obj, "name", path, ev.name, true) || !Bytes(obj, "text", path, ev.text, false))
            return false;
        // A short event descriptor holds 5 bytes of fixed fields plus both strings in 255 bytes.
        if (ev.name.size() + ev.text.size() + 5 > 255)
            return Fail(path, "name and text too long for one short event descriptor");
        return true;
    }

    bool ReadGenerated(const json& obj, const std::string& path, std::vector<Event>& out)
    {
        unsigned long firstId = 0, count = 0, textLength = 0;
        long long start = 0;
        std::string durationText, nameFormat = "Event %d", language = "eng";
        if (!Uint(obj, "first_event_id", path, 0xFFFF, firstId) || !Utc(obj, "start", path, start) ||
            !Uint(obj, "count", path, 0xFFFF, count) || !String(obj, "duration", path, durationText) ||
            !Uint(obj, "text_length", path, 200, textLength, 40))
            return false;
        if (obj.contains("name") && !String(obj, "name", path, nameFormat))
            return false;
        if (obj.contains("language") && !String(obj, "language", path, language))
            return false;
        if (language.size() != 3)
            return Fail(path + ".language", "must have 3 characters");
        long duration = 0;
        uint32_t durationBcd = 0;
        if (!peer::ParseDuration(durationText, duration) || duration <= 0 || !peer::DurationToBcd(duration, durationBcd))
            return Fail(path + ".duration", "must be a positive HH:MM:SS");
        if (firstId + count > 0x10000)
            return Fail(path + ".count", "event ids would pass 65535");
        static const char filler[] = "Generated programme guide text for the peer benchmark stream. ";
        for (unsigned long i = 0; i < count; ++i)
        {
            Event ev;
            ev.eventId = static_cast<uint16_t>(firstId + i);
            ev.start = start + static_cast<long long>(i) * duration;
            ev.durationBcd = durationBcd;
            ev.runningStatus = 1;
            ev.language = language;
            // "%d" in the name becomes the event_id; nothing else is interpreted.
            std::string name = nameFormat;
            const std::size_t mark = name.find("%d");
            if (mark != std::string::npos)
                name.replace(mark, 2, std::to_string(ev.eventId));
            ev.name.assign(name.begin(), name.end());
            for (unsigned long k = 0; k < textLength; ++k)
                ev.text.push_back(static_cast<uint8_t>(filler[(k + i) % (sizeof filler - 1)]));
            if (ev.name.size() + ev.text.size() + 5 > 255)
                return Fail(path, "generated name and text too long for one short event descriptor");
            out.push_back(std::move(ev));
        }
        return true;
    }

    bool ReadConfig(const json& root, Config& cfg)
    {
        if (!root.is_object())
            return Fail("config", "must be a JSON object");
        cfg.tsidGiven = root.contains("transport_stream_id");
        if (cfg.tsidGiven && !UintT(root, "transport_stream_id", "config", 0xFFFF, cfg.tsid))
            return false;
        if (!UintT(root, "original_network_id", "config", 0xFFFF, cfg.onid))
            return false;
        if (!UintT(root, "eit_section_max_bytes", "config", 4096, cfg.eitSectionMaxBytes, 4096))
            return false;
        if (cfg.eitSectionMaxBytes < 200)
            return Fail("config.eit_section_max_bytes", "must be at least 200");

        if (!root.contains("nit") || !root.at("nit").is_object())
            return Fail("config.nit", "missing or not an object");
        const json& nit = root.at("nit");
        if (!UintT(nit, "network_id", "nit", 0xFFFF, cfg.nit.networkId) ||
            !UintT(nit, "version", "nit", 31, cfg.nit.version, 0) ||
            !Bytes(nit, "network_name", "nit", cfg.nit.name, true))
            return false;
        if (cfg.nit.name.size() > 255)
            return Fail("nit.network_name", "longer than 255 bytes");
        if (nit.contains("transport_streams"))
        {
            const json& list = nit.at("transport_streams");
            if (!list.is_array())
                return Fail("nit.transport_streams", "must be an array");
            for (std::size_t i = 0; i < list.size(); ++i)
            {
                const std::string path = "nit.transport_streams[" + std::to_string(i) + "]";
                NitTs ts;
                if (!UintT(list[i], "transport_stream_id", path, 0xFFFF, ts.tsid) ||
                    !UintT(list[i], "original_network_id", path, 0xFFFF, ts.onid))
                    return false;
                if (list[i].contains("terrestrial"))
                {
                    const json& t = list[i].at("terrestrial");
                    const std::string tp = path + ".terrestrial";
                    Terrestrial ter;
                    unsigned long hz = 0;
                    bool other = false;
                    if (!Uint(t, "frequency_hz", tp, 0xFFFFFFFFul * 10ul, hz))
                        return false;
                    if (hz % 10 != 0)
                        return Fail(tp + ".frequency_hz", "must be a multiple of 10 (coded in 10 Hz units)");
                    ter.frequency10Hz = static_cast<uint32_t>(hz / 10);
                    if (!UintT(t, "bandwidth", tp, 7, ter.bandwidth) || !UintT(t, "priority", tp, 1, ter.priority, 1) ||
                        !UintT(t, "time_slicing", tp, 1, ter.timeSlicing, 1) || !UintT(t, "mpe_fec", tp, 1, ter.mpeFec, 1) ||
                        !UintT(t, "constellation", tp, 3, ter.constellation) ||
                        !UintT(t, "hierarchy", tp, 7, ter.hierarchy) || !UintT(t, "code_rate_hp", tp, 7, ter.codeRateHp) ||
                        !UintT(t, "code_rate_lp", tp, 7, ter.codeRateLp) ||
                        !UintT(t, "guard_interval", tp, 3, ter.guardInterval) ||
                        !UintT(t, "transmission_mode", tp, 3, ter.transmissionMode) ||
                        !Bool(t, "other_frequency", tp, false, other))
                        return false;
                    ter.otherFrequency = other ? 1 : 0;
                    ts.terrestrial = ter;
                }
                cfg.nit.transportStreams.push_back(ts);
            }
        }

        if (!root.contains("services") || !root.at("services").is_array())
            return Fail("config.services", "missing or not an array");
        std::set<uint16_t> seenIds;
        for (std::size_t i = 0; i < root.at("services").size(); ++i)
        {
            const json& s = root.at("services")[i];
            const std::string path = "services[" + std::to_string(i) + "]";
            Service svc;
            if (!UintT(s, "service_id", path, 0xFFFF, svc.serviceId) ||
                !UintT(s, "eit_pf_version", path, 31, svc.pfVersion, 0) ||
                !UintT(s, "eit_schedule_version", path, 31, svc.scheduleVersion, 0))
                return false;
            if (!seenIds.insert(svc.serviceId).second)
                return Fail(path + ".service_id", "duplicate");
            if (s.contains("present") && !s.at("present").is_null())
            {
                Event ev;
                if (!ReadEvent(s.at("present"), path + ".present", ev))
                    return false;
                svc.present = ev;
            }
            if (s.contains("following") && !s.at("following").is_null())
            {
                Event ev;
                if (!ReadEvent(s.at("following"), path + ".following", ev))
                    return false;
                svc.following = ev;
            }
            if (s.contains("schedule"))
            {
                if (!s.at("schedule").is_array())
                    return Fail(path + ".schedule", "must be an array");
                for (std::size_t k = 0; k < s.at("schedule").size(); ++k)
                {
                    Event ev;
                    if (!ReadEvent(s.at("schedule")[k], path + ".schedule[" + std::to_string(k) + "]", ev))
                        return false;
                    svc.schedule.push_back(ev);
                }
            }
            if (s.contains("schedule_generate") &&
                !ReadGenerated(s.at("schedule_generate"), path + ".schedule_generate", svc.schedule))
                return false;
            std::stable_sort(svc.schedule.begin(), svc.schedule.end(),
                             [](const Event& a, const Event& b) { return a.start < b.start; });
            cfg.services.push_back(std::move(svc));
        }

        if (!root.contains("time") || !root.at("time").is_object())
            return Fail("config.time", "missing or not an object");
        const json& time = root.at("time");
        unsigned long step = 0;
        if (!Utc(time, "utc", "time", cfg.utc) || !Uint(time, "step_seconds", "time", 3600, step, 1))
            return false;
        cfg.stepSeconds = static_cast<long>(step);
        if (time.contains("local_time_offsets"))
        {
            const json& list = time.at("local_time_offsets");
            if (!list.is_array() || list.size() > DVBPSI_LOCAL_TIME_OFFSET_DR_MAX)
                return Fail("time.local_time_offsets", "must be an array of at most 19 entries");
            for (std::size_t i = 0; i < list.size(); ++i)
            {
                const std::string path = "time.local_time_offsets[" + std::to_string(i) + "]";
                LocalTimeOffset lto;
                uint8_t nextPolarity = 0;
                if (!String(list[i], "country", path, lto.country) ||
                    !UintT(list[i], "region_id", path, 63, lto.regionId, 0) ||
                    !Offset(list[i], "offset", path, lto.polarity, lto.offsetBcd) ||
                    !Utc(list[i], "time_of_change", path, lto.timeOfChange) ||
                    !Offset(list[i], "next_offset", path, nextPolarity, lto.nextOffsetBcd))
                    return false;
                if (lto.country.size() != 3)
                    return Fail(path + ".country", "must have 3 characters");
                lto.polarity |= nextPolarity; // one polarity bit covers both offsets
                cfg.localTimeOffsets.push_back(lto);
            }
        }
        return ReadSdt(root, cfg) && ReadDrop(root, cfg) && ReadCuts(root, cfg);
    }

    // eit_pf and eit_schedule default to what the config's EIT carries for the service, so the
    // flags agree with the EIT unless a config says otherwise on purpose.
    bool ReadSdtService(const json& obj, const std::string& path, const Config& cfg, SdtService& out)
    {
        if (!obj.is_object())
            return Fail(path, "must be an object");
        bool hasEit = false, hasSchedule = false;
        if (!UintT(obj, "service_id", path, 0xFFFF, out.serviceId))
            return false;
        for (const Service& svc : cfg.services)
        {
            if (svc.serviceId == out.serviceId)
            {
                hasEit = true;
                hasSchedule = !svc.schedule.empty();
            }
        }
        if (!UintT(obj, "service_type", path, 0xFF, out.serviceType, 1) ||
            !UintT(obj, "running_status", path, 7, out.runningStatus, 4) || !Bool(obj, "free_ca", path, false, out.freeCa) ||
            !Bool(obj, "eit_schedule", path, hasSchedule, out.eitSchedule) || !Bool(obj, "eit_pf", path, hasEit, out.eitPf) ||
            !Bytes(obj, "provider", path, out.provider, false) || !Bytes(obj, "name", path, out.name, true))
            return false;
        // A service descriptor holds service_type and both lengths with the names in 255 bytes.
        if (out.provider.size() + out.name.size() + 3 > 255)
            return Fail(path, "provider and name too long for one service descriptor");
        return true;
    }

    bool ReadSdtServices(const json& obj, const std::string& path, const Config& cfg, std::vector<SdtService>& out)
    {
        if (!obj.contains("services") || !obj.at("services").is_array())
            return Fail(path + ".services", "missing or not an array");
        std::set<uint16_t> seenIds;
        for (std::size_t i = 0; i < obj.at("services").size(); ++i)
        {
            SdtService svc;
            const std::string p = path + ".services[" + std::to_string(i) + "]";
            if (!ReadSdtService(obj.at("services")[i], p, cfg, svc))
                return false;
            if (!seenIds.insert(svc.serviceId).second)
                return Fail(p + ".service_id", "duplicate");
            out.push_back(std::move(svc));
        }
        return true;
    }

    bool ReadSdt(const json& root, Config& cfg)
    {
        if (!root.contains("sdt") || root.at("sdt").is_null())
            return true;
        const json& sdt = root.at("sdt");
        if (!sdt.is_object())
            return Fail("sdt", "must be an object");
        Sdt out;
        if (!UintT(sdt, "version", "sdt", 31, out.version, 0) || !ReadSdtServices(sdt, "sdt", cfg, out.services))
            return false;
        cfg.sdt = std::move(out);
        return true;
    }

    bool ReadDrop(const json& root, Config& cfg)
    {
        if (!root.contains("drop_input"))
            return true;
        const json& drop = root.at("drop_input");
        if (!drop.is_object())
            return Fail("drop_input", "must be an object");
        return Bool(drop, "pat", "drop_input", false, cfg.dropPat) && Bool(drop, "pmt", "drop_input", false, cfg.dropPmt);
    }

    bool ReadCuts(const json& root, Config& cfg)
    {
        if (!root.contains("cut_sections"))
            return true;
        const json& list = root.at("cut_sections");
        if (!list.is_array())
            return Fail("cut_sections", "must be an array");
        for (std::size_t i = 0; i < list.size(); ++i)
        {
            const json& c = list[i];
            const std::string path = "cut_sections[" + std::to_string(i) + "]";
            CutSection cut;
            std::string table;
            if (!String(c, "table", path, table) || !UintT(c, "repetition", path, 100000, cut.repetition, 0) ||
                !UintT(c, "keep_packets", path, 20, cut.keepPackets, 1))
                return false;
            if (cut.keepPackets == 0)
                return Fail(path + ".keep_packets", "must be at least 1");
            if (table == "sdt")
            {
                // The cut packets share PID 0x0011 with the SDT, so the writer must own that PID.
                if (!cfg.sdt)
                    return Fail(path + ".table", "an SDT cut needs \"sdt\" in the config");
                cut.table = CutSection::Table::Sdt;
                if (!ReadSdtServices(c, path, cfg, cut.services))
                    return false;
            }
            else if (table == "eit_pf")
            {
                cut.table = CutSection::Table::EitPf;
                if (!UintT(c, "service_id", path, 0xFFFF, cut.serviceId))
                    return false;
                if (!c.contains("event"))
                    return Fail(path + ".event", "missing");
                if (!ReadEvent(c.at("event"), path + ".event", cut.event))
                    return false;
            }
            else
            {
                return Fail(path + ".table", "must be \"sdt\" or \"eit_pf\"");
            }
            cfg.cutSections.push_back(std::move(cut));
        }
        return true;
    }
};


} // namespace

bool ReadConfig(const json& root, Config& cfg, std::string& error)
{
    Reader reader;
    if (reader.ReadConfig(root, cfg))
        return true;
    error = reader.error;
    return false;
}

// "update" is merged into a copy of the config: plain JSON merge, except that services are
// matched by service_id so that one service can change without restating the others.
bool ApplyUpdate(const json& base, json& merged, std::string& error)
{
    merged = base;
    merged.erase("update");
    if (!base.contains("update"))
        return true;
    json update = base.at("update");
    if (!update.is_object())
    {
        error = "config.update must be an object";
        return false;
    }
    if (update.contains("services"))
    {
        const json& changes = update.at("services");
        if (!changes.is_array())
        {
            error = "config.update.services must be an array";
            return false;
        }
        for (const json& change : changes)
        {
            if (!change.is_object() || !change.contains("service_id"))
            {
                error = "config.update.services entries need a service_id";
                return false;
            }
            bool found = false;
            for (json& svc : merged.at("services"))
            {
                if (svc.value("service_id", -1) == change.at("service_id").get<int>())
                {
                    svc.merge_patch(change);
                    found = true;
                }
            }
            if (!found)
            {
                error = "config.update.services: no service " + change.at("service_id").dump();
                return false;
            }
        }
        update.erase("services");
    }
    merged.merge_patch(update);
    return true;
}

} // namespace siw
