#include "model/CDVBTransportStream.h"

#include "si/CDVBNITEntry.h"
#include "si/CDVBTerrestrialDeliverySystemDescriptor.h"

CDVBTransportStream::CDVBTransportStream(const CDVBTransportStream& other)
{
    *this = other;
}

CDVBTransportStream& CDVBTransportStream::operator=(const CDVBTransportStream& other)
{
    if (this == &other)
        return *this;
    m_transportStreamId = other.m_transportStreamId;
    m_receivedPAT = other.m_receivedPAT;
    m_receivedNIT = other.m_receivedNIT;
    m_originalNetworkId = other.m_originalNetworkId;
    m_hasTerrestrialDelivery = other.m_hasTerrestrialDelivery;
    m_receivedSDT = other.m_receivedSDT;
    delete m_terrestrialDelivery;
    m_terrestrialDelivery = nullptr;
    if (other.m_terrestrialDelivery) {   // a copy owns a copy of its own
        m_terrestrialDelivery = new CDVBTerrestrialDeliverySystemDescriptor;
        m_terrestrialDelivery->CopyFrom(other.m_terrestrialDelivery);
    }
    return *this;
}

CDVBTransportStream::~CDVBTransportStream()
{
    delete m_terrestrialDelivery;
}

void CDVBTransportStream::OnReceiveNIT(CDVBNITSection*, CDVBNITEntry* entry)
{
    m_receivedNIT = true;
    m_originalNetworkId = entry->m_originalNetworkId;
    for (const CDVBDescriptor* descriptor : entry->m_descriptors) {
        if (descriptor->m_tag != CDVBTerrestrialDeliverySystemDescriptor::Tag)
            continue;
        if (m_terrestrialDelivery == nullptr)
            m_terrestrialDelivery = new CDVBTerrestrialDeliverySystemDescriptor;
        m_terrestrialDelivery->CopyFrom(descriptor);   // the last in the loop wins
        m_hasTerrestrialDelivery = true;
    }
}
