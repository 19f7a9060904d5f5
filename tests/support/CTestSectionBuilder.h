#pragma once
// Sections and descriptors for corner cases no tool makes, and their packetisation.
// Lengths and the CRC are computed unless a test asks for a lie.
#include "platform/LUMTypes.h"

#include <string>
#include <vector>

using Bytes = std::vector<BYTE>;

class CTestSectionBuilder
{
public:
    // A long-form section around `body` (the bytes after last_section_number), with the
    // right section_length and CRC_32.
    static Bytes Long(BYTE tableId, WORD extension, BYTE version, BYTE sectionNumber, BYTE lastSectionNumber,
                      const Bytes& body, bool currentNext = true);
    // A short-form section around `body` (everything after section_length).
    static Bytes Short(BYTE tableId, const Bytes& body);
    // Recomputes the CRC of a long-form section after a test changed its bytes.
    static void FixCRC(Bytes& section);

    static Bytes Descriptor(BYTE tag, const Bytes& payload);
    static Bytes Text(const std::string& text);   // the bytes of `text`, as they are
    static Bytes Counted(const std::string& text);   // length byte, then the bytes
    static Bytes ServiceDescriptor(BYTE type, const std::string& provider, const std::string& name);
    static Bytes ShortEventDescriptor(const std::string& language, const std::string& name, const std::string& text);
    static Bytes LanguageDescriptor(const std::string& language, BYTE audioType = 0);

    static Bytes PATBody(const std::vector<std::pair<WORD, WORD>>& programs);   // number, PID
    // An elementary stream of a PMT: type, PID, descriptors.
    static Bytes PMTStream(BYTE streamType, WORD pid, const Bytes& descriptors = {});
    static Bytes PMTBody(WORD pcrPid, const Bytes& programDescriptors, const Bytes& streams);
    static Bytes SDTService(WORD serviceId, BYTE runningStatus, bool freeCa, const Bytes& descriptors);
    static Bytes SDTBody(WORD originalNetworkId, const Bytes& services);
    static Bytes EITEvent(WORD eventId, WORD mjd, DWORD startBcd, DWORD durationBcd, const Bytes& descriptors);
    static Bytes EITBody(WORD tsid, WORD onid, const Bytes& events);

    // Joins byte sequences.
    static Bytes Cat(std::initializer_list<Bytes> parts);
    static void Append(Bytes& to, const Bytes& more);

    // Transport packets of `pid` carrying `section` from a pointer_field of 0, 0xFF stuffed.
    static std::vector<Bytes> Packetise(WORD pid, const Bytes& section, BYTE& continuityCounter);
};
