#pragma once
// Program map section (table_id 0x02): a program's PCR PID, its descriptors and its
// elementary streams. The program number is m_tableIdExtension.
#include "si/CDVBDescriptorList.h"
#include "core/CDVBOwningList.h"
#include "si/CDVBPMTEntry.h"
#include "si/CDVBSISection.h"

class CDVBPMTSection : public CDVBSISection
{
public:
    CDVBPMTSection() { m_type = TypePMT; }
    bool ParseBody(CDVBByteReader reader) override;

    BYTE m_reserved1 = 0;
    WORD m_pcrPid = 0;
    BYTE m_reserved2 = 0;
    WORD m_programInfoLength = 0;
    CDVBDescriptorList m_descriptors;
    CDVBOwningVector<CDVBPMTEntry> m_entries;
};
