#include "modules/inputs/dvb/CLinuxDVBScanReceiver.h"

#include "si/CDVBNITSection.h"
#include "si/CDVBNetworkNameDescriptor.h"
#include "si/CDVBSDTSection.h"

#include <chrono>

void CLinuxDVBScanReceiver::OnReceiveNIT(WORD, CDVBNITSection* section)
{
    if (section->m_tableId == 0x40) {
        const auto* name = dynamic_cast<const CDVBNetworkNameDescriptor*>(section->m_descriptors.FindDescriptor(0x40));
        std::lock_guard<std::mutex> guard(m_lock);
        if (name && !name->m_networkName.IsEmpty()) {
            m_networkName = name->m_networkName.Str();
            m_hasNetworkName = true;
        }
    }
    m_changed.Set();
}

void CLinuxDVBScanReceiver::OnReceiveSDT(WORD, CDVBSDTSection* section)
{
    if (section->m_tableId == 0x42) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_transportStreamId = section->m_tableIdExtension;
        m_originalNetworkId = section->m_originalNetworkId;
        m_hasStream = true;
    }
    m_changed.Set();
}

bool CLinuxDVBScanReceiver::WaitForNames(DWORD timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_hasNetworkName && m_hasStream)
                return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        m_changed.Wait(DWORD(left.count()));
    }
}

std::string CLinuxDVBScanReceiver::GetName()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_hasStream)
        return std::string();
    const std::string network = m_hasNetworkName ? m_networkName : "Network " + std::to_string(m_originalNetworkId);
    return network + " " + std::to_string(m_transportStreamId);
}
