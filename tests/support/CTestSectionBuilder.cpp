#include "tests/support/CTestSectionBuilder.h"

#include "si/CalculateCRC32.h"

#include <algorithm>

void CTestSectionBuilder::FixCRC(Bytes& section)
{
    const std::size_t covered = section.size() - 4;
    const DWORD crc = CalculateCRC32(section.data(), int(covered));
    for (std::size_t i = 0; i < 4; ++i)
        section[covered + i] = BYTE(crc >> (24 - 8 * i));
}

std::vector<Bytes> CTestSectionBuilder::Packetise(WORD pid, const Bytes& section, BYTE& continuityCounter)
{
    std::vector<Bytes> packets;
    for (std::size_t offset = 0; offset < section.size() || packets.empty();) {
        const bool first = packets.empty();
        Bytes packet = Cat({{0x47}, Word(pid, first ? 0x40 : 0), {BYTE(0x10 | (continuityCounter++ & 0x0F))},
                            first ? Bytes{0} : Bytes{}});   // pointer_field
        const std::size_t n = std::min(section.size() - offset, 188 - packet.size());
        Append(packet, Bytes(section.begin() + std::ptrdiff_t(offset), section.begin() + std::ptrdiff_t(offset + n)));
        packet.resize(188, 0xFF);
        packets.push_back(packet);
        offset += n;
    }
    return packets;
}
