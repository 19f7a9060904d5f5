#pragma once
// A receiver that also knows when the basic service information of its stream is
// complete: the PAT, every PMT it names, the SDT of the actual stream, the actual NIT when
// the PAT names its PID, and the present
// and following EIT sections (an empty one counts) of every service in that SDT. A scan
// wants its answer soon, not its CPU spared: it asks for millisecond notifications, so
// the receive thread reads every millisecond.
#include "receiver/CDVBTransportStreamReceiver.h"
#include "platform/CEvent.h"
#include "si/CDVBTableListener.h"

#include <map>
#include <mutex>
#include <set>
#include <utility>

class CServiceScanReceiver : public CDVBTransportStreamReceiver, private CDVBTableListener
{
public:
    CServiceScanReceiver(CDVBTransportStreamSource* source, CDVBTransportStreamUpdateHandler* updateHandler);

    bool IsComplete();
    // The original_network_id of the actual SDT and the name of the actual NIT, as they came.
    bool GetNetwork(WORD& originalNetworkId, CString& name);
    // Set whenever a table arrives: a waiting host looks again.
    CEvent& SectionEvent() { return m_sectionEvent; }

private:
    void OnReceiveSDT(WORD pid, CDVBSDTSection* section) override;
    void OnReceiveNIT(WORD pid, CDVBNITSection* section) override;
    void OnReceiveEIT(WORD pid, CDVBEITSection* section) override;
    void OnReceivePAT(WORD pid, CDVBPATSection* section) override;
    void OnReceivePMT(WORD, CDVBPMTSection*) override { m_sectionEvent.Set(); }
    void OnReceiveTDT(WORD, CDVBTDTSection*) override { m_sectionEvent.Set(); }
    void OnReceiveTOT(WORD, CDVBTOTSection*) override { m_sectionEvent.Set(); }

    std::mutex m_lock;
    bool m_sdtSeen = false;
    WORD m_originalNetworkId = 0;
    CString m_networkName;
    bool m_networkNamed = false;   // the PAT names the NIT's PID
    std::set<BYTE> m_nitSections;  // of the actual NIT
    int m_nitLastSection = -1;
    std::set<WORD> m_sdtServices;
    std::map<WORD, BYTE> m_lastPresentFollowing;          // service -> last_section_number
    std::set<std::pair<WORD, BYTE>> m_presentFollowing;   // service, section
    CEvent m_sectionEvent{false, false};
};
