#include "apps/common/CServiceReport.h"

#include "receiver/CDVBTransportStreamReceiver.h"
#include "model/CDVBScheduleEntry.h"
#include "platform/CSingleLock.h"
#include "si/CDVBText.h"
#include "si/DVBTime.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string Utf8(const CString& text)
{
    return CDVBText::ToUTF8(text);
}

std::optional<CServiceReport::Event> EventOf(const CDVBScheduleEntry& entry)
{
    CServiceReport::Event event;
    event.title = Utf8(entry.m_eventName);
    event.text = Utf8(entry.m_eventText);
    event.start = CServiceReport::IsoLocalTime(entry.m_utcStartTime);
    event.end = CServiceReport::IsoLocalTime(entry.m_utcEndTime);
    return event;
}

nlohmann::json EventJson(const std::optional<CServiceReport::Event>& event)
{
    if (!event)
        return nullptr;
    auto orNull = [](const std::string& s) { return s.empty() ? nlohmann::json(nullptr) : nlohmann::json(s); };
    return {{"title", event->title}, {"text", event->text}, {"start", orNull(event->start)},
            {"end", orNull(event->end)}};
}

std::string HourMinute(const std::string& iso)
{
    return iso.size() >= 16 ? iso.substr(11, 5) : "--:--";
}

std::string Hex(int value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

}  // namespace

std::string CServiceReport::IsoLocalTime(const SYSTEMTIME& utc)
{
    CString text;
    FormatIsoLocalTime(text, &utc);
    return text.Str();
}

void CServiceReport::Take(CDVBTransportStreamReceiver& receiver)
{
    m_services.clear();
    std::vector<WORD> numbers;
    {
        CSingleLock guard(*receiver.GetProgramsSection());
        for (const CDVBProgram* program : *receiver.GetProgramsList()) {
            Service service;
            service.id = program->m_programNumber;
            service.transportStreamId = program->m_receivedPAT ? program->m_patTransportStreamId : program->m_sdtTransportStreamId;
            service.name = Utf8(program->m_serviceName);
            service.provider = Utf8(program->m_providerName);
            service.sdtType = program->GetServiceTypeFromSDT();
            service.pmtType = program->GetServiceTypeFromPMT();
            service.access = program->GetAccessTypeText().Str();
            if (program->m_logicalChannelNumber >= 0) {
                service.lcn = program->m_logicalChannelNumber;
                service.visible = program->m_logicalChannelVisible;
            }
            if (program->m_receivedPAT)
                service.pmtPid = program->m_pmtPid;
            if (program->m_receivedPMT)
                service.pcrPid = program->m_pcrPid;
            for (const CDVBProgramElement* element : program->m_elements)
                service.elements.push_back({element->m_elementaryPid, element->m_streamType,
                                            element->GetDescription().Str(), element->GetCodecName()});
            if (program->m_receivedPMT) {
                CDVBTrackList tracks;
                tracks.Read(*program);
                service.tracks = tracks.GetTracks();
            }
            m_services.push_back(std::move(service));
            numbers.push_back(program->m_programNumber);
        }
    }
    // the schedule query takes the programs lock itself
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        CDVBScheduleEntry now, next;
        const int found = receiver.GetNowAndNextInformation(numbers[i], &now, &next);
        if (found & 1)
            m_services[i].now = EventOf(now);
        if (found & 2)
            m_services[i].next = EventOf(next);
    }
    // in channel order where the network numbers them, as a television lists them
    std::stable_sort(m_services.begin(), m_services.end(),
                     [](const Service& a, const Service& b) { return a.lcn.value_or(1 << 20) < b.lcn.value_or(1 << 20); });
}

void CServiceReport::SetNetwork(std::optional<int> originalNetworkId, const std::string& name)
{
    for (Service& service : m_services) {
        service.originalNetworkId = originalNetworkId;
        service.network = name;
    }
}

const char* CServiceReport::KindName(CDVBTrackList::Kind kind)
{
    switch (kind) {
    case CDVBTrackList::Kind::Sound:
        return "sound";
    case CDVBTrackList::Kind::AudioDescription:
        return "audio description";
    case CDVBTrackList::Kind::Subtitles:
        return "subtitles";
    case CDVBTrackList::Kind::TeletextSubtitles:
        return "teletext subtitles";
    case CDVBTrackList::Kind::Teletext:
        break;
    }
    return "teletext";
}

nlohmann::json CServiceReport::ToJson() const
{
    nlohmann::json services = nlohmann::json::array();
    for (const Service& s : m_services) {
        nlohmann::json elements = nlohmann::json::array();
        for (const Element& e : s.elements)
            elements.push_back({{"pid", e.pid},
                                {"stream_type", e.streamType},
                                {"description", e.description},
                                {"codec", e.codec ? nlohmann::json(e.codec) : nlohmann::json(nullptr)}});
        nlohmann::json tracks = nlohmann::json::array();
        for (const CDVBTrackList::Track& t : s.tracks) {
            nlohmann::json track = {{"pid", t.pid}, {"kind", KindName(t.kind)},
                                    {"language", t.language.empty() ? nlohmann::json(nullptr) : nlohmann::json(t.language)}};
            if (t.IsSubtitles())
                track["hard_of_hearing"] = t.hardOfHearing;
            if (t.kind == CDVBTrackList::Kind::Subtitles) {
                track["composition_page"] = t.compositionPage;
                track["ancillary_page"] = t.ancillaryPage;
            } else if (t.page) {
                track["page"] = t.page;
            }
            tracks.push_back(track);
        }
        services.push_back({{"id", s.id},
                            {"name", s.name},
                            {"provider", s.provider},
                            {"transport_stream_id", s.transportStreamId == 0xFFFF ? nlohmann::json(nullptr) : nlohmann::json(s.transportStreamId)},
                            {"original_network_id", s.originalNetworkId ? nlohmann::json(*s.originalNetworkId) : nlohmann::json(nullptr)},
                            {"network", s.network.empty() ? nlohmann::json(nullptr) : nlohmann::json(s.network)},
                            {"lcn", s.lcn ? nlohmann::json(*s.lcn) : nlohmann::json(nullptr)},
                            {"visible", s.visible},
                            {"sdttype", CDVBProgram::GetServiceTypeText(s.sdtType).Str()},
                            {"pmttype", CDVBProgram::GetServiceTypeText(s.pmtType).Str()},
                            {"access", s.access},
                            {"pmt_pid", s.pmtPid ? nlohmann::json(*s.pmtPid) : nlohmann::json(nullptr)},
                            {"pcr_pid", s.pcrPid ? nlohmann::json(*s.pcrPid) : nlohmann::json(nullptr)},
                            {"elements", elements},
                            {"tracks", tracks},
                            {"now", EventJson(s.now)},
                            {"next", EventJson(s.next)}});
    }
    return {{"services", services}};
}

void CServiceReport::PrintTable(std::ostream& out) const
{
    for (const Service& s : m_services) {
        if (s.lcn)
            out << "[" << *s.lcn << (s.visible ? "] " : ", hidden] ");
        out << "Service " << s.id << "  " << s.name;
        if (!s.provider.empty())
            out << "  (" << s.provider << ")";
        out << "\n  type " << CDVBProgram::GetServiceTypeText(s.sdtType).Str() << " (SDT), "
            << CDVBProgram::GetServiceTypeText(s.pmtType).Str() << " (PMT); " << s.access << "\n";
        out << "  PMT PID " << (s.pmtPid ? Hex(*s.pmtPid, 4) : "-") << ", PCR PID "
            << (s.pcrPid ? Hex(*s.pcrPid, 4) : "-") << "\n";
        out << "  transport stream " << (s.transportStreamId == 0xFFFF ? std::string("-") : std::to_string(s.transportStreamId))
            << ", original network " << (s.originalNetworkId ? std::to_string(*s.originalNetworkId) : std::string("-"));
        if (!s.network.empty())
            out << " (" << s.network << ")";
        out << "\n";
        for (const Element& e : s.elements)
            out << "  PID " << Hex(e.pid, 4) << "  type " << Hex(e.streamType, 2) << "  " << e.description << "\n";
        // "  sound: deu (0x0101); fra, audio description (0x0102)", then the subtitles alike
        for (const bool sound : {true, false}) {
            std::string line;
            for (const CDVBTrackList::Track& t : s.tracks)
                if (t.IsSound() == sound && (sound || t.IsSubtitles()))
                    line += (line.empty() ? "" : "; ") + t.Describe() + " (" + Hex(t.pid, 4) + ")";
            if (!line.empty())
                out << (sound ? "  sound: " : "  subtitles: ") << line << "\n";
        }
        for (const auto& [label, event] : {std::make_pair("now: ", &s.now), std::make_pair("next:", &s.next)}) {
            if (*event)
                out << "  " << label << " " << HourMinute((*event)->start) << "-" << HourMinute((*event)->end) << "  "
                    << (*event)->title << "\n";
            else
                out << "  " << label << " -\n";
        }
    }
}
