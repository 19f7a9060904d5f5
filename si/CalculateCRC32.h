#pragma once
// The CRC-32 of MPEG-2 sections (polynomial 0x04C11DB7, MSB first, preset 0xFFFFFFFF, no
// reflection, no final inversion). Over a whole intact section, CRC field included, it
// is 0.
#include "platform/LUMTypes.h"

DWORD CalculateCRC32(const BYTE* data, int length);
