#pragma once
// One transport stream the SI collector has heard of, from a PAT, an SDT or a NIT entry,
// with the terrestrial delivery parameters the NIT gave for it (a copy, owned).
#include "platform/LUMTypes.h"

class CDVBNITEntry;
class CDVBNITSection;
class CDVBPATSection;
class CDVBSDTSection;
class CDVBTerrestrialDeliverySystemDescriptor;

class CDVBTransportStream
{
public:
    explicit CDVBTransportStream(WORD transportStreamId) : m_transportStreamId(transportStreamId) {}
    CDVBTransportStream(const CDVBTransportStream& other);
    CDVBTransportStream& operator=(const CDVBTransportStream& other);
    virtual ~CDVBTransportStream();

    void OnReceivePAT(CDVBPATSection*) { m_receivedPAT = true; }
    void OnReceiveSDT(CDVBSDTSection*) { m_receivedSDT = true; }
    // The entry's original network and the last terrestrial delivery descriptor in it.
    void OnReceiveNIT(CDVBNITSection* section, CDVBNITEntry* entry);

    WORD m_transportStreamId;
    bool m_receivedPAT = false;
    bool m_receivedNIT = false;
    WORD m_originalNetworkId = 0xFFFF;   // until a NIT names it
    bool m_hasTerrestrialDelivery = false;
    CDVBTerrestrialDeliverySystemDescriptor* m_terrestrialDelivery = nullptr;
    bool m_receivedSDT = false;
};
