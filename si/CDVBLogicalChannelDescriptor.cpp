#include "si/CDVBLogicalChannelDescriptor.h"

#include "si/CDVBDescriptorList.h"
#include "si/CDVBPrivateDataDescriptor.h"

namespace {

bool ReadEntries(CDVBByteReader& reader, std::vector<CDVBLogicalChannelDescriptor::Raw>& entries)
{
    WORD serviceId = 0, field = 0;
    while (reader.Remaining() >= 4) {
        if (!reader.ReadWord(serviceId) || !reader.ReadWord(field))
            return false;
        entries.push_back({serviceId, field});
    }
    return reader.Remaining() == 0;
}

}   // namespace

bool CDVBLogicalChannelDescriptor::Parse(CDVBByteReader payload)
{
    if (m_tag != NorDigTag)
        return ReadEntries(payload, m_entries);
    // channel_list_id, name, country_code, then its own loop of entries; the first list only
    BYTE id = 0, nameLength = 0, length = 0;
    CDVBByteReader name, country, list;
    if (!payload.ReadByte(id) || !payload.ReadByte(nameLength) || !payload.Split(nameLength, name) ||
        !payload.Split(3, country) || !payload.ReadByte(length) || !payload.Split(length, list))
        return false;
    return ReadEntries(list, m_entries);
}

void CDVBLogicalChannelDescriptor::CopyFrom(const CDVBDescriptor* source)
{
    CDVBDescriptor::CopyFrom(source);
    m_entries = static_cast<const CDVBLogicalChannelDescriptor*>(source)->m_entries;
}

std::vector<CDVBLogicalChannelDescriptor::Entry> CDVBLogicalChannelDescriptor::Collect(const CDVBDescriptorList& loop)
{
    using Specifier = CDVBPrivateDataDescriptor;
    std::vector<Entry> entries;
    DWORD specifier = 0;
    for (const CDVBDescriptor* descriptor : loop) {
        if (descriptor->m_tag == Specifier::Tag) {
            specifier = static_cast<const Specifier*>(descriptor)->m_specifier;
            continue;
        }
        if (descriptor->m_tag != Tag && descriptor->m_tag != NorDigTag)
            continue;
        const bool nordig = specifier == Specifier::NorDig;
        if (descriptor->m_tag == NorDigTag ? specifier != 0 && !nordig
                                           : specifier != 0 && !nordig && specifier != Specifier::EACEM &&
                                                 specifier != Specifier::DTG && specifier != Specifier::FreeTVAustralia)
            continue;   // another owner's descriptor that happens to share the tag
        // NorDig's first version has 14-bit numbers; EACEM's and NorDig's second, 10 bits
        const WORD mask = nordig && descriptor->m_tag == Tag ? 0x3FFF : 0x03FF;
        for (const Raw& raw : static_cast<const CDVBLogicalChannelDescriptor*>(descriptor)->m_entries)
            entries.push_back({raw.serviceId, (raw.field & 0x8000) != 0, WORD(raw.field & mask)});
    }
    return entries;
}
