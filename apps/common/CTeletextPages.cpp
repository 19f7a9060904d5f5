#include "CTeletextPages.h"

#include "si/CDVBText.h"

#include <libzvbi.h>

#include <algorithm>

namespace {

constexpr int kCellWidth = 12;   // libzvbi's teletext font
constexpr int kCellHeight = 10;

int ToBcd(int page)
{
    return page >= 100 && page <= 899 ? vbi_dec2bcd(page) : -1;
}

}  // namespace

CTeletextPages::CTeletextPages() : m_decoder(vbi_decoder_new())
{
    if (m_decoder)
        vbi_event_handler_register(m_decoder, VBI_EVENT_TTX_PAGE, &CTeletextPages::OnEvent, this);
}

CTeletextPages::~CTeletextPages()
{
    if (m_decoder)
        vbi_decoder_delete(m_decoder);
}

void CTeletextPages::OnEvent(vbi_event* event, void* self)
{
    auto* pages = static_cast<CTeletextPages*>(self);   // within Decode: the lock is held
    const int page = event->ev.ttx_page.pgno;
    if (page >= 0 && page < int(pages->m_transmissions.size()) && pages->m_transmissions[std::size_t(page)]++ == 0)
        pages->m_arrived.push_back(page);
}

void CTeletextPages::Decode(const CDVBTeletextLine* lines, int count)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_decoder == nullptr || count <= 0)
        return;
    vbi_sliced sliced[64];
    int n = 0;
    for (int i = 0; i < count && n < 64; ++i, ++n) {
        // a page header: its magazine, page number and subtitle flag (C6), for the subtitle
        // pages a descriptor does not name
        const BYTE* data = lines[i].data;
        const int address = vbi_unham8(data[0]) | vbi_unham8(data[1]) << 4;
        const int units = vbi_unham8(data[2]), tens = vbi_unham8(data[3]), flags = vbi_unham8(data[7]);
        if (address >= 0 && (address >> 3) == 0 && units >= 0 && tens >= 0 && units < 10 && tens < 10 && flags >= 0) {
            const int magazine = (address & 7) ? (address & 7) : 8;
            m_subtitle[std::size_t(magazine << 8 | tens << 4 | units)] = flags & 8;
        }
        sliced[n].id = VBI_SLICED_TELETEXT_B;
        sliced[n].line = lines[i].lineOffset ? unsigned(lines[i].lineOffset + (lines[i].secondField ? 313 : 0)) : 0;
        std::copy(lines[i].data, lines[i].data + 42, sliced[n].data);
    }
    // libzvbi takes a jump in these times for lost lines and drops the pages it was
    // building: a damaged time stamp must not look like one
    m_time += 0.04;
    vbi_decode(m_decoder, sliced, n, m_time);
}

long long CTeletextPages::Advance(long long presentationTime)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (presentationTime >= 0 && m_last >= 0)
        m_elapsed += presentationTime > m_last && presentationTime - m_last <= 90000 ? presentationTime - m_last : 3600;
    if (presentationTime >= 0)
        m_last = presentationTime;
    return m_elapsed;
}

int CTeletextPages::GetTransmissions(int page) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    const int bcd = ToBcd(page);
    return bcd < 0 ? 0 : m_transmissions[std::size_t(bcd)];
}

int CTeletextPages::GetFirstSubtitlePage() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (const int page : m_arrived)
        if (m_subtitle[std::size_t(page)])
            return vbi_bcd2dec(page);
    return 0;
}

bool CTeletextPages::GetPage(int page, std::vector<std::string>& rows, int& subpage)
{
    std::lock_guard<std::mutex> guard(m_lock);
    const int bcd = ToBcd(page);
    vbi_page shown;
    if (m_decoder == nullptr || bcd < 0 || !vbi_fetch_vt_page(m_decoder, &shown, bcd, VBI_ANY_SUBNO, VBI_WST_LEVEL_2p5, 25, FALSE))
        return false;
    subpage = shown.subno == VBI_NO_SUBNO ? 0 : vbi_bcd2dec(shown.subno & 0x3F7F);
    rows.assign(std::size_t(shown.rows), std::string());
    for (int row = 0; row < shown.rows; ++row) {
        std::string& text = rows[std::size_t(row)];
        for (int column = 0; column < shown.columns; ++column) {
            const vbi_char& cell = shown.text[row * shown.columns + column];
            unsigned code = cell.unicode;
            // mosaics, what has no character of its own, and the lower half of double height
            if (code < 0x20 || (code >= 0xE000 && code <= 0xF8FF) || cell.size == VBI_DOUBLE_HEIGHT2 || cell.size == VBI_DOUBLE_SIZE2)
                code = ' ';
            CDVBText::AppendUTF8(text, char32_t(code));
        }
        text.erase(text.find_last_not_of(' ') + 1);
    }
    vbi_unref_page(&shown);
    return true;
}

bool CTeletextPages::DrawPage(int page, int subpage, bool asSubtitles, std::vector<std::uint8_t>& rgba, int& width, int& height)
{
    std::lock_guard<std::mutex> guard(m_lock);
    const int bcd = ToBcd(page);
    vbi_page shown;
    const int subno = subpage > 0 ? vbi_dec2bcd(subpage) : VBI_ANY_SUBNO;
    if (m_decoder == nullptr || bcd < 0 || !vbi_fetch_vt_page(m_decoder, &shown, bcd, subno, VBI_WST_LEVEL_2p5, 25, FALSE))
        return false;
    width = shown.columns * kCellWidth;
    height = shown.rows * kCellHeight;
    rgba.assign(std::size_t(width) * height * 4, 0);
    vbi_draw_vt_page_region(&shown, VBI_PIXFMT_RGBA32_LE, rgba.data(), width * 4, 0, 0, shown.columns, shown.rows, 1, 1);
    bool visible = !asSubtitles;
    for (int row = 0; row < shown.rows; ++row)
        for (int column = 0; column < shown.columns; ++column) {
            const vbi_opacity opacity = vbi_opacity(shown.text[row * shown.columns + column].opacity);
            const bool seen = !asSubtitles || (row > 0 && opacity != VBI_TRANSPARENT_SPACE && opacity != VBI_TRANSPARENT_FULL);
            visible = visible || seen;
            for (int y = 0; y < kCellHeight; ++y) {
                std::uint8_t* pixel = rgba.data() + ((std::size_t(row) * kCellHeight + y) * width + column * kCellWidth) * 4;
                for (int x = 0; x < kCellWidth; ++x, pixel += 4)
                    pixel[3] = seen ? 255 : 0;
            }
        }
    vbi_unref_page(&shown);
    return visible;
}

std::vector<int> CTeletextPages::GetSubpages(int page) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<int> subpages;
    const int bcd = ToBcd(page);
    if (m_decoder == nullptr || bcd < 0)
        return subpages;
    for (int subpage = 1; subpage <= 79; ++subpage) {
        vbi_page shown;
        if (vbi_fetch_vt_page(m_decoder, &shown, bcd, vbi_dec2bcd(subpage), VBI_WST_LEVEL_1, 1, FALSE)) {
            subpages.push_back(subpage);
            vbi_unref_page(&shown);
        }
    }
    return subpages;
}

bool CTeletextPages::GetLinks(int page, int links[4])
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::fill(links, links + 4, 0);
    const int bcd = ToBcd(page);
    vbi_page shown;
    if (m_decoder == nullptr || bcd < 0 || !vbi_fetch_vt_page(m_decoder, &shown, bcd, VBI_ANY_SUBNO, VBI_WST_LEVEL_1p5, 25, TRUE))
        return false;
    for (int i = 0; i < 4; ++i) {
        const int linked = shown.nav_link[i].pgno;
        links[i] = linked >= 0x100 && linked <= 0x899 ? vbi_bcd2dec(linked) : 0;
    }
    vbi_unref_page(&shown);
    return true;
}
