#include "decode/CDVBSubtitleLayer.h"

#include <algorithm>

namespace {

constexpr long long kFarAhead = 60LL * 90000;   // a cue further ahead than this belongs to before a jump

}  // namespace

void CDVBSubtitleLayer::Show(CDVBSubtitleCue cue)
{
    auto shared = std::make_shared<const CDVBSubtitleCue>(std::move(cue));
    ++m_received;
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_cues.empty() && shared->start < m_cues.back()->start)
        m_cues.clear();   // the stream went back in time: what waited is not coming
    m_cues.push_back(std::move(shared));
    if (m_cues.size() > kWaiting)
        m_cues.pop_front();
}

void CDVBSubtitleLayer::Clear()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_cues.clear();
}

std::shared_ptr<const CDVBSubtitleCue> CDVBSubtitleLayer::GetShown(long long presentationTime)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_cues.empty() || presentationTime < 0)
        return nullptr;
    if (m_cues.front()->start > presentationTime + kFarAhead) {
        m_cues.clear();   // the pictures went back before them
        return nullptr;
    }
    // the last cue started is the one shown; those before it are done with
    while (m_cues.size() > 1 && m_cues[1]->start <= presentationTime)
        m_cues.pop_front();
    const auto& cue = m_cues.front();
    if (cue->start > presentationTime || cue->IsClear() || (cue->end >= 0 && presentationTime >= cue->end))
        return nullptr;
    return cue;
}

void CDVBSubtitleLayer::DrawIntoFrame(int width, int height, int stride, const unsigned char* rgb, const unsigned char*,
                                      const unsigned char*, long long presentationTime)
{
    if (rgb == nullptr || width <= 0 || height <= 0 || stride < width * 3)
        return;
    if (const auto cue = GetShown(presentationTime))   // the display hands its own picture to draw into
        Draw(*cue, width, height, stride, const_cast<unsigned char*>(rgb));
}

void CDVBSubtitleLayer::Draw(const CDVBSubtitleCue& cue, int width, int height, int stride, unsigned char* rgb)
{
    if (cue.IsClear() || cue.frameWidth <= 0 || cue.frameHeight <= 0 ||
        cue.rgba.size() < std::size_t(cue.width) * cue.height * 4)
        return;
    // the cue's rectangle in the frame drawn into; each pixel takes the cue pixel it falls on
    const long long fw = cue.frameWidth, fh = cue.frameHeight;
    const int left = int(cue.x * width / fw), top = int(cue.y * height / fh);
    const int right = std::min<long long>(width, (cue.x + cue.width) * width / fw);
    const int bottom = std::min<long long>(height, (cue.y + cue.height) * height / fh);
    for (int y = std::max(0, top); y < bottom; ++y) {
        // the centre of the row, in the cue's frame
        const long long row = std::clamp<long long>((2LL * y + 1) * fh / (2LL * height) - cue.y, 0, cue.height - 1);
        const std::uint8_t* from = cue.rgba.data() + std::size_t(row) * cue.width * 4;
        unsigned char* to = rgb + std::size_t(y) * stride;
        for (int x = std::max(0, left); x < right; ++x) {
            const long long column = std::clamp<long long>((2LL * x + 1) * fw / (2LL * width) - cue.x, 0, cue.width - 1);
            const std::uint8_t* p = from + column * 4;
            const unsigned a = p[3];
            if (a == 0)
                continue;
            unsigned char* q = to + std::size_t(x) * 3;
            for (int c = 0; c < 3; ++c)
                q[c] = static_cast<unsigned char>((p[c] * a + q[c] * (255 - a) + 127) / 255);
        }
    }
}
