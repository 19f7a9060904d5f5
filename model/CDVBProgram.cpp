#include "model/CDVBProgram.h"

#include "si/CDVBEITSection.h"
#include "si/CDVBPATSection.h"
#include "si/CDVBPMTSection.h"
#include "si/CDVBSDTSection.h"
#include "si/CDVBServiceDescriptor.h"

CDVBProgram::CDVBProgram(WORD programNumber) : m_programNumber(programNumber)
{
    m_serviceName.Format("Service %04d", unsigned(programNumber));
}

int CDVBProgram::GetServiceTypeFromPMT() const
{
    bool video = false, audio = false, dsmcc = false;
    for (const CDVBProgramElement* element : m_elements) {
        const CString kind = element->GetDescription().Left(5);
        video = video || kind.CompareNoCase("video") == 0;
        audio = audio || kind.CompareNoCase("audio") == 0;
        dsmcc = dsmcc || kind.CompareNoCase("DSMCC") == 0;
    }
    if (video)
        return ServiceTelevision;
    if (audio)
        return ServiceRadio;
    return dsmcc ? ServiceData : ServiceUnknown;
}

int CDVBProgram::GetServiceTypeFromSDT() const
{
    if (!m_hasServiceDescriptor)
        return ServiceUnknown;
    switch (m_serviceType) {
    case 0x01:
    case 0x11:   // MPEG-2 HD
    case 0x16:   // advanced codec (H.264) SD
    case 0x19:   // advanced codec HD
    case 0x1C:   // advanced codec frame-compatible stereoscopic HD
    case 0x1F:   // HEVC
    case 0x20:   // HEVC UHD with HDR or high frame rate
        return ServiceTelevision;
    case 0x02:
    case 0x0A:   // advanced codec (AAC) radio
        return ServiceRadio;
    case 0x0C:
        return ServiceData;
    default:
        return ServiceUnknown;
    }
}

CString CDVBProgram::GetServiceTypeText(int serviceType)
{
    switch (serviceType) {
    case ServiceUnknown:
        return "unknown";
    case ServiceTelevision:
        return "digital television service";
    case ServiceRadio:
        return "digital radio service";
    case ServiceData:
        return "data service";
    default:
        return CString();
    }
}

CString CDVBProgram::GetAccessTypeText() const
{
    if (!m_receivedSDT)
        return "unknown";
    return m_freeCaMode ? "encrypted" : "free to air";
}

CDVBProgramElement* CDVBProgram::GetProgramElement(WORD pid) const
{
    for (CDVBProgramElement* element : m_elements)
        if (element->m_elementaryPid == pid)
            return element;
    return nullptr;
}

CDVBProgramElement* CDVBProgram::GetOrCreateProgramElement(WORD pid)
{
    if (CDVBProgramElement* element = GetProgramElement(pid))
        return element;
    auto* element = new CDVBProgramElement;
    element->m_elementaryPid = pid;
    m_elements.push_back(element);
    return element;
}

void CDVBProgram::OnReceivePAT(CDVBPATSection* section, CDVBPATEntry* entry)
{
    m_receivedPAT = true;
    m_pmtPid = entry->m_pid;
    m_patTransportStreamId = section->m_tableIdExtension;
}

void CDVBProgram::OnReceivePMT(CDVBPMTSection* section)
{
    m_receivedPMT = true;
    m_pcrPid = section->m_pcrPid;
    // elements the map no longer lists stay: the model only grows
    for (const CDVBPMTEntry* entry : section->m_entries) {
        CDVBProgramElement* element = GetOrCreateProgramElement(entry->m_elementaryPid);
        element->m_streamType = entry->m_streamType;
        element->m_descriptors.CopyFrom(entry->m_descriptors);
    }
}

void CDVBProgram::OnReceiveSDT(CDVBSDTSection* section, CDVBSDTEntry* entry)
{
    m_receivedSDT = true;
    m_sdtTransportStreamId = section->m_tableIdExtension;
    m_eitScheduleFlag = entry->m_eitScheduleFlag;
    m_eitPresentFollowingFlag = entry->m_eitPresentFollowingFlag;
    m_freeCaMode = entry->m_freeCaMode;
    m_runningStatus = entry->m_runningStatus;
    // an entry without a service descriptor leaves the names as they were
    if (const auto* service = static_cast<const CDVBServiceDescriptor*>(
            entry->m_descriptors.FindDescriptor(CDVBServiceDescriptor::Tag))) {
        m_hasServiceDescriptor = true;
        m_serviceType = service->m_serviceType;
        m_providerName = service->m_providerName;
        m_serviceName = service->m_serviceName;
    }
}

void CDVBProgram::OnReceiveEIT(CDVBEITSection* section)
{
    m_receivedEIT = true;
    m_schedule.Update(section);
}
