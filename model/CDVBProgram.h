#pragma once
// One program (service) of a transport stream: what the PAT, PMT, SDT and EIT said about
// it. Nothing here locks: the owner of the program list guards it (the receiver's
// programs lock). Fields of a group mean something only once the group's flag is true.
#include "model/CDVBProgramElementList.h"
#include "model/CDVBSchedule.h"
#include "platform/CString.h"
#include "platform/LUMTypes.h"

class CDVBEITSection;
class CDVBPATEntry;
class CDVBPATSection;
class CDVBPMTSection;
class CDVBSDTEntry;
class CDVBSDTSection;

class CDVBProgram
{
public:
    // Service type codes.
    static constexpr int ServiceUnknown = 0;
    static constexpr int ServiceTelevision = 1;
    static constexpr int ServiceRadio = 2;
    static constexpr int ServiceData = 3;

    explicit CDVBProgram(WORD programNumber);
    CDVBProgram(const CDVBProgram&) = delete;
    CDVBProgram& operator=(const CDVBProgram&) = delete;
    virtual ~CDVBProgram() = default;

    int GetServiceTypeFromPMT() const;
    int GetServiceTypeFromSDT() const;
    static CString GetServiceTypeText(int serviceType);
    CString GetAccessTypeText() const;   // "unknown", "free to air" or "encrypted"
    CDVBProgramElement* GetProgramElement(WORD pid) const;
    CDVBProgramElement* GetOrCreateProgramElement(WORD pid);

    void OnReceivePAT(CDVBPATSection* section, CDVBPATEntry* entry);
    void OnReceivePMT(CDVBPMTSection* section);
    void OnReceiveSDT(CDVBSDTSection* section, CDVBSDTEntry* entry);
    void OnReceiveEIT(CDVBEITSection* section);

    WORD m_programNumber;
    bool m_receivedPAT = false;
    WORD m_pmtPid = 0xFFFF;
    WORD m_patTransportStreamId = 0xFFFF;
    bool m_receivedPMT = false;
    WORD m_pcrPid = 0xFFFF;
    CDVBProgramElementList m_elements;
    bool m_receivedSDT = false;
    WORD m_sdtTransportStreamId = 0xFFFF;
    BYTE m_eitScheduleFlag = 0;
    BYTE m_eitPresentFollowingFlag = 0;
    BYTE m_freeCaMode = 0;
    BYTE m_runningStatus = 0;
    bool m_hasServiceDescriptor = false;
    BYTE m_serviceType = 0;
    CString m_providerName;
    CString m_serviceName;   // "Service %04d" until an SDT names it
    int m_logicalChannelNumber = -1;   // from the actual NIT; -1 without one
    bool m_logicalChannelVisible = true;
    bool m_receivedEIT = false;
    CDVBSchedule m_schedule;
};
