#pragma once
// Sections and descriptors for corner cases no tool makes, their packetisation and parsing.
// Lengths and the CRC are computed unless a test asks for a lie.
#include "platform/LUMTypes.h"

#include <memory>
#include <string>
#include <vector>

using Bytes = std::vector<BYTE>;

class CTestSectionBuilder
{
public:
    // A long-form section around `body` (the bytes after last_section_number).
    static Bytes Long(BYTE tableId, WORD extension, BYTE version, BYTE sectionNumber, BYTE lastSectionNumber,
                      const Bytes& body, bool currentNext = true)
    {
        const BYTE flags = BYTE(0xC0 | ((version & 0x1F) << 1) | (currentNext ? 1 : 0));
        Bytes section = Cat({{tableId}, Word(body.size() + 9, 0xB0), Word(extension),
                             {flags, sectionNumber, lastSectionNumber}, body, Bytes(4, 0)});
        FixCRC(section);
        return section;
    }
    // Everything after section_length is `body`.
    static Bytes Short(BYTE tableId, const Bytes& body) { return Cat({{tableId}, Word(body.size(), 0x70), body}); }
    static void FixCRC(Bytes& section);   // after a test changed a long-form section's bytes

    static Bytes Descriptor(BYTE tag, const Bytes& payload) { return Cat({{tag, BYTE(payload.size())}, payload}); }
    static Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }
    static Bytes Counted(const std::string& text) { return Cat({{BYTE(text.size())}, Text(text)}); }
    static Bytes ServiceDescriptor(BYTE type, const std::string& provider, const std::string& name)
    {
        return Descriptor(0x48, Cat({{type}, Counted(provider), Counted(name)}));
    }
    static Bytes ShortEventDescriptor(const std::string& language, const std::string& name, const std::string& text)
    {
        return Descriptor(0x4D, Cat({Text(language), Counted(name), Counted(text)}));
    }
    static Bytes LanguageDescriptor(const std::string& language, BYTE audioType = 0)
    {
        return Descriptor(0x0A, Cat({Text(language), {audioType}}));
    }

    static Bytes PATBody(const std::vector<std::pair<WORD, WORD>>& programs)   // number, PID
    {
        Bytes body;
        for (const auto& [number, pid] : programs)
            Append(body, Cat({Word(number), Word(pid, 0xE0)}));
        return body;
    }
    static Bytes PMTStream(BYTE streamType, WORD pid, const Bytes& descriptors = {})
    {
        return Cat({{streamType}, Word(pid, 0xE0), Word(descriptors.size(), 0xF0), descriptors});
    }
    static Bytes PMTBody(WORD pcrPid, const Bytes& programDescriptors, const Bytes& streams)
    {
        return Cat({Word(pcrPid, 0xE0), Word(programDescriptors.size(), 0xF0), programDescriptors, streams});
    }
    static Bytes SDTService(WORD serviceId, BYTE runningStatus, bool freeCa, const Bytes& descriptors)
    {
        const BYTE flags = BYTE((runningStatus << 5) | (freeCa ? 0x10 : 0));
        return Cat({Word(serviceId), {0xFD}, Word(descriptors.size(), flags), descriptors});
    }
    static Bytes SDTBody(WORD onid, const Bytes& services) { return Cat({Word(onid), {0xFF}, services}); }
    static Bytes EITEvent(WORD eventId, WORD mjd, DWORD startBcd, DWORD durationBcd, const Bytes& descriptors)
    {
        return Cat({Word(eventId), Word(mjd), {BYTE(startBcd >> 16)}, Word(startBcd & 0xFFFF), {BYTE(durationBcd >> 16)},
                    Word(durationBcd & 0xFFFF), Word(descriptors.size(), 0x80), descriptors});
    }
    static Bytes EITBody(WORD tsid, WORD onid, const Bytes& events)   // last_table_id 0x4E
    {
        return Cat({Word(tsid), Word(onid), {0x00, 0x4E}, events});
    }

    static Bytes Cat(std::initializer_list<Bytes> parts)
    {
        Bytes joined;
        for (const Bytes& part : parts)
            Append(joined, part);
        return joined;
    }
    static void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

    // Transport packets of `pid` carrying `section` from a pointer_field of 0, 0xFF stuffed.
    static std::vector<Bytes> Packetise(WORD pid, const Bytes& section, BYTE& continuityCounter);

private:
    // A 16-bit field, `high` in the bits above a 12- or 13-bit value.
    static Bytes Word(std::size_t value, BYTE high = 0) { return {BYTE(high | (value >> 8)), BYTE(value)}; }
};

// Parses section bytes into a section class from a copy of exactly their size, so the sanitizer
// run catches a read one byte past the end. Null when Parse refuses.
template <typename Section>
std::unique_ptr<Section> ParseSection(Bytes exact)
{
    auto section = std::make_unique<Section>();
    return section->Parse(exact.data(), DWORD(exact.size())) ? std::move(section) : nullptr;
}
