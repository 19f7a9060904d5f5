#pragma once
// The descriptors of one descriptor loop, in loop order; the list owns them.
#include "core/CDVBOwningList.h"
#include "core/CSmallBlockCache.h"
#include "si/CDVBDescriptor.h"

#include <list>

class CDVBDescriptorList
    : public CDVBOwningList<CDVBDescriptor, std::list<CDVBDescriptor*, CSmallBlockCache::Allocator<CDVBDescriptor*>>>
{
public:
    // Appends the loop's descriptors. False when a descriptor claims more bytes than the
    // loop has left: the loop ends there, the descriptors before it stay.
    bool Parse(CDVBByteReader loop);
    CDVBDescriptor* FindDescriptor(BYTE tag) const;
    void CopyFrom(const CDVBDescriptorList& source);
};
