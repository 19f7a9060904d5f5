#include "model/CDVBSICollector.h"

#include "model/CDVBScheduleEntry.h"
#include "platform/CSingleLock.h"
#include "si/CDVBEITSection.h"
#include "si/CDVBNITSection.h"
#include "si/CDVBPATSection.h"
#include "si/CDVBPMTSection.h"
#include "si/CDVBSDTSection.h"
#include "si/CDVBTerrestrialDeliverySystemDescriptor.h"

#include <cctype>
#include <cstring>

namespace {

// Written beside the file and renamed over it, so that a reader never sees half of one.
constexpr const char* kPartFileName = "epg/epg.xml.part";

}  // namespace

CDVBSICollector::CDVBSICollector()
{
    Update();
}

void CDVBSICollector::OnReceivePAT(WORD, CDVBPATSection* section)
{
    m_programsUpdater.ApplyPAT(section);
    ApplyToTransportStream(section, &CDVBTransportStream::OnReceivePAT);
}

void CDVBSICollector::OnReceivePMT(WORD, CDVBPMTSection* section)
{
    m_programsUpdater.ApplyPMT(section);
    m_changed = true;
}

void CDVBSICollector::OnReceiveSDT(WORD, CDVBSDTSection* section)
{
    m_programsUpdater.ApplySDT(section);
    ApplyToTransportStream(section, &CDVBTransportStream::OnReceiveSDT);
}

void CDVBSICollector::OnReceiveEIT(WORD, CDVBEITSection* section)
{
    m_programsUpdater.ApplyEIT(section);
    m_changed = true;
}

template <class Section>
void CDVBSICollector::ApplyToTransportStream(Section* section, void (CDVBTransportStream::*apply)(Section*))
{
    {
        CSingleLock guard(m_transportStreamsLock);
        (m_transportStreams.GetOrCreateTransportStream(section->m_tableIdExtension)->*apply)(section);
    }
    m_changed = true;
}

void CDVBSICollector::OnReceiveNIT(WORD, CDVBNITSection* section)
{
    {
        CSingleLock guard(m_transportStreamsLock);
        for (CDVBNITEntry* entry : section->m_entries)
            m_transportStreams.GetOrCreateTransportStream(entry->m_transportStreamId)->OnReceiveNIT(section, entry);
    }
    m_changed = true;
}

void CDVBSICollector::EnableUpdates(bool enable)
{
    m_updatesEnabled = enable;
    if (enable)
        m_secondsCounter = 0;
}

void CDVBSICollector::OnEverySecond()
{
    if (m_updatesEnabled && m_changed && m_secondsCounter % 5 == 0)
        Update();
    ++m_secondsCounter;
}

void CDVBSICollector::CleanTextForXML(CString& text)
{
    std::string cleaned = text.Str();
    for (char& c : cleaned) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '&')
            c = '+';
        else if (byte >= 0x80 || byte == '\v' || byte == '\f')
            c = ' ';   // XML forbids vertical tab and form feed, which broadcasters send
        else if (!std::isalnum(byte) && !std::isspace(byte) && !std::strchr("(){}[]?!,.@:;'/", byte))
            c = ' ';
    }
    text = CString(std::move(cleaned));
}

void CDVBSICollector::WriteScheduleItem(std::FILE* file, const CDVBScheduleEntry& entry)
{
    CString title = entry.m_eventName;
    CString description = entry.m_eventText;
    CleanTextForXML(title);
    CleanTextForXML(description);
    const SYSTEMTIME& start = entry.m_localStartTime;
    const SYSTEMTIME& end = entry.m_localEndTime;
    std::fprintf(file,
                 "\t\t<scheduleitem status=\"%s\" startDate=\"%02d/%02d/%02d\" startTime=\"%02d:%02d\" "
                 "endDate=\"%02d/%02d/%02d\" endTime=\"%02d:%02d\" duration=\"%s\">\n",
                 entry.m_runningStatus == 4 ? "now" : "next", start.wYear, start.wMonth, start.wDay, start.wHour,
                 start.wMinute, end.wYear, end.wMonth, end.wDay, end.wHour, end.wMinute,
                 static_cast<const char*>(entry.m_durationText));
    std::fprintf(file, "\t\t\t<title>%s</title>\n", static_cast<const char*>(title));
    std::fprintf(file, "\t\t\t<description>%s</description>\n", static_cast<const char*>(description));
    std::fputs("\t\t</scheduleitem>", file);
}

void CDVBSICollector::Update()
{
    std::FILE* file = std::fopen(kPartFileName, "w");
    if (file == nullptr) {
        m_changed = false;   // no new attempt until further SI arrives
        return;
    }
    std::fputs("<system>\n<transportstreams>\n", file);
    {
        CSingleLock guard(m_transportStreamsLock);
        for (const CDVBTransportStream* stream : m_transportStreams) {
            std::fprintf(file, "\t<transportstream id=\"%d\">", stream->m_transportStreamId);
            if (stream->m_hasTerrestrialDelivery) {
                const CDVBTerrestrialDeliverySystemDescriptor* t = stream->m_terrestrialDelivery;
                std::fprintf(file,
                             "\t\t<terrestrial frequency=\"%lu\" bandwidth=\"%s\" constellation=\"%s\" "
                             "hierarchy=\"%s\" coderateHP=\"%s\" coderateLP=\"%s\" guard=\"%s\" "
                             "transmissionmode=\"%s\" />",
                             static_cast<unsigned long>(t->m_centreFrequency), t->GetBandwidthText(),
                             t->GetConstellationText(), t->GetHierarchyText(), t->GetCodeRateHPText(),
                             t->GetCodeRateLPText(), t->GetGuardIntervalText(), t->GetTransmissionModeText());
            }
            std::fputs("\t</transportstream>\n", file);
        }
    }
    std::fputs("</transportstreams>\n", file);
    {
        CSingleLock guard(m_programsLock);
        std::fputs("<services>\n", file);
        for (CDVBProgram* program : m_programs) {
            CString name = program->m_serviceName;
            CleanTextForXML(name);
            std::fprintf(file, "\t<service tsid=\"%d\" id=\"%d\" name=\"%s\" sdttype=\"%s\" pmttype=\"%s\" access=\"%s\">\n",
                         program->m_sdtTransportStreamId, program->m_programNumber, static_cast<const char*>(name),
                         static_cast<const char*>(CDVBProgram::GetServiceTypeText(program->GetServiceTypeFromSDT())),
                         static_cast<const char*>(CDVBProgram::GetServiceTypeText(program->GetServiceTypeFromPMT())),
                         static_cast<const char*>(program->GetAccessTypeText()));
            CDVBScheduleEntry now, next;
            const int found = program->m_schedule.GetNowAndNextInformation(&now, &next);
            if (found & 1)
                WriteScheduleItem(file, now);
            if (found & 2)
                WriteScheduleItem(file, next);
            std::fputs("\t</service>\n", file);
        }
    }
    std::fputs("</services>\n</system>\n", file);
    std::fclose(file);
    std::rename(kPartFileName, FileName);
    m_changed = false;
}
