#pragma once
// Service description section (0x42 actual, 0x46 other transport stream): each service's
// descriptors (name, provider, type), running status and scrambling. The
// transport_stream_id is m_tableIdExtension.
#include "core/CDVBOwningList.h"
#include "si/CDVBSDTEntry.h"
#include "si/CDVBSISection.h"

class CDVBSDTSection : public CDVBSISection
{
public:
    CDVBSDTSection() { m_type = TypeSDT; }
    bool ParseBody(CDVBByteReader reader) override;

    WORD m_originalNetworkId = 0;
    BYTE m_reserved = 0;
    CDVBOwningVector<CDVBSDTEntry> m_entries;
};
