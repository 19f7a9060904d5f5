#include "tests/support/CTestSectionBuilder.h"

#include "si/CalculateCRC32.h"

#include <algorithm>

Bytes CTestSectionBuilder::Long(BYTE tableId, WORD extension, BYTE version, BYTE sectionNumber,
                                BYTE lastSectionNumber, const Bytes& body, bool currentNext)
{
    const std::size_t sectionLength = body.size() + 9;
    Bytes section = {tableId, BYTE(0xB0 | ((sectionLength >> 8) & 0x0F)), BYTE(sectionLength),
                     BYTE(extension >> 8), BYTE(extension), BYTE(0xC0 | ((version & 0x1F) << 1) | (currentNext ? 1 : 0)),
                     sectionNumber, lastSectionNumber};
    Append(section, body);
    section.insert(section.end(), 4, 0);
    FixCRC(section);
    return section;
}

Bytes CTestSectionBuilder::Short(BYTE tableId, const Bytes& body)
{
    Bytes section = {tableId, BYTE(0x70 | ((body.size() >> 8) & 0x0F)), BYTE(body.size())};
    Append(section, body);
    return section;
}

void CTestSectionBuilder::FixCRC(Bytes& section)
{
    const std::size_t covered = section.size() - 4;
    const DWORD crc = CalculateCRC32(section.data(), int(covered));
    section[covered] = BYTE(crc >> 24);
    section[covered + 1] = BYTE(crc >> 16);
    section[covered + 2] = BYTE(crc >> 8);
    section[covered + 3] = BYTE(crc);
}

Bytes CTestSectionBuilder::Descriptor(BYTE tag, const Bytes& payload)
{
    Bytes descriptor = {tag, BYTE(payload.size())};
    Append(descriptor, payload);
    return descriptor;
}

Bytes CTestSectionBuilder::Text(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

Bytes CTestSectionBuilder::Counted(const std::string& text)
{
    Bytes counted = {BYTE(text.size())};
    Append(counted, Text(text));
    return counted;
}

Bytes CTestSectionBuilder::ServiceDescriptor(BYTE type, const std::string& provider, const std::string& name)
{
    return Descriptor(0x48, Cat({{type}, Counted(provider), Counted(name)}));
}

Bytes CTestSectionBuilder::ShortEventDescriptor(const std::string& language, const std::string& name,
                                                const std::string& text)
{
    return Descriptor(0x4D, Cat({Text(language), Counted(name), Counted(text)}));
}

Bytes CTestSectionBuilder::LanguageDescriptor(const std::string& language, BYTE audioType)
{
    return Descriptor(0x0A, Cat({Text(language), {audioType}}));
}

Bytes CTestSectionBuilder::PATBody(const std::vector<std::pair<WORD, WORD>>& programs)
{
    Bytes body;
    for (const auto& [number, pid] : programs)
        Append(body, {BYTE(number >> 8), BYTE(number), BYTE(0xE0 | (pid >> 8)), BYTE(pid)});
    return body;
}

Bytes CTestSectionBuilder::PMTStream(BYTE streamType, WORD pid, const Bytes& descriptors)
{
    return Cat({{streamType, BYTE(0xE0 | (pid >> 8)), BYTE(pid), BYTE(0xF0 | (descriptors.size() >> 8)),
                 BYTE(descriptors.size())},
                descriptors});
}

Bytes CTestSectionBuilder::PMTBody(WORD pcrPid, const Bytes& programDescriptors, const Bytes& streams)
{
    return Cat({{BYTE(0xE0 | (pcrPid >> 8)), BYTE(pcrPid), BYTE(0xF0 | (programDescriptors.size() >> 8)),
                 BYTE(programDescriptors.size())},
                programDescriptors, streams});
}

Bytes CTestSectionBuilder::SDTService(WORD serviceId, BYTE runningStatus, bool freeCa, const Bytes& descriptors)
{
    const std::size_t n = descriptors.size();
    return Cat({{BYTE(serviceId >> 8), BYTE(serviceId), 0xFD,
                 BYTE((runningStatus << 5) | (freeCa ? 0x10 : 0) | ((n >> 8) & 0x0F)), BYTE(n)},
                descriptors});
}

Bytes CTestSectionBuilder::SDTBody(WORD originalNetworkId, const Bytes& services)
{
    return Cat({{BYTE(originalNetworkId >> 8), BYTE(originalNetworkId), 0xFF}, services});
}

Bytes CTestSectionBuilder::EITEvent(WORD eventId, WORD mjd, DWORD startBcd, DWORD durationBcd,
                                    const Bytes& descriptors)
{
    const std::size_t n = descriptors.size();
    return Cat({{BYTE(eventId >> 8), BYTE(eventId), BYTE(mjd >> 8), BYTE(mjd), BYTE(startBcd >> 16),
                 BYTE(startBcd >> 8), BYTE(startBcd), BYTE(durationBcd >> 16), BYTE(durationBcd >> 8),
                 BYTE(durationBcd), BYTE(0x80 | ((n >> 8) & 0x0F)), BYTE(n)},
                descriptors});
}

Bytes CTestSectionBuilder::EITBody(WORD tsid, WORD onid, const Bytes& events)
{
    return Cat({{BYTE(tsid >> 8), BYTE(tsid), BYTE(onid >> 8), BYTE(onid), 0x00, 0x4E}, events});
}

Bytes CTestSectionBuilder::Cat(std::initializer_list<Bytes> parts)
{
    Bytes joined;
    for (const Bytes& part : parts)
        Append(joined, part);
    return joined;
}

void CTestSectionBuilder::Append(Bytes& to, const Bytes& more)
{
    to.insert(to.end(), more.begin(), more.end());
}

std::vector<Bytes> CTestSectionBuilder::Packetise(WORD pid, const Bytes& section, BYTE& continuityCounter)
{
    std::vector<Bytes> packets;
    std::size_t offset = 0;
    bool first = true;
    while (offset < section.size() || first) {
        Bytes packet(188, 0xFF);
        packet[0] = 0x47;
        packet[1] = BYTE((first ? 0x40 : 0) | (pid >> 8));
        packet[2] = BYTE(pid);
        packet[3] = BYTE(0x10 | (continuityCounter++ & 0x0F));
        std::size_t at = 4;
        if (first)
            packet[at++] = 0;   // pointer_field
        const std::size_t n = std::min(section.size() - offset, packet.size() - at);
        std::copy_n(section.begin() + std::ptrdiff_t(offset), n, packet.begin() + std::ptrdiff_t(at));
        offset += n;
        packets.push_back(packet);
        first = false;
    }
    return packets;
}
