#pragma once
// Program association section (table_id 0x00): the programs of the stream and the PIDs
// of their program maps.
#include "core/CDVBOwningList.h"
#include "si/CDVBPATEntry.h"
#include "si/CDVBSISection.h"

class CDVBPATSection : public CDVBSISection
{
public:
    CDVBPATSection() { m_type = TypePAT; }
    bool ParseBody(CDVBByteReader reader) override;

    CDVBOwningVector<CDVBPATEntry> m_entries;
};
