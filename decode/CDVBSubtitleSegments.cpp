#include "decode/CDVBSubtitleSegments.h"

bool CDVBSubtitleSegments::Select(const BYTE* data, DWORD size, int compositionPage, int ancillaryPage,
                                  std::vector<BYTE>& out, Selection& selection)
{
    out.clear();
    selection = Selection();
    if (size < 2 || data[0] != 0x20 || data[1] != 0x00)
        return false;
    DWORD at = 2;
    while (at < size && data[at] == 0x0F) {
        if (size - at < 6) {
            selection.cut = true;
            break;
        }
        const int page = data[at + 2] << 8 | data[at + 3];
        const DWORD length = 6 + (DWORD(data[at + 4]) << 8 | data[at + 5]);
        if (size - at < length) {
            selection.cut = true;
            break;
        }
        if (selection.firstPage < 0)
            selection.firstPage = page;
        if (compositionPage == kAnyPage || page == compositionPage || page == ancillaryPage) {
            out.insert(out.end(), data + at, data + at + length);
            ++selection.kept;
        } else {
            ++selection.skipped;
        }
        at += length;
    }
    if (at < size && data[at] != 0xFF)
        selection.cut = true;   // neither a segment nor the end marker: the rest is not read
    return true;
}
