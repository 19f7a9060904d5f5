#include "si/CDVBDescriptorList.h"

bool CDVBDescriptorList::Parse(CDVBByteReader loop)
{
    BYTE tag = 0, length = 0;
    CDVBByteReader payload;
    // one stray byte at the end is not a descriptor
    while (loop.Remaining() >= 2 && loop.ReadByte(tag) && loop.ReadByte(length)) {
        if (!loop.Split(length, payload))
            return false;
        CDVBDescriptor* descriptor = CDVBDescriptor::CreateDescriptor(tag);
        descriptor->m_tag = tag;
        descriptor->m_length = length;
        descriptor->Parse(payload);   // kept with what it decoded, whatever it says
        push_back(descriptor);
    }
    return true;
}

CDVBDescriptor* CDVBDescriptorList::FindDescriptor(BYTE tag) const
{
    for (CDVBDescriptor* descriptor : *this)
        if (descriptor->m_tag == tag)
            return descriptor;
    return nullptr;
}

void CDVBDescriptorList::CopyFrom(const CDVBDescriptorList& source)
{
    if (&source == this)
        return;
    DeleteAll();
    for (const CDVBDescriptor* descriptor : source)
        push_back(descriptor->Clone());
}

