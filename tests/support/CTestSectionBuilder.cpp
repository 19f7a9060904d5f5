#include "tests/support/CTestSectionBuilder.h"

#include "si/CalculateCRC32.h"

#include <algorithm>

using B = CTestSectionBuilder;

Bytes B::Long(BYTE tableId, WORD extension, BYTE version, BYTE sectionNumber, BYTE lastSectionNumber,
              const Bytes& body, bool currentNext)
{
    Bytes section = Cat({{tableId}, Word(body.size() + 9, 0xB0), Word(extension),
                         {BYTE(0xC0 | ((version & 0x1F) << 1) | (currentNext ? 1 : 0)), sectionNumber, lastSectionNumber},
                         body, Bytes(4, 0)});
    FixCRC(section);
    return section;
}

void B::FixCRC(Bytes& section)
{
    const std::size_t covered = section.size() - 4;
    const DWORD crc = CalculateCRC32(section.data(), int(covered));
    for (std::size_t i = 0; i < 4; ++i)
        section[covered + i] = BYTE(crc >> (24 - 8 * i));
}

Bytes B::PATBody(const std::vector<std::pair<WORD, WORD>>& programs)
{
    Bytes body;
    for (const auto& [number, pid] : programs)
        Append(body, Cat({Word(number), Word(pid, 0xE0)}));
    return body;
}

Bytes B::EITEvent(WORD eventId, WORD mjd, DWORD startBcd, DWORD durationBcd, const Bytes& descriptors)
{
    return Cat({Word(eventId), Word(mjd), {BYTE(startBcd >> 16)}, Word(startBcd & 0xFFFF), {BYTE(durationBcd >> 16)},
                Word(durationBcd & 0xFFFF), Word(descriptors.size(), 0x80), descriptors});
}

Bytes B::Cat(std::initializer_list<Bytes> parts)
{
    Bytes joined;
    for (const Bytes& part : parts)
        Append(joined, part);
    return joined;
}

std::vector<Bytes> B::Packetise(WORD pid, const Bytes& section, BYTE& continuityCounter)
{
    std::vector<Bytes> packets;
    for (std::size_t offset = 0; offset < section.size() || packets.empty();) {
        const bool first = packets.empty();
        Bytes packet = Cat({{0x47}, Word(pid, first ? 0x40 : 0), {BYTE(0x10 | (continuityCounter++ & 0x0F))}});
        if (first)
            packet.push_back(0);   // pointer_field
        const std::size_t n = std::min(section.size() - offset, 188 - packet.size());
        packet.insert(packet.end(), section.begin() + std::ptrdiff_t(offset), section.begin() + std::ptrdiff_t(offset + n));
        packet.resize(188, 0xFF);
        packets.push_back(packet);
        offset += n;
    }
    return packets;
}
