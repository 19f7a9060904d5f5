#include "CAVSubtitleDecoder.h"

#include "decode/CDVBSubtitleSegments.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

// Broadcasts that name pages that never come: after this many packets of other pages only,
// the first page that comes is decoded.
constexpr int kMissesBeforeFallback = 3;

}  // namespace

CAVSubtitleDecoder::CAVSubtitleDecoder()
    : m_compositionPage(CDVBSubtitleSegments::kAnyPage), m_ancillaryPage(CDVBSubtitleSegments::kAnyPage)
{
    av_log_set_level(AV_LOG_QUIET);
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_DVB_SUBTITLE);
    if (codec == nullptr)
        return;
    m_context = avcodec_alloc_context3(codec);
    m_context->pkt_timebase = AVRational{1, 90000};
    if (avcodec_open2(m_context, codec, nullptr) < 0)
        avcodec_free_context(&m_context);
    m_packet = av_packet_alloc();
}

CAVSubtitleDecoder::~CAVSubtitleDecoder()
{
    av_packet_free(&m_packet);
    avcodec_free_context(&m_context);
}

void CAVSubtitleDecoder::SetPages(int compositionPage, int ancillaryPage)
{
    m_compositionPage = compositionPage;
    m_ancillaryPage = ancillaryPage;
    m_pageSeen = false;
    m_missed = 0;
}

void CAVSubtitleDecoder::SetCueHandler(std::function<void(const CDVBSubtitleCue&)> handler)
{
    std::lock_guard<std::mutex> guard(m_handlerLock);
    m_handler = std::move(handler);
}

bool CAVSubtitleDecoder::OnPESPacket(const BYTE* data, DWORD size, long long presentationTime)
{
    CDVBSubtitleSegments::Selection selection;
    if (!CDVBSubtitleSegments::Select(data, size, m_compositionPage, m_ancillaryPage, m_segments, selection))
        return false;
    if (selection.kept > 0) {
        m_pageSeen = true;
    } else if (!m_pageSeen && selection.firstPage >= 0 && ++m_missed >= kMissesBeforeFallback) {
        m_compositionPage = selection.firstPage;   // the pages named never came: this one did
        m_ancillaryPage = CDVBSubtitleSegments::kAnyPage;
        CDVBSubtitleSegments::Select(data, size, m_compositionPage, m_ancillaryPage, m_segments, selection);
    }
    if (selection.cut)
        ++m_errors;
    if (m_context == nullptr || m_segments.empty())
        return true;
    m_segments.resize(m_segments.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    m_packet->data = m_segments.data();
    m_packet->size = int(m_segments.size() - AV_INPUT_BUFFER_PADDING_SIZE);
    m_packet->pts = presentationTime >= 0 ? presentationTime : AV_NOPTS_VALUE;
    AVSubtitle subtitle;
    std::memset(&subtitle, 0, sizeof subtitle);
    int got = 0;
    if (avcodec_decode_subtitle2(m_context, &subtitle, &got, m_packet) < 0) {
        ++m_errors;
        return true;
    }
    if (got) {
        Deliver(subtitle, presentationTime);
        avsubtitle_free(&subtitle);
    }
    return true;
}

void CAVSubtitleDecoder::Deliver(const AVSubtitle& subtitle, long long presentationTime)
{
    if (presentationTime < 0)
        return;   // a page without a time cannot be placed
    CDVBSubtitleCue cue;
    cue.start = presentationTime + 90LL * subtitle.start_display_time;
    if (subtitle.end_display_time > subtitle.start_display_time && subtitle.end_display_time != UINT32_MAX)
        cue.end = presentationTime + 90LL * subtitle.end_display_time;
    if (m_context->width > 0 && m_context->height > 0) {   // the display definition's
        cue.frameWidth = m_context->width;
        cue.frameHeight = m_context->height;
    }
    // the regions' bounding box, in one picture
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
    for (unsigned i = 0; i < subtitle.num_rects; ++i) {
        const AVSubtitleRect* rect = subtitle.rects[i];
        if (rect->type != SUBTITLE_BITMAP || rect->w <= 0 || rect->h <= 0 || !rect->data[0] || !rect->data[1])
            continue;
        left = std::min(left, rect->x);
        top = std::min(top, rect->y);
        right = std::max(right, rect->x + rect->w);
        bottom = std::max(bottom, rect->y + rect->h);
    }
    if (left < right && top < bottom) {
        cue.x = left;
        cue.y = top;
        cue.width = right - left;
        cue.height = bottom - top;
        cue.rgba.assign(std::size_t(cue.width) * cue.height * 4, 0);
        for (unsigned i = 0; i < subtitle.num_rects; ++i) {
            const AVSubtitleRect* rect = subtitle.rects[i];
            if (rect->type != SUBTITLE_BITMAP || rect->w <= 0 || rect->h <= 0 || !rect->data[0] || !rect->data[1])
                continue;
            const auto* palette = reinterpret_cast<const std::uint32_t*>(rect->data[1]);   // ARGB words
            for (int y = 0; y < rect->h; ++y) {
                const std::uint8_t* from = rect->data[0] + std::size_t(y) * rect->linesize[0];
                std::uint8_t* to = cue.rgba.data() + ((std::size_t(rect->y - top + y) * cue.width) + (rect->x - left)) * 4;
                for (int x = 0; x < rect->w; ++x, to += 4) {
                    const int index = from[x];
                    const std::uint32_t colour = index < rect->nb_colors ? palette[index] : 0;
                    to[0] = std::uint8_t(colour >> 16);
                    to[1] = std::uint8_t(colour >> 8);
                    to[2] = std::uint8_t(colour);
                    to[3] = std::uint8_t(colour >> 24);
                }
            }
        }
    }
    {
        std::lock_guard<std::mutex> guard(m_handlerLock);
        if (m_handler)
            m_handler(cue);
    }
    m_layer.Show(std::move(cue));
}
