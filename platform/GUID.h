#pragma once
// A 128-bit identifier, compared byte for byte.
#include "platform/LUMTypes.h"

#include <cstring>

struct GUID
{
    DWORD Data1 = 0;
    WORD Data2 = 0;
    WORD Data3 = 0;
    BYTE Data4[8] = {};
};

static_assert(sizeof(GUID) == 16, "GUID must be 16 bytes with no padding");

inline bool operator==(const GUID& a, const GUID& b)
{
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

inline bool operator!=(const GUID& a, const GUID& b)
{
    return !(a == b);
}
