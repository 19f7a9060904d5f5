// SIStreamWriter: adds DVB SI made by libdvbpsi's generators to a transport stream made by FFmpeg.
//
// Usage:
//   SIStreamWriter --config CFG.json --in IN.ts --out OUT.ts [--report EXPECTED.json]
//                  [--repetitions R | --interval N | --si-share X] [--version-change] [--no-pack]
//
//   --repetitions R   the whole SI carousel is sent R times, evenly spread over the input (default 8)
//   --interval N      a carousel starts every N input packets
//   --si-share X      choose the repetition count so that at least X (0..0.9) of the output packets
//                     are added SI packets; fails if it cannot be reached
//   --version-change  the second half of the repetitions uses the config with "update" applied;
//                     every sub-table whose bytes change gets version_number + 1
//   --no-pack         each section starts in a fresh packet (default: sections of one PID are
//                     packed back to back, several per packet, as real multiplexers do)
//   --report FILE     JSON with what was written, in DvbpsiDump's schema (nit, eits, tdt, tot and
//                     section counts) plus a "writer" object with packet statistics
//
// Tables written: NIT actual (0x40, PID 0x0010), EIT present/following actual (0x4E) and EIT
// schedule actual (0x50..0x5F) on PID 0x0012, TDT (0x70) and TOT (0x73) on PID 0x0014.
// SI packets replace the input's null packets (PID 0x1FFF) where there are some and are
// otherwise inserted; every other input packet is kept, in order.
//
// Config (JSON; every number is decimal, times are UTC "YYYY-MM-DD HH:MM:SS"):
// {
//   "transport_stream_id": 4660,          EIT header field; defaults to the input PAT's
//   "original_network_id": 8755,          EIT header field (required)
//   "nit": {
//     "network_id": 12289, "version": 0,
//     "network_name": "text" | "network_name_hex": "bytes in hex",
//     "transport_streams": [ { "transport_stream_id": 4660, "original_network_id": 8755,
//        "terrestrial": { "frequency_hz": 506000000 (multiple of 10), "bandwidth": 0, "priority": 1,
//          "time_slicing": 1, "mpe_fec": 1, "constellation": 2, "hierarchy": 0, "code_rate_hp": 2,
//          "code_rate_lp": 0, "guard_interval": 2, "transmission_mode": 1, "other_frequency": false } } ]
//   },
//   "services": [ { "service_id": 101, "eit_pf_version": 0, "eit_schedule_version": 0,
//       "present": EVENT, "following": EVENT (absent or null: section 1 carries no event),
//       "schedule": [ EVENT, ... ],
//       "schedule_generate": { "first_event_id": 1000, "start": "...", "count": 96,
//           "duration": "00:30:00", "name": "Show %d", "text_length": 120, "language": "eng" } } ],
//   "time": { "utc": "2024-03-10 12:00:00", "step_seconds": 1,
//             "local_time_offsets": [ { "country": "FRA", "region_id": 0, "offset": "+01:00",
//                 "time_of_change": "2024-03-31 01:00:00", "next_offset": "+02:00" } ] },
//   "eit_section_max_bytes": 4096,
//   "update": { same shape, partial: merged into the config for the second half; "services"
//               entries are merged into the service with the same service_id }
// }
// EVENT = { "event_id": 1, "start": "...", "duration": "HH:MM:SS", "running_status": 4,
//           "free_ca": false, "language": "eng", "name": "text" | "name_hex": "hex",
//           "text": "text" | "text_hex": "hex" }
// Text is written as the UTF-8 bytes of the JSON string; *_hex gives exact bytes (for example a
// character-table prefix). Schedule events are placed in tables and segments from their start
// time relative to midnight of "time.utc": table 0x50 + day / 4, section segment*8 + k.
// TDT and TOT of repetition r carry time.utc + r * step_seconds.

#include "DvbpsiIncludes.h"
#include "PeerCommon.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

using nlohmann::json;
using nlohmann::ordered_json;

namespace
{

constexpr uint16_t kNitPid = 0x0010;
constexpr uint16_t kEitPid = 0x0012;
constexpr uint16_t kTdtPid = 0x0014;

// ---------------------------------------------------------------------------------------------
// Config model

struct Event
{
    uint16_t eventId = 0;
    long long start = 0;
    uint32_t durationBcd = 0;
    uint8_t runningStatus = 0;
    bool freeCa = false;
    std::string language = "eng";
    std::vector<uint8_t> name;
    std::vector<uint8_t> text;
};

struct Service
{
    uint16_t serviceId = 0;
    uint8_t pfVersion = 0;
    uint8_t scheduleVersion = 0;
    std::optional<Event> present;
    std::optional<Event> following;
    std::vector<Event> schedule;
};

struct Terrestrial
{
    uint32_t frequency10Hz = 0;
    uint8_t bandwidth = 0, priority = 1, timeSlicing = 1, mpeFec = 1, constellation = 0, hierarchy = 0;
    uint8_t codeRateHp = 0, codeRateLp = 0, guardInterval = 0, transmissionMode = 0, otherFrequency = 0;
};

struct NitTs
{
    uint16_t tsid = 0;
    uint16_t onid = 0;
    std::optional<Terrestrial> terrestrial;
};

struct Nit
{
    uint16_t networkId = 0;
    uint8_t version = 0;
    std::vector<uint8_t> name;
    std::vector<NitTs> transportStreams;
};

struct LocalTimeOffset
{
    std::string country;
    uint8_t regionId = 0;
    uint8_t polarity = 0;
    uint16_t offsetBcd = 0;
    long long timeOfChange = 0;
    uint16_t nextOffsetBcd = 0;
};

struct Config
{
    bool tsidGiven = false;
    uint16_t tsid = 0;
    uint16_t onid = 0;
    Nit nit;
    std::vector<Service> services;
    long long utc = 0;
    long stepSeconds = 1;
    std::vector<LocalTimeOffset> localTimeOffsets;
    std::size_t eitSectionMaxBytes = 4096;
};

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
        return true;
    }
};

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

// ---------------------------------------------------------------------------------------------
// Section generation with libdvbpsi

struct Section
{
    uint16_t pid = 0;
    std::vector<uint8_t> bytes;

    uint8_t TableId() const { return bytes[0]; }
    uint16_t Extension() const { return static_cast<uint16_t>(bytes[3] << 8 | bytes[4]); }
};

struct EitSection
{
    Section section;
    uint8_t tableId = 0;
    uint16_t serviceId = 0;
    uint8_t version = 0;
    uint8_t number = 0;
    uint8_t last = 0;
    uint8_t segmentLast = 0;
    uint8_t lastTableId = 0;
    std::vector<Event> events;
};

struct Carousel
{
    std::vector<Section> nit;
    std::vector<EitSection> eit;
};

void SilentMessage(dvbpsi_t*, const dvbpsi_msg_level_t level, const char* msg)
{
    if (level == DVBPSI_MSG_ERROR)
        std::fprintf(stderr, "libdvbpsi: %s\n", msg);
}

struct DvbpsiHandle
{
    dvbpsi_t* handle = dvbpsi_new(&SilentMessage, DVBPSI_MSG_ERROR);
    ~DvbpsiHandle()
    {
        if (handle != nullptr)
            dvbpsi_delete(handle);
    }
};

// Copies a generated section's bytes as its header declares them, then checks the CRC itself so
// that a generator fault never reaches the output silently.
bool TakeSection(const dvbpsi_psi_section_t* s, bool hasCrc, std::vector<uint8_t>& out, std::string& error)
{
    const std::size_t length = static_cast<std::size_t>((s->p_data[1] & 0x0F) << 8 | s->p_data[2]);
    out.assign(s->p_data, s->p_data + 3 + length);
    if (hasCrc && peer::Crc32Mpeg2(out.data(), out.size()) != 0)
    {
        error = "generated section with table_id 0x" + peer::Hex(out.data(), 1) + " has a bad CRC_32";
        return false;
    }
    return true;
}

bool AddDescriptorCopy(dvbpsi_descriptor_t* generated, std::string& error,
                       const std::function<dvbpsi_descriptor_t*(uint8_t, uint8_t, uint8_t*)>& add)
{
    if (generated == nullptr)
    {
        error = "libdvbpsi descriptor generator failed";
        return false;
    }
    const bool ok = add(generated->i_tag, generated->i_length, generated->p_data) != nullptr;
    dvbpsi_DeleteDescriptors(generated);
    if (!ok)
        error = "libdvbpsi could not add a descriptor";
    return ok;
}

bool GenerateNit(dvbpsi_t* h, const Nit& cfg, std::vector<Section>& out, std::string& error)
{
    std::unique_ptr<dvbpsi_nit_t, void (*)(dvbpsi_nit_t*)> nit(
        dvbpsi_nit_new(0x40, cfg.networkId, cfg.networkId, cfg.version, true), &dvbpsi_nit_delete);
    if (!nit)
    {
        error = "dvbpsi_nit_new failed";
        return false;
    }
    dvbpsi_network_name_dr_t name{};
    name.i_name_length = static_cast<uint8_t>(cfg.name.size());
    std::copy(cfg.name.begin(), cfg.name.end(), name.i_name_byte);
    if (!AddDescriptorCopy(dvbpsi_GenNetworkNameDr(&name, false), error, [&](uint8_t t, uint8_t l, uint8_t* d) {
            return dvbpsi_nit_descriptor_add(nit.get(), t, l, d);
        }))
        return false;
    for (const NitTs& ts : cfg.transportStreams)
    {
        dvbpsi_nit_ts_t* entry = dvbpsi_nit_ts_add(nit.get(), ts.tsid, ts.onid);
        if (entry == nullptr)
        {
            error = "dvbpsi_nit_ts_add failed";
            return false;
        }
        if (!ts.terrestrial)
            continue;
        const Terrestrial& t = *ts.terrestrial;
        dvbpsi_terr_deliv_sys_dr_t dr{};
        dr.i_centre_frequency = t.frequency10Hz;
        dr.i_bandwidth = t.bandwidth;
        dr.i_priority = t.priority;
        dr.i_time_slice_indicator = t.timeSlicing;
        dr.i_mpe_fec_indicator = t.mpeFec;
        dr.i_constellation = t.constellation;
        dr.i_hierarchy_information = t.hierarchy;
        dr.i_code_rate_hp_stream = t.codeRateHp;
        dr.i_code_rate_lp_stream = t.codeRateLp;
        dr.i_guard_interval = t.guardInterval;
        dr.i_transmission_mode = t.transmissionMode;
        dr.i_other_frequency_flag = t.otherFrequency;
        if (!AddDescriptorCopy(dvbpsi_GenTerrDelivSysDr(&dr, false), error, [&](uint8_t tag, uint8_t l, uint8_t* d) {
                return dvbpsi_nit_ts_descriptor_add(entry, tag, l, d);
            }))
            return false;
    }
    dvbpsi_psi_section_t* first = dvbpsi_nit_sections_generate(h, nit.get(), 0x40);
    if (first == nullptr)
    {
        error = "dvbpsi_nit_sections_generate failed";
        return false;
    }
    bool ok = true;
    for (dvbpsi_psi_section_t* s = first; s != nullptr && ok; s = s->p_next)
    {
        // libdvbpsi writes reserved_future_use (byte 1, bit 6) as 0; DVB sets it to 1.
        s->b_private_indicator = true;
        dvbpsi_BuildPSISection(h, s);
        Section out1;
        out1.pid = kNitPid;
        ok = TakeSection(s, true, out1.bytes, error);
        out.push_back(std::move(out1));
    }
    dvbpsi_DeletePSISections(first);
    return ok;
}

bool GenerateEitSection(dvbpsi_t* h, const Config& cfg, EitSection& es, std::string& error)
{
    std::unique_ptr<dvbpsi_eit_t, void (*)(dvbpsi_eit_t*)> eit(
        dvbpsi_eit_new(es.tableId, es.serviceId, es.version, true, cfg.tsid, cfg.onid, es.segmentLast,
                       es.lastTableId),
        &dvbpsi_eit_delete);
    if (!eit)
    {
        error = "dvbpsi_eit_new failed";
        return false;
    }
    for (const Event& ev : es.events)
    {
        dvbpsi_eit_event_t* event = dvbpsi_eit_event_add(eit.get(), ev.eventId, peer::ToDvbTime(ev.start).Raw40(),
                                                         ev.durationBcd, ev.runningStatus, ev.freeCa, 0);
        if (event == nullptr)
        {
            error = "dvbpsi_eit_event_add failed";
            return false;
        }
        dvbpsi_short_event_dr_t se{};
        std::memcpy(se.i_iso_639_code, ev.language.data(), 3);
        se.i_event_name_length = static_cast<int>(ev.name.size());
        std::copy(ev.name.begin(), ev.name.end(), se.i_event_name);
        se.i_text_length = static_cast<int>(ev.text.size());
        std::copy(ev.text.begin(), ev.text.end(), se.i_text);
        if (!AddDescriptorCopy(dvbpsi_GenShortEventDr(&se, false), error, [&](uint8_t t, uint8_t l, uint8_t* d) {
                return dvbpsi_eit_event_descriptor_add(event, t, l, d);
            }))
            return false;
    }
    dvbpsi_psi_section_t* s = dvbpsi_eit_sections_generate(h, eit.get(), es.tableId);
    if (s == nullptr)
    {
        error = "dvbpsi_eit_sections_generate failed";
        return false;
    }
    if (s->p_next != nullptr)
    {
        dvbpsi_DeletePSISections(s);
        error = "libdvbpsi split an EIT section that was sized to fit";
        return false;
    }
    // The generator numbers from 0 and derives segment_last_section_number from its own split,
    // so the position inside the sub-table is set here and the section rebuilt (CRC included).
    s->i_number = es.number;
    s->i_last_number = es.last;
    s->p_data[12] = es.segmentLast;
    dvbpsi_BuildPSISection(h, s);
    es.section.pid = kEitPid;
    const bool ok = TakeSection(s, true, es.section.bytes, error);
    dvbpsi_DeletePSISections(s);
    return ok;
}

std::size_t EventSize(const Event& ev)
{
    return 12 + 2 + 5 + ev.name.size() + ev.text.size();
}

bool BuildEitLayout(const Config& cfg, std::vector<EitSection>& out, std::string& error)
{
    const long long midnight = cfg.utc - ((cfg.utc % 86400) + 86400) % 86400;
    for (const Service& svc : cfg.services)
    {
        // Present/following: always two sections, section 1 possibly without events.
        for (uint8_t n = 0; n < 2; ++n)
        {
            EitSection es;
            es.tableId = 0x4E;
            es.serviceId = svc.serviceId;
            es.version = svc.pfVersion;
            es.number = n;
            es.last = 1;
            es.segmentLast = 1;
            es.lastTableId = 0x4E;
            const std::optional<Event>& ev = n == 0 ? svc.present : svc.following;
            if (ev)
                es.events.push_back(*ev);
            out.push_back(std::move(es));
        }

        if (svc.schedule.empty())
            continue;
        // table_id -> segment -> events, from the start time relative to today's midnight.
        std::map<uint8_t, std::map<unsigned, std::vector<Event>>> tables;
        for (const Event& ev : svc.schedule)
        {
            if (ev.start < midnight)
            {
                error = "service " + std::to_string(svc.serviceId) + ": schedule event " +
                        std::to_string(ev.eventId) + " starts before midnight of time.utc";
                return false;
            }
            const long long hours = (ev.start - midnight) / 3600;
            if (hours >= 64 * 24)
            {
                error = "service " + std::to_string(svc.serviceId) + ": schedule event " +
                        std::to_string(ev.eventId) + " is more than 64 days ahead";
                return false;
            }
            const uint8_t tableId = static_cast<uint8_t>(0x50 + hours / 96);
            tables[tableId][static_cast<unsigned>((hours % 96) / 3)].push_back(ev);
        }
        const uint8_t lastTableId = tables.rbegin()->first;
        for (const auto& [tableId, segments] : tables)
        {
            std::vector<EitSection> tableSections;
            const unsigned lastSegment = segments.rbegin()->first;
            for (unsigned segment = 0; segment <= lastSegment; ++segment)
            {
                // Each segment up to the last used one is present; an empty one is a single
                // section without events.
                std::vector<std::vector<Event>> parts(1);
                std::size_t used = 18;
                auto found = segments.find(segment);
                if (found != segments.end())
                {
                    for (const Event& ev : found->second)
                    {
                        if (used + EventSize(ev) > cfg.eitSectionMaxBytes && !parts.back().empty())
                        {
                            parts.emplace_back();
                            used = 18;
                        }
                        if (used + EventSize(ev) > cfg.eitSectionMaxBytes)
                        {
                            error = "event " + std::to_string(ev.eventId) + " does not fit in one EIT section";
                            return false;
                        }
                        parts.back().push_back(ev);
                        used += EventSize(ev);
                    }
                }
                if (parts.size() > 8)
                {
                    error = "service " + std::to_string(svc.serviceId) + ": a 3-hour segment needs more than 8 sections";
                    return false;
                }
                for (std::size_t k = 0; k < parts.size(); ++k)
                {
                    EitSection es;
                    es.tableId = tableId;
                    es.serviceId = svc.serviceId;
                    es.version = svc.scheduleVersion;
                    es.number = static_cast<uint8_t>(segment * 8 + k);
                    es.segmentLast = static_cast<uint8_t>(segment * 8 + parts.size() - 1);
                    es.lastTableId = lastTableId;
                    es.events = parts[k];
                    tableSections.push_back(std::move(es));
                }
            }
            const uint8_t last = tableSections.back().number;
            for (EitSection& es : tableSections)
            {
                es.last = last;
                out.push_back(std::move(es));
            }
        }
    }
    return true;
}

bool GenerateCarousel(dvbpsi_t* h, const Config& cfg, Carousel& out, std::string& error)
{
    out = Carousel{};
    if (!GenerateNit(h, cfg.nit, out.nit, error))
        return false;
    if (!BuildEitLayout(cfg, out.eit, error))
        return false;
    for (EitSection& es : out.eit)
    {
        if (!GenerateEitSection(h, cfg, es, error))
            return false;
    }
    return true;
}

bool GenerateTimeTables(dvbpsi_t* h, const Config& cfg, long long utc, Section& tdt, Section& tot, std::string& error)
{
    const uint64_t raw = peer::ToDvbTime(utc).Raw40();
    dvbpsi_tot_t* table = dvbpsi_tot_new(0x70, 0, 0, true, raw);
    if (table == nullptr)
    {
        error = "dvbpsi_tot_new failed";
        return false;
    }
    dvbpsi_psi_section_t* s = dvbpsi_tot_sections_generate(h, table);
    dvbpsi_tot_delete(table);
    if (s == nullptr || s->p_data[0] != 0x70)
    {
        if (s != nullptr)
            dvbpsi_DeletePSISections(s);
        error = "libdvbpsi did not generate a TDT";
        return false;
    }
    bool ok = TakeSection(s, false, tdt.bytes, error);
    dvbpsi_DeletePSISections(s);
    if (!ok)
        return false;
    // reserved_future_use is 1 in DVB; libdvbpsi writes 0.
    tdt.bytes[1] |= 0x40;
    tdt.pid = kTdtPid;

    table = dvbpsi_tot_new(0x73, 0, 0, true, raw);
    if (table == nullptr)
    {
        error = "dvbpsi_tot_new failed";
        return false;
    }
    if (!cfg.localTimeOffsets.empty())
    {
        dvbpsi_local_time_offset_dr_t dr{};
        dr.i_local_time_offsets_number = static_cast<uint8_t>(cfg.localTimeOffsets.size());
        for (std::size_t i = 0; i < cfg.localTimeOffsets.size(); ++i)
        {
            const LocalTimeOffset& l = cfg.localTimeOffsets[i];
            dvbpsi_local_time_offset_t& e = dr.p_local_time_offset[i];
            std::memcpy(e.i_country_code, l.country.data(), 3);
            e.i_country_region_id = l.regionId;
            e.i_local_time_offset_polarity = l.polarity;
            e.i_local_time_offset = l.offsetBcd;
            e.i_time_of_change = peer::ToDvbTime(l.timeOfChange).Raw40();
            e.i_next_time_offset = l.nextOffsetBcd;
        }
        if (!AddDescriptorCopy(dvbpsi_GenLocalTimeOffsetDr(&dr, false), error, [&](uint8_t t, uint8_t l, uint8_t* d) {
                return dvbpsi_tot_descriptor_add(table, t, l, d);
            }))
        {
            dvbpsi_tot_delete(table);
            return false;
        }
    }
    s = dvbpsi_tot_sections_generate(h, table);
    dvbpsi_tot_delete(table);
    if (s == nullptr || s->p_data[0] != 0x73)
    {
        if (s != nullptr)
            dvbpsi_DeletePSISections(s);
        error = "libdvbpsi did not generate a TOT (it makes one only when descriptors are given)";
        return false;
    }
    ok = TakeSection(s, false, tot.bytes, error);
    dvbpsi_DeletePSISections(s);
    if (!ok)
        return false;
    // libdvbpsi 1.3.3 ends the TOT without its CRC_32 and with section_length not counting it.
    const std::size_t length = tot.bytes.size() - 3 + 4;
    tot.bytes[1] = static_cast<uint8_t>(0x70 | (length >> 8));
    tot.bytes[2] = static_cast<uint8_t>(length & 0xFF);
    const uint32_t crc = peer::Crc32Mpeg2(tot.bytes.data(), tot.bytes.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        tot.bytes.push_back(static_cast<uint8_t>(crc >> shift));
    tot.pid = kTdtPid;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Packetising and multiplexing

using Packet = std::array<uint8_t, peer::kPacketSize>;

class Packetiser
{
public:
    // Sections are laid back to back; pointer_field marks the first section starting in a packet
    // and 0xFF fills the end of the last packet.
    void Append(uint16_t pid, const std::vector<const std::vector<uint8_t>*>& sections, std::vector<Packet>& out)
    {
        std::vector<uint8_t> data;
        std::vector<std::size_t> starts;
        for (const auto* s : sections)
        {
            starts.push_back(data.size());
            data.insert(data.end(), s->begin(), s->end());
        }
        std::size_t pos = 0;
        std::size_t nextStart = 0; // index into starts
        while (pos < data.size())
        {
            Packet p;
            p.fill(0xFF);
            while (nextStart < starts.size() && starts[nextStart] < pos)
                ++nextStart;
            const bool unitStart = nextStart < starts.size() && starts[nextStart] < pos + 183;
            std::size_t room = 184;
            std::size_t payload = 4;
            if (unitStart)
            {
                p[4] = static_cast<uint8_t>(starts[nextStart] - pos);
                payload = 5;
                room = 183;
            }
            else if (nextStart < starts.size() && starts[nextStart] == pos + 183)
            {
                // A section may only begin in a packet that signals it, so this one ends a byte
                // early with stuffing.
                room = 183;
            }
            uint8_t& cc = m_cc[pid];
            p[0] = 0x47;
            p[1] = static_cast<uint8_t>((unitStart ? 0x40 : 0x00) | ((pid >> 8) & 0x1F));
            p[2] = static_cast<uint8_t>(pid & 0xFF);
            p[3] = static_cast<uint8_t>(0x10 | cc);
            cc = static_cast<uint8_t>((cc + 1) & 0x0F);
            const std::size_t n = std::min(room, data.size() - pos);
            std::memcpy(p.data() + payload, data.data() + pos, n);
            pos += n;
            out.push_back(p);
        }
    }

private:
    std::map<uint16_t, uint8_t> m_cc;
};

struct Options
{
    std::string config, in, out, report;
    unsigned long repetitions = 8;
    unsigned long interval = 0;
    double siShare = 0.0;
    bool versionChange = false;
    bool pack = true;
};

struct MuxStats
{
    std::size_t inputPackets = 0, inputNulls = 0, outputPackets = 0, replacedNulls = 0, insertedPackets = 0;
    std::map<uint16_t, std::size_t> siPacketsByPid;
    std::map<std::string, std::size_t> sectionsByTable;
    std::size_t repetitions = 0;
    std::size_t SiPackets() const
    {
        std::size_t n = 0;
        for (const auto& kv : siPacketsByPid)
            n += kv.second;
        return n;
    }
};

std::string TableName(uint8_t tableId)
{
    if (tableId == 0x40)
        return "nit_actual";
    if (tableId == 0x4E)
        return "eit_pf_actual";
    if (tableId >= 0x50 && tableId <= 0x5F)
        return "eit_schedule_actual";
    if (tableId == 0x70)
        return "tdt";
    if (tableId == 0x73)
        return "tot";
    return "other";
}

struct Writer
{
    const Options& opt;
    const Config& first;
    const Config& second;
    const Carousel& carouselA;
    const Carousel& carouselB;
    dvbpsi_t* handle;

    struct Queued
    {
        Packet packet;
        std::size_t due;
    };

    bool BuildBurst(std::size_t r, std::size_t total, Packetiser& pk, std::vector<Packet>& out, MuxStats* stats,
                    Section* lastTdt, Section* lastTot, std::string& error)
    {
        const bool late = opt.versionChange && r >= total / 2;
        const Carousel& c = late ? carouselB : carouselA;
        const Config& cfg = late ? second : first;
        Section tdt, tot;
        if (!GenerateTimeTables(handle, cfg, cfg.utc + static_cast<long long>(r) * cfg.stepSeconds, tdt, tot, error))
            return false;
        std::vector<const std::vector<uint8_t>*> nit, eit, time;
        for (const Section& s : c.nit)
            nit.push_back(&s.bytes);
        for (const EitSection& s : c.eit)
            eit.push_back(&s.section.bytes);
        time.push_back(&tdt.bytes);
        time.push_back(&tot.bytes);
        auto append = [&](uint16_t pid, const std::vector<const std::vector<uint8_t>*>& list) {
            const std::size_t before = out.size();
            if (opt.pack)
            {
                pk.Append(pid, list, out);
            }
            else
            {
                for (const auto* s : list)
                    pk.Append(pid, {s}, out);
            }
            if (stats != nullptr)
            {
                stats->siPacketsByPid[pid] += out.size() - before;
                for (const auto* s : list)
                    ++stats->sectionsByTable[TableName((*s)[0])];
            }
        };
        append(kNitPid, nit);
        append(kEitPid, eit);
        append(kTdtPid, time);
        if (lastTdt != nullptr)
            *lastTdt = tdt;
        if (lastTot != nullptr)
            *lastTot = tot;
        return true;
    }

    bool Mux(const std::vector<uint8_t>& input, std::size_t repetitions, std::vector<uint8_t>& output, MuxStats& stats,
             Section& lastTdt, Section& lastTot, std::string& error)
    {
        const std::size_t count = input.size() / peer::kPacketSize;
        std::vector<std::size_t> starts;
        for (std::size_t r = 0; r < repetitions; ++r)
            starts.push_back(opt.interval > 0 ? r * opt.interval : r * count / repetitions);
        stats = MuxStats{};
        stats.repetitions = repetitions;
        stats.inputPackets = count;
        output.clear();
        output.reserve(input.size() * 2);
        Packetiser pk;
        std::vector<Queued> queue;
        std::size_t head = 0;
        std::size_t nextBurst = 0;
        auto emit = [&](const uint8_t* p) {
            output.insert(output.end(), p, p + peer::kPacketSize);
            ++stats.outputPackets;
        };
        for (std::size_t i = 0; i < count; ++i)
        {
            if (nextBurst < starts.size() && starts[nextBurst] == i)
            {
                // Whatever is left of the previous burst goes out first, to keep sections whole.
                for (; head < queue.size(); ++head)
                {
                    emit(queue[head].packet.data());
                    ++stats.insertedPackets;
                }
                queue.clear();
                head = 0;
                std::vector<Packet> burst;
                if (!BuildBurst(nextBurst, repetitions, pk, burst, &stats, &lastTdt, &lastTot, error))
                    return false;
                const std::size_t span = (nextBurst + 1 < starts.size() ? starts[nextBurst + 1] : count) - i;
                // Packet k is due by the end of its share of the interval, which leaves time for
                // null packets to take it before it has to be inserted.
                for (std::size_t k = 0; k < burst.size(); ++k)
                {
                    const std::size_t slot = (k + 1) * span / burst.size();
                    queue.push_back(Queued{burst[k], i + (slot > 0 ? slot - 1 : 0)});
                }
                ++nextBurst;
            }
            const uint8_t* p = input.data() + i * peer::kPacketSize;
            const bool isNull = peer::PacketPid(p) == peer::kNullPid;
            if (isNull)
                ++stats.inputNulls;
            if (isNull && head < queue.size())
            {
                emit(queue[head++].packet.data());
                ++stats.replacedNulls;
                continue;
            }
            // Packets whose time has come go in before this one even without nulls to replace.
            while (head < queue.size() && queue[head].due <= i)
            {
                emit(queue[head++].packet.data());
                ++stats.insertedPackets;
            }
            emit(p);
        }
        for (; head < queue.size(); ++head)
        {
            emit(queue[head].packet.data());
            ++stats.insertedPackets;
        }
        return true;
    }
};

// ---------------------------------------------------------------------------------------------
// Report in DvbpsiDump's schema

ordered_json EventJson(const Event& ev)
{
    const peer::DvbTime t = peer::ToDvbTime(ev.start);
    ordered_json j;
    j["event_id"] = ev.eventId;
    j["mjd"] = t.mjd;
    j["start_bcd"] = t.bcd;
    j["duration_bcd"] = ev.durationBcd;
    j["running_status"] = ev.runningStatus;
    j["free_ca"] = ev.freeCa;
    j["language"] = ev.language;
    j["name_hex"] = peer::Hex(ev.name);
    j["text_hex"] = peer::Hex(ev.text);
    return j;
}

ordered_json Report(const Config& cfg, const Carousel& c, const Section& tdt, const Section& tot, const MuxStats& st,
                    const Options& opt)
{
    ordered_json j;
    ordered_json nit;
    nit["network_id"] = cfg.nit.networkId;
    nit["version"] = cfg.nit.version;
    nit["network_name_hex"] = peer::Hex(cfg.nit.name);
    nit["transport_streams"] = ordered_json::array();
    for (const NitTs& ts : cfg.nit.transportStreams)
    {
        ordered_json e;
        e["tsid"] = ts.tsid;
        e["onid"] = ts.onid;
        if (ts.terrestrial)
        {
            const Terrestrial& t = *ts.terrestrial;
            e["terrestrial"] = {{"frequency", t.frequency10Hz},    {"bandwidth", t.bandwidth},
                                {"priority", t.priority},          {"time_slicing", t.timeSlicing},
                                {"mpe_fec", t.mpeFec},             {"constellation", t.constellation},
                                {"hierarchy", t.hierarchy},        {"code_rate_hp", t.codeRateHp},
                                {"code_rate_lp", t.codeRateLp},    {"guard_interval", t.guardInterval},
                                {"transmission_mode", t.transmissionMode}, {"other_frequency", t.otherFrequency != 0}};
        }
        nit["transport_streams"].push_back(e);
    }
    j["nit"] = nit;

    std::vector<const EitSection*> sorted;
    for (const EitSection& es : c.eit)
        sorted.push_back(&es);
    std::sort(sorted.begin(), sorted.end(), [](const EitSection* a, const EitSection* b) {
        return std::make_tuple(a->tableId, a->serviceId, a->number) < std::make_tuple(b->tableId, b->serviceId, b->number);
    });
    ordered_json eits = ordered_json::array();
    for (const EitSection* es : sorted)
    {
        ordered_json e;
        e["table_id"] = es->tableId;
        e["service_id"] = es->serviceId;
        e["section_number"] = es->number;
        e["last_section_number"] = es->last;
        e["segment_last_section_number"] = es->segmentLast;
        e["last_table_id"] = es->lastTableId;
        e["version"] = es->version;
        e["tsid"] = cfg.tsid;
        e["onid"] = cfg.onid;
        e["events"] = ordered_json::array();
        for (const Event& ev : es->events)
            e["events"].push_back(EventJson(ev));
        eits.push_back(e);
    }
    j["eits"] = eits;

    auto timeOf = [](const Section& s) {
        return peer::DvbTime{static_cast<uint16_t>(s.bytes[3] << 8 | s.bytes[4]),
                             static_cast<uint32_t>(s.bytes[5] << 16 | s.bytes[6] << 8 | s.bytes[7])};
    };
    j["tdt"] = {{"mjd", timeOf(tdt).mjd}, {"time_bcd", timeOf(tdt).bcd}};
    ordered_json totJson;
    totJson["mjd"] = timeOf(tot).mjd;
    totJson["time_bcd"] = timeOf(tot).bcd;
    totJson["descriptors"] = ordered_json::array();
    if (!cfg.localTimeOffsets.empty())
        totJson["descriptors"].push_back({{"tag", 0x58}, {"length", 13 * cfg.localTimeOffsets.size()}});
    totJson["local_time_offsets"] = ordered_json::array();
    for (const LocalTimeOffset& l : cfg.localTimeOffsets)
    {
        const peer::DvbTime change = peer::ToDvbTime(l.timeOfChange);
        totJson["local_time_offsets"].push_back({{"country", l.country},
                                                 {"region_id", l.regionId},
                                                 {"polarity", l.polarity},
                                                 {"offset_bcd", l.offsetBcd},
                                                 {"time_of_change_mjd", change.mjd},
                                                 {"time_of_change_bcd", change.bcd},
                                                 {"next_offset_bcd", l.nextOffsetBcd}});
    }
    j["tot"] = totJson;

    ordered_json sections;
    for (const char* name : {"nit_actual", "eit_pf_actual", "eit_schedule_actual", "tdt", "tot"})
    {
        auto found = st.sectionsByTable.find(name);
        sections[name] = found == st.sectionsByTable.end() ? 0 : found->second;
    }
    j["counters"] = {{"sections", sections}};

    ordered_json w;
    w["repetitions"] = st.repetitions;
    w["version_change"] = opt.versionChange;
    w["packed"] = opt.pack;
    w["input_packets"] = st.inputPackets;
    w["input_null_packets"] = st.inputNulls;
    w["output_packets"] = st.outputPackets;
    w["replaced_null_packets"] = st.replacedNulls;
    w["inserted_packets"] = st.insertedPackets;
    w["si_packets"] = st.SiPackets();
    w["si_share"] = st.outputPackets == 0 ? 0.0 : static_cast<double>(st.SiPackets()) / static_cast<double>(st.outputPackets);
    ordered_json byPid = ordered_json::array();
    for (const auto& kv : st.siPacketsByPid)
        byPid.push_back({{"pid", kv.first}, {"packets", kv.second}});
    w["si_packets_by_pid"] = byPid;
    j["writer"] = w;
    return j;
}

// The transport_stream_id of the first PAT section found, or -1.
int InputTsid(const std::vector<uint8_t>& input)
{
    for (std::size_t off = 0; off < input.size(); off += peer::kPacketSize)
    {
        const uint8_t* p = input.data() + off;
        if (peer::PacketPid(p) != 0 || !(p[1] & 0x40) || !(p[3] & 0x10))
            continue;
        std::size_t at = 4;
        if (p[3] & 0x20)
            at += 1 + p[4];
        if (at >= peer::kPacketSize)
            continue;
        at += 1 + p[at];
        if (at + 5 <= peer::kPacketSize && p[at] == 0x00)
            return p[at + 3] << 8 | p[at + 4];
    }
    return -1;
}

void Usage()
{
    std::fprintf(stderr,
                 "usage: SIStreamWriter --config CFG.json --in IN.ts --out OUT.ts [--report FILE.json]\n"
                 "                      [--repetitions R | --interval N | --si-share X] [--version-change] [--no-pack]\n");
}

bool ParseOptions(int argc, char** argv, Options& opt, std::string& error)
{
    int modes = 0;
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc)
            {
                error = arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        auto number = [&](unsigned long& out) {
            std::string text;
            if (!value(text))
                return false;
            char* end = nullptr;
            out = std::strtoul(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || out == 0)
            {
                error = arg + " needs a positive integer";
                return false;
            }
            return true;
        };
        if (arg == "--config")
        {
            if (!value(opt.config))
                return false;
        }
        else if (arg == "--in")
        {
            if (!value(opt.in))
                return false;
        }
        else if (arg == "--out")
        {
            if (!value(opt.out))
                return false;
        }
        else if (arg == "--report")
        {
            if (!value(opt.report))
                return false;
        }
        else if (arg == "--repetitions")
        {
            ++modes;
            if (!number(opt.repetitions))
                return false;
        }
        else if (arg == "--interval")
        {
            ++modes;
            if (!number(opt.interval))
                return false;
        }
        else if (arg == "--si-share")
        {
            ++modes;
            std::string text;
            if (!value(text))
                return false;
            char* end = nullptr;
            opt.siShare = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !(opt.siShare > 0.0 && opt.siShare <= 0.9))
            {
                error = "--si-share needs a number in (0, 0.9]";
                return false;
            }
        }
        else if (arg == "--version-change")
        {
            opt.versionChange = true;
        }
        else if (arg == "--no-pack")
        {
            opt.pack = false;
        }
        else if (arg == "--help" || arg == "-h")
        {
            Usage();
            std::exit(0);
        }
        else
        {
            error = "unknown option " + arg;
            return false;
        }
    }
    if (opt.config.empty() || opt.in.empty() || opt.out.empty())
    {
        error = "--config, --in and --out are required";
        return false;
    }
    if (modes > 1)
    {
        error = "use only one of --repetitions, --interval and --si-share";
        return false;
    }
    return true;
}

// Sub-tables whose second-half bytes differ from the first half get the next version number.
void BumpChangedVersions(const Carousel& a, const Carousel& b, Config& second)
{
    auto changed = [](const std::vector<const std::vector<uint8_t>*>& x, const std::vector<const std::vector<uint8_t>*>& y) {
        if (x.size() != y.size())
            return true;
        for (std::size_t i = 0; i < x.size(); ++i)
        {
            if (*x[i] != *y[i])
                return true;
        }
        return false;
    };
    std::vector<const std::vector<uint8_t>*> na, nb;
    for (const Section& s : a.nit)
        na.push_back(&s.bytes);
    for (const Section& s : b.nit)
        nb.push_back(&s.bytes);
    if (changed(na, nb))
        second.nit.version = static_cast<uint8_t>((second.nit.version + 1) & 0x1F);
    for (Service& svc : second.services)
    {
        for (const bool schedule : {false, true})
        {
            std::vector<const std::vector<uint8_t>*> ea, eb;
            for (const EitSection& s : a.eit)
            {
                if (s.serviceId == svc.serviceId && (s.tableId != 0x4E) == schedule)
                    ea.push_back(&s.section.bytes);
            }
            for (const EitSection& s : b.eit)
            {
                if (s.serviceId == svc.serviceId && (s.tableId != 0x4E) == schedule)
                    eb.push_back(&s.section.bytes);
            }
            if (!changed(ea, eb))
                continue;
            uint8_t& v = schedule ? svc.scheduleVersion : svc.pfVersion;
            v = static_cast<uint8_t>((v + 1) & 0x1F);
        }
    }
}

int Run(int argc, char** argv)
{
    Options opt;
    std::string error;
    if (!ParseOptions(argc, argv, opt, error))
    {
        std::fprintf(stderr, "SIStreamWriter: %s\n", error.c_str());
        Usage();
        return 2;
    }

    std::ifstream configStream(opt.config);
    if (!configStream)
    {
        std::fprintf(stderr, "SIStreamWriter: cannot open config %s\n", opt.config.c_str());
        return 2;
    }
    json root = json::parse(configStream, nullptr, false);
    if (root.is_discarded())
    {
        std::fprintf(stderr, "SIStreamWriter: %s is not valid JSON\n", opt.config.c_str());
        return 2;
    }
    json updated;
    if (!ApplyUpdate(root, updated, error))
    {
        std::fprintf(stderr, "SIStreamWriter: %s\n", error.c_str());
        return 2;
    }
    if (opt.versionChange && !root.contains("update"))
    {
        std::fprintf(stderr, "SIStreamWriter: --version-change needs an \"update\" object in the config\n");
        return 2;
    }

    Config first, second;
    Reader reader;
    if (!reader.ReadConfig(root, first) || !reader.ReadConfig(updated, second))
    {
        std::fprintf(stderr, "SIStreamWriter: config %s: %s\n", opt.config.c_str(), reader.error.c_str());
        return 2;
    }

    std::vector<uint8_t> input;
    if (!peer::ReadTsFile(opt.in, input, error))
    {
        std::fprintf(stderr, "SIStreamWriter: %s\n", error.c_str());
        return 1;
    }
    for (std::size_t off = 0; off < input.size(); off += peer::kPacketSize)
    {
        const uint16_t pid = peer::PacketPid(input.data() + off);
        if (pid == kNitPid || pid == kEitPid || pid == kTdtPid)
        {
            std::fprintf(stderr, "SIStreamWriter: input already carries PID 0x%04X\n", pid);
            return 1;
        }
    }
    const int inputTsid = InputTsid(input);
    for (Config* cfg : {&first, &second})
    {
        if (!cfg->tsidGiven)
        {
            if (inputTsid < 0)
            {
                std::fprintf(stderr, "SIStreamWriter: no PAT in the input and no transport_stream_id in the config\n");
                return 1;
            }
            cfg->tsid = static_cast<uint16_t>(inputTsid);
        }
    }
    if (inputTsid >= 0 && first.tsid != inputTsid)
        std::fprintf(stderr, "SIStreamWriter: warning: config transport_stream_id %u differs from the input PAT's %d\n",
                     first.tsid, inputTsid);

    DvbpsiHandle dvbpsi;
    if (dvbpsi.handle == nullptr)
    {
        std::fprintf(stderr, "SIStreamWriter: dvbpsi_new failed\n");
        return 1;
    }
    Carousel carouselA, carouselB;
    if (!GenerateCarousel(dvbpsi.handle, first, carouselA, error) ||
        (opt.versionChange && !GenerateCarousel(dvbpsi.handle, second, carouselB, error)))
    {
        std::fprintf(stderr, "SIStreamWriter: %s\n", error.c_str());
        return 1;
    }
    if (opt.versionChange)
    {
        BumpChangedVersions(carouselA, carouselB, second);
        if (!GenerateCarousel(dvbpsi.handle, second, carouselB, error))
        {
            std::fprintf(stderr, "SIStreamWriter: %s\n", error.c_str());
            return 1;
        }
    }

    Writer writer{opt, first, second, carouselA, carouselB, dvbpsi.handle};
    const std::size_t count = input.size() / peer::kPacketSize;
    std::size_t repetitions = opt.repetitions;
    if (opt.interval > 0)
        repetitions = (count + opt.interval - 1) / opt.interval;

    std::vector<uint8_t> output;
    MuxStats stats;
    Section lastTdt, lastTot;
    if (opt.siShare > 0.0)
    {
        // Estimate the repetition count from one burst, then step up until the share is met.
        Packetiser probe;
        std::vector<Packet> burst;
        if (!writer.BuildBurst(0, 1, probe, burst, nullptr, nullptr, nullptr, error))
        {
            std::fprintf(stderr, "SIStreamWriter: %s\n", error.c_str());
            return 1;
        }
        std::size_t nulls = 0;
        for (std::size_t off = 0; off < input.size(); off += peer::kPacketSize)
            nulls += peer::PacketPid(input.data() + off) == peer::kNullPid ? 1 : 0;
        repetitions = 1;
        for (;; ++repetitions)
        {
            const double added = static_cast<double>(repetitions * burst.size());
            const double inserted = std::max(0.0, added - static_cast<double>(nulls));
            if (added / (static_cast<double>(count) + inserted) >= opt.siShare)
                break;
        }
        for (int attempt = 0;; ++attempt)
        {
            if (repetitions > count || attempt > 200)
            {
                std::fprintf(stderr, "SIStreamWriter: cannot reach an SI share of %.3f\n", opt.siShare);
                return 1;
            }
            if (!writer.Mux(input, repetitions, output, stats, lastTdt, lastTot, error))
            {
                std::fprintf(stderr, "SIStreamWriter: %s\n", error.c_str());
                return 1;
            }
            if (static_cast<double>(stats.SiPackets()) >= opt.siShare * static_cast<double>(stats.outputPackets))
                break;
            ++repetitions;
        }
    }
    else
    {
        if (repetitions == 0 || repetitions > count)
        {
            std::fprintf(stderr, "SIStreamWriter: %zu repetitions do not fit in %zu input packets\n", repetitions, count);
            return 1;
        }
        if (!writer.Mux(input, repetitions, output, stats, lastTdt, lastTot, error))
        {
            std::fprintf(stderr, "SIStreamWriter: %s\n", error.c_str());
            return 1;
        }
    }

    if (!peer::WriteFile(opt.out, output, error))
    {
        std::fprintf(stderr, "SIStreamWriter: %s\n", error.c_str());
        return 1;
    }
    const Config& lastCfg = opt.versionChange ? second : first;
    const Carousel& lastCarousel = opt.versionChange ? carouselB : carouselA;
    const ordered_json report = Report(lastCfg, lastCarousel, lastTdt, lastTot, stats, opt);
    if (!opt.report.empty() && !peer::WriteTextFile(opt.report, report.dump(2) + "\n", error))
    {
        std::fprintf(stderr, "SIStreamWriter: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr,
                 "SIStreamWriter: %s: %zu packets in, %zu out, %zu repetitions, %zu SI packets (%.1f%%), "
                 "%zu nulls replaced, %zu inserted\n",
                 opt.out.c_str(), stats.inputPackets, stats.outputPackets, stats.repetitions, stats.SiPackets(),
                 100.0 * static_cast<double>(stats.SiPackets()) / static_cast<double>(stats.outputPackets),
                 stats.replacedNulls, stats.insertedPackets);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // nlohmann reports type errors by exception; they end the tool with a message, never a crash.
    try
    {
        return Run(argc, argv);
    }
    catch (const std::exception& e)
    {
        std::fprintf(stderr, "SIStreamWriter: %s\n", e.what());
        return 2;
    }
}
