#include "CAVVideoPresenter.h"

#include "decode/CDVBAudioOutput.h"
#include "decode/CDVBDisplay.h"
#include "decode/CDVBPresentationClock.h"
#include "decode/CDVBPresentationStatistics.h"
#include "decode/CDVBVideoFrame.h"
#include "platform/CClock.h"
#include "platform/CEvent.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
}

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

constexpr std::int64_t kJump = 2 * 90000;        // further from the clock than this: the time stamps jumped
constexpr std::int64_t kWaitStep = 90000 / 50;   // the clock is read again at least this often
constexpr std::int64_t kNanosecondsPerTick = 1000000000 / 90000;

bool IsPlanar420(int format)
{
    return format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P;
}

}  // namespace

CAVVideoPresenter::~CAVVideoPresenter()
{
    CloseFilter();
}

void CAVVideoPresenter::SetDisplay(CDVBDisplay* display)
{
    std::lock_guard<std::mutex> guard(m_displayLock);
    m_display = display;
}

bool CAVVideoPresenter::UnsetDisplay(CDVBDisplay* display)
{
    std::lock_guard<std::mutex> guard(m_displayLock);
    if (m_display != display)
        return false;
    m_display = nullptr;
    return true;
}

void CAVVideoPresenter::SetPresentation(CDVBPresentationClock* clock, CDVBPresentationStatistics* statistics)
{
    m_clock = clock;
    m_statistics = statistics;
}

bool CAVVideoPresenter::NeedsFilter(const AVFrame* frame) const
{
    return !IsPlanar420(frame->format) || (m_deinterlace && frame->interlaced_frame);
}

bool CAVVideoPresenter::OpenFilter(const AVFrame* frame)
{
    CloseFilter();
    m_graph = avfilter_graph_alloc();
    m_filtered = av_frame_alloc();
    if (m_graph == nullptr || m_filtered == nullptr)
        return false;
    m_graph->nb_threads = 1;
    const AVRational aspect = frame->sample_aspect_ratio.num > 0 ? frame->sample_aspect_ratio : AVRational{1, 1};
    const std::string source = "video_size=" + std::to_string(frame->width) + "x" + std::to_string(frame->height) +
                               ":pix_fmt=" + std::to_string(frame->format) + ":time_base=1/90000:pixel_aspect=" +
                               std::to_string(aspect.num) + "/" + std::to_string(aspect.den);
    m_graphDeinterlaces = m_deinterlace;
    // bwdif: one picture per picture, only those flagged interlaced; its output format is its input's
    const std::string chain = std::string(m_graphDeinterlaces ? "bwdif=mode=send_frame:parity=auto:deint=interlaced," : "") +
                              "format=yuv420p";
    AVFilterInOut* outputs = avfilter_inout_alloc();
    AVFilterInOut* inputs = avfilter_inout_alloc();
    bool ok = outputs && inputs &&
              avfilter_graph_create_filter(&m_source, avfilter_get_by_name("buffer"), "in", source.c_str(), nullptr,
                                           m_graph) >= 0 &&
              avfilter_graph_create_filter(&m_sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                           m_graph) >= 0;
    if (ok) {
        outputs->name = av_strdup("in");
        outputs->filter_ctx = m_source;
        inputs->name = av_strdup("out");
        inputs->filter_ctx = m_sink;
        ok = avfilter_graph_parse_ptr(m_graph, chain.c_str(), &inputs, &outputs, nullptr) >= 0 &&
             avfilter_graph_config(m_graph, nullptr) >= 0;
    }
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    if (!ok) {
        CloseFilter();
        return false;
    }
    m_graphWidth = frame->width;
    m_graphHeight = frame->height;
    m_graphFormat = frame->format;
    return true;
}

void CAVVideoPresenter::CloseFilter()
{
    avfilter_graph_free(&m_graph);   // its filters with it
    m_source = m_sink = nullptr;
    av_frame_free(&m_filtered);
    m_graphFormat = -1;
}

void CAVVideoPresenter::Present(AVFrame* frame)
{
    if (frame != nullptr) {
        {
            std::lock_guard<std::mutex> guard(m_describeLock);
            m_width = frame->width;
            m_height = frame->height;
            m_interlaced = frame->interlaced_frame;
        }
        const bool changed = m_graph && (frame->width != m_graphWidth || frame->height != m_graphHeight ||
                                         frame->format != m_graphFormat || m_deinterlace != m_graphDeinterlaces);
        if (changed)
            Present(nullptr);   // what the old graph holds goes first, then a new one for the new shape
        if (m_graph == nullptr && !NeedsFilter(frame)) {
            const long long time = frame->best_effort_timestamp == AV_NOPTS_VALUE ? -1 : frame->best_effort_timestamp;
            if (WaitForTime(time))
                Deliver(frame, time);
            return;
        }
        if (m_graph == nullptr && !OpenFilter(frame))
            return;
        frame->pts = frame->best_effort_timestamp;
    } else if (m_graph == nullptr) {
        return;
    }
    if (av_buffersrc_add_frame_flags(m_source, frame, AV_BUFFERSRC_FLAG_KEEP_REF) < 0)
        return;
    while (av_buffersink_get_frame(m_sink, m_filtered) >= 0) {
        // bwdif counts in half ticks, to have room for a picture per field
        const long long time = m_filtered->pts == AV_NOPTS_VALUE
                                   ? -1
                                   : av_rescale_q(m_filtered->pts, av_buffersink_get_time_base(m_sink), AVRational{1, 90000});
        if (WaitForTime(time))
            Deliver(m_filtered, time);
        av_frame_unref(m_filtered);
    }
    if (frame == nullptr)
        CloseFilter();   // a graph that has seen its end takes nothing more
}

bool CAVVideoPresenter::WaitForTime(long long presentationTime)
{
    if (m_lastTime >= 0 && presentationTime >= 0) {
        const std::int64_t step = CDVBPresentationClock::Difference(presentationTime, m_lastTime);
        if (step > 0 && step <= 9000)
            m_period = step;
    }
    if (presentationTime >= 0)
        m_lastTime = presentationTime;
    if (m_statistics)   // decoded and deinterlaced: what a picture shown or dropped was
        m_statistics->OnDecoded(m_clock ? m_clock->GetClock().GetMonotonicTime() : -1);
    if (m_clock == nullptr || presentationTime < 0)
        return true;
    CClock& clock = m_clock->GetClock();
    CEvent* const stop[] = {&m_stop};
    for (;;) {
        std::int64_t now = 0;
        bool fromSound = false;
        if (m_stop.IsSet())
            return false;   // what is left after a stop is not shown
        if (!m_clock->GetTime(now, fromSound))
            return true;    // no clock yet: shown as soon as it comes
        const std::int64_t ahead = CDVBPresentationClock::Difference(presentationTime, now);
        if (ahead > kJump || ahead < -kJump) {
            // another time line than the clock's, until sound and clock have followed the
            // jump: shown a picture's length after the one before, as the stream's pace is
            if (m_statistics)
                m_statistics->OnResync();
            if (m_lastShown >= 0)
                clock.WaitUntil(stop, 1, m_lastShown + m_period * kNanosecondsPerTick);
            return !m_stop.IsSet();
        }
        if (ahead < -2 * m_period) {   // a picture late by less is shown: the clock's estimate moves by as much
            if (m_statistics)
                m_statistics->OnDropped();
            return false;
        }
        if (ahead <= 0)
            return true;
        const std::int64_t wait = std::min(ahead, kWaitStep);
        clock.WaitUntil(stop, 1, clock.GetMonotonicTime() + wait * kNanosecondsPerTick);
    }
}

void CAVVideoPresenter::Deliver(const AVFrame* frame, long long presentationTime)
{
    CDVBVideoFrame picture;
    picture.width = frame->width;
    picture.height = frame->height;
    for (int plane = 0; plane < 3; ++plane) {
        picture.planes[plane] = frame->data[plane];
        picture.strides[plane] = frame->linesize[plane];
    }
    picture.sampleAspectNum = frame->sample_aspect_ratio.num;
    picture.sampleAspectDen = frame->sample_aspect_ratio.den > 0 ? frame->sample_aspect_ratio.den : 1;
    picture.interlaced = frame->interlaced_frame;
    picture.presentationTime = presentationTime;
    std::lock_guard<std::mutex> guard(m_displayLock);
    if (m_display == nullptr)
        return;
    if (m_clock)
        m_lastShown = m_clock->GetClock().GetMonotonicTime();
    if (m_statistics && m_clock) {   // presented as it is handed over: what the display does with it is its own time
        m_statistics->OnPresented(m_lastShown, presentationTime);
        long long heard = 0;
        CDVBAudioOutput* audio = m_clock->GetAudioOutput();
        if (audio && presentationTime >= 0 && audio->GetPlayingTime(heard)) {
            const std::int64_t offset = CDVBPresentationClock::Difference(presentationTime, heard);
            if (std::llabs(offset) <= kJump)
                m_statistics->OnAVOffset(offset);   // not while the sound is on another time line
        }
    }
    m_display->OnVideoFrame(picture);
}

void CAVVideoPresenter::Describe(CString& description) const
{
    std::lock_guard<std::mutex> guard(m_describeLock);
    if (m_width <= 0) {
        description.Empty();
        return;
    }
    description.Format("%dx%d%s %.4g fps", m_width, m_height, m_interlaced ? "i" : "p", 90000.0 / double(m_period));
}
