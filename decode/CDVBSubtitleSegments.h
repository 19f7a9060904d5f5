#pragma once
// The segments of one DVB subtitle PES packet (the bytes after its PES header: data
// identifier 0x20, stream id 0, then segments of sync byte 0x0F, type, page id and length,
// ended by 0xFF). Select keeps the whole segments of a service's composition and ancillary
// pages, in order, as a subtitle decoder takes them; a segment cut short ends the packet.
#include "platform/LUMTypes.h"

#include <vector>

class CDVBSubtitleSegments
{
public:
    static constexpr int kAnyPage = -1;

    struct Selection
    {
        int kept = 0;        // segments copied
        int skipped = 0;     // of other pages
        bool cut = false;    // the last segment ran past the data, or the sync was lost
        int firstPage = -1;  // the page of the first whole segment, -1 without one
    };

    // False, with `out` empty, when the data is not DVB subtitle data.
    static bool Select(const BYTE* data, DWORD size, int compositionPage, int ancillaryPage, std::vector<BYTE>& out,
                       Selection& selection);
};
