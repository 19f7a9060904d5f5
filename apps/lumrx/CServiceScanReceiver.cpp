#include "CServiceScanReceiver.h"

#include "core/CDVBPIDReceiver.h"
#include "platform/CSingleLock.h"
#include "si/CDVBEITSection.h"
#include "si/CDVBNITSection.h"
#include "si/CDVBPATSection.h"
#include "si/CDVBNetworkNameDescriptor.h"
#include "si/CDVBSDTSection.h"

void CServiceScanReceiver::OnReceiveSDT(WORD, CDVBSDTSection* section)
{
    if (section->m_tableId == 0x42) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_sdtSeen = true;
        m_originalNetworkId = section->m_originalNetworkId;
        for (const CDVBSDTEntry* entry : section->m_entries)
            m_sdtServices.insert(entry->m_serviceId);
    }
    m_sectionEvent.Set();
}

void CServiceScanReceiver::OnReceiveNIT(WORD, CDVBNITSection* section)
{
    if (section->m_tableId == 0x40) {
        std::lock_guard<std::mutex> guard(m_lock);
        for (const CDVBDescriptor* descriptor : section->m_descriptors)
            if (const auto* name = dynamic_cast<const CDVBNetworkNameDescriptor*>(descriptor))
                m_networkName = name->m_networkName;
        m_nitSections.insert(section->m_sectionNumber);
        m_nitLastSection = section->m_lastSectionNumber;
    }
    m_sectionEvent.Set();
}

void CServiceScanReceiver::OnReceiveEIT(WORD, CDVBEITSection* section)
{
    if (section->m_tableId == 0x4E) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_presentFollowing.insert({section->m_tableIdExtension, section->m_sectionNumber});
        m_lastPresentFollowing[section->m_tableIdExtension] = section->m_lastSectionNumber;
    }
    m_sectionEvent.Set();
}

namespace {

class CEveryMillisecond : public CDVBPIDReceiver
{
public:
    bool RequiresTimeNotifications() override { return true; }
};

}  // namespace

CServiceScanReceiver::CServiceScanReceiver(CDVBTransportStreamSource* source,
                                           CDVBTransportStreamUpdateHandler* updateHandler)
    : CDVBTransportStreamReceiver(source, updateHandler)
{
    AddPIDReceiver(0x1FFE, new CEveryMillisecond);   // a PID no stream of ours uses
    AddTableListener(this);
}

bool CServiceScanReceiver::GetNetwork(WORD& originalNetworkId, CString& name)
{
    std::lock_guard<std::mutex> guard(m_lock);
    originalNetworkId = m_originalNetworkId;
    name = m_networkName;
    return m_sdtSeen;
}

void CServiceScanReceiver::OnReceivePAT(WORD, CDVBPATSection* section)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (const CDVBPATEntry* entry : section->m_entries)
            m_networkNamed = m_networkNamed || entry->m_programNumber == 0;
    }
    m_sectionEvent.Set();
}

bool CServiceScanReceiver::IsComplete()
{
    {
        CSingleLock guard(*GetProgramsSection());
        if (!m_receivedPAT)
            return false;
        for (const CDVBProgram* program : *GetProgramsList())
            if (program->m_receivedPAT && !program->m_receivedPMT)
                return false;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_sdtSeen)
        return false;
    // a PAT that names the network's PID promises the NIT, and with it the channel numbers
    if (m_networkNamed && (m_nitLastSection < 0 || int(m_nitSections.size()) <= m_nitLastSection))
        return false;
    for (WORD service : m_sdtServices) {
        const auto last = m_lastPresentFollowing.find(service);
        if (last == m_lastPresentFollowing.end() || !m_presentFollowing.count({service, 0}))
            return false;
        if (last->second >= 1 && !m_presentFollowing.count({service, 1}))
            return false;
    }
    return true;
}
