#pragma once
// Network information section (0x40 actual, 0x41 other network): the network's
// descriptors and its transport streams with their delivery parameters. The network_id
// is m_tableIdExtension.
#include "si/CDVBDescriptorList.h"
#include "si/CDVBNITEntry.h"
#include "core/CDVBOwningList.h"
#include "si/CDVBSISection.h"

class CDVBNITSection : public CDVBSISection
{
public:
    CDVBNITSection() { m_type = TypeNIT; }
    bool ParseBody(CDVBByteReader reader) override;

    BYTE m_reserved1 = 0;
    WORD m_networkDescriptorsLength = 0;
    CDVBDescriptorList m_descriptors;
    BYTE m_reserved2 = 0;
    WORD m_transportStreamLoopLength = 0;
    CDVBOwningVector<CDVBNITEntry> m_entries;
};
