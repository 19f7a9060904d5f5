#pragma once
// The descriptors of one descriptor loop, in loop order; the list owns them.
#include "si/CDVBDescriptor.h"
#include "core/CDVBOwningList.h"

class CDVBDescriptorList : public CDVBOwningList<CDVBDescriptor>
{
public:
    // Appends the loop's descriptors. False when a descriptor claims more bytes than the
    // loop has left; the descriptors before it stay.
    bool Parse(const BYTE* loop, WORD length);
    CDVBDescriptor* FindDescriptor(BYTE tag) const;
    void CopyFrom(const CDVBDescriptorList& source);
};
