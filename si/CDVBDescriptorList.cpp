#include "si/CDVBDescriptorList.h"

bool CDVBDescriptorList::Parse(const BYTE* loop, WORD length)
{
    WORD remaining = length;
    const BYTE* cursor = loop;
    while (remaining >= 2) {   // one stray byte at the end is not a descriptor
        const BYTE tag = cursor[0];
        const BYTE descriptorLength = cursor[1];
        cursor += 2;
        remaining = WORD(remaining - 2);
        if (descriptorLength > remaining)
            return false;
        CDVBDescriptor* descriptor = CDVBDescriptor::CreateDescriptor(tag);
        descriptor->m_tag = tag;
        descriptor->m_length = descriptorLength;
        descriptor->Parse(cursor);   // kept with what it decoded, whatever it says
        push_back(descriptor);
        cursor += descriptorLength;
        remaining = WORD(remaining - descriptorLength);
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

