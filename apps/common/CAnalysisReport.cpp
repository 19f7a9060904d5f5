#include "apps/common/CAnalysisReport.h"

#include <cstdio>
#include <string>

namespace {

template <typename T>
nlohmann::json Optional(const std::optional<T>& value)
{
    return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

nlohmann::json Range(const std::optional<CDVBStreamAnalysis::Range>& range)
{
    if (!range)
        return nullptr;
    return {{"mean", range->mean}, {"min", range->min}, {"max", range->max}};
}

std::string Format(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Kbits(double bitrate)
{
    return Format("%.1f", bitrate / 1000);
}

std::string Pid(WORD pid)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%04X (%u)", unsigned(pid), unsigned(pid));
    return text;
}

// to `width` characters of UTF-8, not bytes
std::string Pad(std::string text, std::size_t width, bool right = false)
{
    std::size_t characters = 0;
    for (const char c : text)
        characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    if (characters < width)
        text.insert(right ? 0 : text.size(), width - characters, ' ');
    return text;
}

}   // namespace

nlohmann::json CAnalysisReport::ToJson(const CDVBStreamAnalysis& analysis)
{
    nlohmann::json ts = {
        {"id", Optional(analysis.transportStreamId)},
        {"packets", analysis.packets},
        {"bytes", analysis.packets * 188},
        {"invalid_syncs", analysis.invalidSyncs},
        {"transport_errors", analysis.transportErrors},
        {"bitrate", Optional(analysis.bitrate)},
        {"duration", Optional(analysis.duration)},
        {"services", analysis.services.size()},
        {"pids", analysis.pids.size()},
    };
    nlohmann::json services = nlohmann::json::array();
    for (const CDVBStreamAnalysis::Service& service : analysis.services)
        services.push_back({
            {"id", service.id},
            {"tsid", Optional(analysis.transportStreamId)},
            {"name", service.name},
            {"provider", service.provider},
            {"type", Optional(service.type)},
            {"pmt_pid", Optional(service.pmtPid)},
            {"pcr_pid", Optional(service.pcrPid)},
            {"pids", service.pids},
            {"packets", service.packets},
            {"bitrate", service.bitrate},
            {"lcn", Optional(service.lcn)},
            {"visible", service.lcnVisible},
        });
    nlohmann::json pids = nlohmann::json::array();
    for (const CDVBStreamAnalysis::Pid& pid : analysis.pids)
        pids.push_back({
            {"pid", pid.pid},
            {"description", pid.description},
            {"service_ids", pid.serviceIds},
            {"packets", pid.packets},
            {"af", pid.af},
            {"pcr", pid.pcr},
            {"pts", pid.pts},
            {"dts", pid.dts},
            {"first_pcr", Optional(pid.firstPcr)},
            {"last_pcr", Optional(pid.lastPcr)},
            {"first_pts", Optional(pid.firstPts)},
            {"last_pts", Optional(pid.lastPts)},
            {"first_dts", Optional(pid.firstDts)},
            {"last_dts", Optional(pid.lastDts)},
            {"discontinuities", pid.discontinuities},
            {"duplicated", pid.duplicated},
            {"unit_start", pid.unitStart},
            {"pes", pid.pes},
            {"invalid_pes_prefix", pid.invalidPesPrefix},
            {"scrambled", pid.scrambled},
            {"bitrate", analysis.bitrate ? nlohmann::json(pid.bitrate) : nlohmann::json(nullptr)},
        });
    nlohmann::json tables = nlohmann::json::array();
    for (const CDVBStreamAnalysis::Table& table : analysis.tables)
        tables.push_back({
            {"pid", table.pid},
            {"table_id", table.tableId},
            {"table_id_ext", table.tableIdExtension},
            {"sections", table.sections},
            {"tables", table.tables},
            {"versions", table.versions},
            {"first_version", Optional(table.firstVersion)},
            {"last_version", Optional(table.lastVersion)},
            {"repetition_pkt", Range(table.repetitionPackets)},
            {"repetition_ms", Range(table.repetitionMs)},
        });
    nlohmann::json indicators = nlohmann::json::object();
    for (int i = 0; i < CDVBStreamAnalysis::IndicatorCount; ++i)
        indicators[CDVBStreamAnalysis::IndicatorName(i)] = {{"count", analysis.indicators[i].count},
                                                             {"first_packet", Optional(analysis.indicators[i].firstPacket)}};
    return {{"ts", ts}, {"services", services}, {"pids", pids}, {"tables", tables}, {"tr101290", indicators}};
}

void CAnalysisReport::WriteText(std::ostream& out, const CDVBStreamAnalysis& analysis)
{
    out << "Transport stream";
    if (analysis.transportStreamId)
        out << " " << *analysis.transportStreamId;
    out << ": " << analysis.packets << " packets (" << analysis.packets * 188 << " bytes)";
    if (analysis.bitrate)
        out << ", " << Format("%.2f", *analysis.duration) << " s at " << Kbits(*analysis.bitrate) << " kbit/s";
    else
        out << ", no PCR: no bitrate";
    out << "\n";
    if (analysis.invalidSyncs || analysis.transportErrors)
        out << "  " << analysis.invalidSyncs << " packets without the sync byte, " << analysis.transportErrors
            << " marked errored\n";

    out << "\nServices (" << analysis.services.size() << ")\n";
    out << "  " << Pad("LCN", 6) << Pad("ID", 7) << Pad("Name", 22) << Pad("Provider", 16) << Pad("PMT", 8) << Pad("PCR", 8)
        << Pad("kbit/s", 9, true) << "\n";
    for (const CDVBStreamAnalysis::Service& service : analysis.services) {
        std::string lcn = service.lcn ? std::to_string(*service.lcn) + (service.lcnVisible ? "" : "h") : "-";
        out << "  " << Pad(lcn, 6) << Pad(std::to_string(service.id), 7) << Pad(service.name, 21) << " "
            << Pad(service.provider, 15) << " " << Pad(service.pmtPid ? std::to_string(*service.pmtPid) : "-", 8)
            << Pad(service.pcrPid ? std::to_string(*service.pcrPid) : "-", 8) << Pad(Kbits(service.bitrate), 9, true) << "\n";
    }

    out << "\nPIDs (" << analysis.pids.size() << ")\n";
    out << "  " << Pad("PID", 16) << Pad("packets", 9, true) << Pad("kbit/s", 9, true) << Pad("PCR", 6, true)
        << Pad("PES", 6, true) << Pad("PTS", 6, true) << Pad("DTS", 6, true) << Pad("CC err", 7, true)
        << Pad("dup", 5, true) << Pad("scr", 5, true) << "  description\n";
    for (const CDVBStreamAnalysis::Pid& pid : analysis.pids) {
        std::string services;
        for (WORD id : pid.serviceIds)
            services += (services.empty() ? " [" : ", ") + std::to_string(id);
        if (!services.empty())
            services += "]";
        out << "  " << Pad(Pid(pid.pid), 16) << Pad(std::to_string(pid.packets), 9, true)
            << Pad(analysis.bitrate ? Kbits(pid.bitrate) : "-", 9, true) << Pad(std::to_string(pid.pcr), 6, true)
            << Pad(std::to_string(pid.pes), 6, true) << Pad(std::to_string(pid.pts), 6, true)
            << Pad(std::to_string(pid.dts), 6, true) << Pad(std::to_string(pid.discontinuities), 7, true)
            << Pad(std::to_string(pid.duplicated), 5, true) << Pad(std::to_string(pid.scrambled), 5, true) << "  "
            << pid.description << services << "\n";
    }

    out << "\nTables (" << analysis.tables.size() << ")\n";
    out << "  " << Pad("PID", 8) << Pad("table", 7) << Pad("ext", 7) << Pad("sections", 9, true) << Pad("versions", 9, true)
        << "  repetition ms (mean, min, max)\n";
    for (const CDVBStreamAnalysis::Table& table : analysis.tables) {
        char id[16], pid[16];
        std::snprintf(pid, sizeof pid, "0x%04X", unsigned(table.pid));
        std::snprintf(id, sizeof id, "0x%02X", unsigned(table.tableId));
        out << "  " << Pad(pid, 8) << Pad(id, 7) << Pad(std::to_string(table.tableIdExtension), 7)
            << Pad(std::to_string(table.sections), 9, true) << Pad(std::to_string(table.versions), 9, true) << "  ";
        if (table.repetitionMs)
            out << Format("%.0f", table.repetitionMs->mean) << ", " << Format("%.0f", table.repetitionMs->min) << ", "
                << Format("%.0f", table.repetitionMs->max);
        else
            out << "-";
        out << "\n";
    }

    out << "\nTR 101 290\n";
    for (int i = 0; i < CDVBStreamAnalysis::IndicatorCount; ++i) {
        if (i == 0)
            out << "  first priority\n";
        else if (i == CDVBStreamAnalysis::FirstPriorityCount)
            out << "  second priority\n";
        const CDVBStreamAnalysis::Count& count = analysis.indicators[i];
        out << "    " << Pad(CDVBStreamAnalysis::IndicatorName(i), 36) << Pad(std::to_string(count.count), 8, true);
        if (count.firstPacket)
            out << "  first at packet " << *count.firstPacket;
        out << "\n";
    }
}
