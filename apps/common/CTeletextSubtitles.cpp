#include "CTeletextSubtitles.h"


#include <algorithm>
#include <cstring>

CDVBPIDReceiver* CTeletextSubtitles::MakeReceiver()
{
    m_receiver = new CDVBTeletextReceiver([this](const CDVBTeletextLine* lines, int count, long long presentationTime) {
        OnLines(lines, count, presentationTime);
    });
    return m_receiver;
}

void CTeletextSubtitles::OnLines(const CDVBTeletextLine* lines, int count, long long presentationTime)
{
    m_pages.Decode(lines, count);
    if (m_page == 0)
        m_page = m_pages.GetFirstSubtitlePage();
    const int transmissions = m_page ? m_pages.GetTransmissions(m_page) : 0;
    if (transmissions == m_seen || presentationTime < 0)
        return;
    m_seen = transmissions;
    CDVBSubtitleCue page;
    page.start = presentationTime;
    std::vector<std::uint8_t> rgba;
    int width = 0, height = 0;
    if (!m_pages.DrawPage(m_page, 0, true, rgba, width, height)) {
        if (m_showing)
            m_layer.Show(page);   // cleared
        m_showing = false;
        return;
    }
    // only the rows with text: less to blend into every picture
    int top = height, bottom = 0, left = width, right = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (rgba[(std::size_t(y) * width + x) * 4 + 3]) {
                top = std::min(top, y);
                bottom = std::max(bottom, y + 1);
                left = std::min(left, x);
                right = std::max(right, x + 1);
            }
    page.frameWidth = width;
    page.frameHeight = height;
    page.x = left;
    page.y = top;
    page.width = right - left;
    page.height = bottom - top;
    page.rgba.resize(std::size_t(page.width) * page.height * 4);
    for (int y = 0; y < page.height; ++y)
        std::memcpy(page.rgba.data() + std::size_t(y) * page.width * 4, rgba.data() + ((std::size_t(top + y) * width) + left) * 4,
                    std::size_t(page.width) * 4);
    m_layer.Show(std::move(page));
    m_showing = true;
}
