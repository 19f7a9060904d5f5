#pragma once
// Event information section (0x4E/0x4F present/following, 0x50-0x6F schedule): the
// events of one service (m_tableIdExtension). In present/following tables section 0 is
// the present event and section 1 the following one.
#include "si/CDVBEITEntry.h"
#include "core/CDVBOwningList.h"
#include "si/CDVBSISection.h"

class CDVBEITSection : public CDVBSISection
{
public:
    CDVBEITSection() { m_type = TypeEIT; }
    bool ParseBody(CDVBByteReader reader) override;

    WORD m_transportStreamId = 0;
    WORD m_originalNetworkId = 0;
    BYTE m_segmentLastSectionNumber = 0;
    BYTE m_lastTableId = 0;
    CDVBOwningVector<CDVBEITEntry> m_entries;
};
