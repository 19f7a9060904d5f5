#include "CServiceScanReceiver.h"

#include "core/CDVBPIDReceiver.h"
#include "platform/CSingleLock.h"
#include "si/CDVBNITSection.h"
#include "si/CDVBNetworkNameDescriptor.h"
#include "si/CDVBSDTSection.h"

void CServiceScanReceiver::OnSectionUpdate(WORD pid, CDVBSISection* section)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (section->m_type == CDVBSISection::TypeSDT && section->m_tableId == 0x42) {
            m_sdtSeen = true;
            m_originalNetworkId = static_cast<CDVBSDTSection*>(section)->m_originalNetworkId;
            for (const CDVBSDTEntry* entry : static_cast<CDVBSDTSection*>(section)->m_entries)
                m_sdtServices.insert(entry->m_serviceId);
        } else if (section->m_type == CDVBSISection::TypeNIT && section->m_tableId == 0x40) {
            for (const CDVBDescriptor* descriptor : static_cast<CDVBNITSection*>(section)->m_descriptors)
                if (const auto* name = dynamic_cast<const CDVBNetworkNameDescriptor*>(descriptor))
                    m_networkName = name->m_networkName;
        } else if (section->m_type == CDVBSISection::TypeEIT && section->m_tableId == 0x4E) {
            m_presentFollowing.insert({section->m_tableIdExtension, section->m_sectionNumber});
            m_lastPresentFollowing[section->m_tableIdExtension] = section->m_lastSectionNumber;
        }
    }
    CDVBTransportStreamReceiver::OnSectionUpdate(pid, section);
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
}

bool CServiceScanReceiver::GetNetwork(WORD& originalNetworkId, CString& name)
{
    std::lock_guard<std::mutex> guard(m_lock);
    originalNetworkId = m_originalNetworkId;
    name = m_networkName;
    return m_sdtSeen;
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
    for (WORD service : m_sdtServices) {
        const auto last = m_lastPresentFollowing.find(service);
        if (last == m_lastPresentFollowing.end() || !m_presentFollowing.count({service, 0}))
            return false;
        if (last->second >= 1 && !m_presentFollowing.count({service, 1}))
            return false;
    }
    return true;
}
