#pragma once
// The teletext lines one PES packet of a teletext component carries (EBU data in its data
// units): each line's 42 bytes (magazine and row address, then data) in the order they were
// broadcast, the first bit sent in bit 0, as teletext decoders take them. Bytes past a
// truncated or damaged unit are not read.
#include "platform/LUMTypes.h"

#include <functional>

struct CDVBTeletextLine
{
    BYTE data[42];
    bool subtitle;      // carried as a subtitle data unit
    bool secondField;
    int lineOffset;     // within the field, 7 to 22 (0: not said)
};

class CDVBTeletextDataUnits
{
public:
    // `data` starts at the data_identifier, right after the PES header. False when it is not
    // EBU teletext data; true with each line given to `line`, stuffing and other units passed over.
    static bool Read(const BYTE* data, DWORD size, const std::function<void(const CDVBTeletextLine&)>& line);
};
