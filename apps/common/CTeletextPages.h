#pragma once
// The teletext pages of one component as libzvbi keeps them: lines go in as they come (any
// thread), a page comes out as UTF-8 text rows, national characters and all. Page numbers
// are as people say them: 100 to 899.
#include "decode/CDVBTeletextDataUnits.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct vbi_decoder;
struct vbi_event;

class CTeletextPages
{
public:
    CTeletextPages();
    ~CTeletextPages();
    CTeletextPages(const CTeletextPages&) = delete;
    CTeletextPages& operator=(const CTeletextPages&) = delete;

    // The lines of one PES packet.
    void Decode(const CDVBTeletextLine* lines, int count);
    // Takes the next packet's presentation time (-1: none) and gives the 90 kHz since the
    // first, counted in the packets' steps: a jump or a damaged time stamp counts as a frame.
    long long Advance(long long presentationTime);
    // Times `page` was received whole (any subpage).
    int GetTransmissions(int page) const;
    // The first page to come whole with the subtitle flag; 0 before one has.
    int GetFirstSubtitlePage() const;
    // The page as last received: rows 0 (the header) to 24, without trailing spaces, and
    // which subpage it is (0: none). False before it has come.
    bool GetPage(int page, std::vector<std::string>& rows, int& subpage);
    // The page drawn as teletext draws it, 12 x 10 pixels a character (libzvbi's 41 x 25), in
    // straight-alpha RGBA; `subpage` 0 for the last received, else that one. As subtitles,
    // only the boxed text is opaque, the header row and the rest see-through. False before
    // it has come (or, as subtitles, when nothing on it is shown).
    bool DrawPage(int page, int subpage, bool asSubtitles, std::vector<std::uint8_t>& rgba, int& width, int& height);
    // The subpages of `page` received, in order (empty for a page without any).
    std::vector<int> GetSubpages(int page) const;
    // The pages its red, green, yellow and blue links lead to (0: none), as the page says.
    bool GetLinks(int page, int links[4]);

private:
    static void OnEvent(vbi_event* event, void* self);

    mutable std::mutex m_lock;
    vbi_decoder* m_decoder = nullptr;
    std::vector<int> m_transmissions = std::vector<int>(0x900, 0);   // by BCD page number
    std::vector<int> m_arrived;   // BCD page numbers in the order they first came whole
    std::vector<bool> m_subtitle = std::vector<bool>(0x900, false);   // a header with the subtitle flag came
    double m_time = 0;   // seconds, for libzvbi: a frame a packet
    long long m_last = -1;
    long long m_elapsed = 0;
};
