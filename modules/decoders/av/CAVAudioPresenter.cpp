#include "CAVAudioPresenter.h"

#include "decode/CDVBAudioOutput.h"
#include "decode/CDVBPresentationClock.h"
#include "decode/CDVBPresentationStatistics.h"
#include "platform/CClock.h"
#include "platform/CEvent.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
}

#include <algorithm>

namespace {

constexpr std::int64_t kJump = 90000 / 2;        // sound that does not follow on by this much: a new time line
constexpr std::int64_t kStartLimit = 2 * 90000;  // further ahead than this: the clock is not the sound's
constexpr std::int64_t kLate = 90000 / 10;       // sound later than this is skipped while starting...
constexpr int kMaxLateFrames = 50;               // ...but not for ever: a stream whose sound is always late still plays
constexpr std::int64_t kBehind = 90000 / 20;     // heard later than this after the program clock: caught up
constexpr std::int64_t kWaitStep = 90000 / 50;
constexpr std::int64_t kNanosecondsPerTick = 1000000000 / 90000;
constexpr int kRoomWaitMs = 100;

std::uint64_t MaskOf(const AVChannelLayout& layout)
{
    return layout.order == AV_CHANNEL_ORDER_NATIVE ? layout.u.mask : 0;
}

}  // namespace

CAVAudioPresenter::~CAVAudioPresenter()
{
    swr_free(&m_resampler);
}

void CAVAudioPresenter::SetOutput(CDVBAudioOutput* output)
{
    std::lock_guard<std::mutex> guard(m_outputLock);
    m_output = output;
    m_started = false;
    m_skipUntil = -1;
}

void CAVAudioPresenter::SetPresentation(CDVBPresentationClock* clock, CDVBPresentationStatistics* statistics)
{
    m_clock = clock;
    m_statistics = statistics;
}

bool CAVAudioPresenter::Configure(const AVFrame* frame, int outputRate, int outputChannels)
{
    if (m_resampler && frame->sample_rate == m_inputRate && frame->format == m_inputFormat &&
        frame->ch_layout.nb_channels == m_inputChannels && MaskOf(frame->ch_layout) == m_inputMask &&
        outputRate == m_outputRate && outputChannels == m_outputChannels)
        return true;
    swr_free(&m_resampler);   // a new format mid-stream: the few samples the old one held are not missed
    AVChannelLayout out;
    av_channel_layout_default(&out, outputChannels);
    const int made = swr_alloc_set_opts2(&m_resampler, &out, AV_SAMPLE_FMT_FLT, outputRate, const_cast<AVChannelLayout*>(&frame->ch_layout),
                                         AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&out);
    if (made < 0 || swr_init(m_resampler) < 0) {
        swr_free(&m_resampler);
        return false;
    }
    m_inputRate = frame->sample_rate;
    m_inputFormat = frame->format;
    m_inputChannels = frame->ch_layout.nb_channels;
    m_inputMask = MaskOf(frame->ch_layout);
    m_outputRate = outputRate;
    m_outputChannels = outputChannels;
    char layout[64] = "";
    av_channel_layout_describe(&frame->ch_layout, layout, sizeof layout);
    std::lock_guard<std::mutex> guard(m_describeLock);
    m_description.Format("%g kHz %s", frame->sample_rate / 1000.0, layout);
    return true;
}

void CAVAudioPresenter::Present(const AVFrame* frame)
{
    if (frame->sample_rate <= 0 || frame->nb_samples <= 0)
        return;
    std::lock_guard<std::mutex> guard(m_outputLock);
    if (m_output == nullptr)
        return;   // decoded and dropped: nowhere to play
    if (!Configure(frame, m_output->GetSampleRate(), m_output->GetChannels()))
        return;
    // frames after the first of a PES packet have no time of their own: they follow on
    const long long stamped = frame->best_effort_timestamp == AV_NOPTS_VALUE ? -1 : frame->best_effort_timestamp;
    if (m_started && stamped >= 0 && m_nextTime >= 0 &&
        std::llabs(CDVBPresentationClock::Difference(stamped, m_nextTime)) > kJump) {
        m_output->Flush();   // a discontinuity or a new programme: started again at its time
        m_started = false;
        m_skipUntil = -1;
        if (m_statistics)
            m_statistics->OnResync();
    }
    const long long time = stamped >= 0 ? stamped : m_nextTime;
    m_nextTime = time < 0 ? -1 : (time + std::int64_t(frame->nb_samples) * 90000 / frame->sample_rate) % CDVBPresentationClock::kWrap;
    const int room = swr_get_out_samples(m_resampler, frame->nb_samples);
    if (room <= 0)
        return;
    m_converted.resize(std::size_t(room) * m_outputChannels);
    std::uint8_t* out[] = {reinterpret_cast<std::uint8_t*>(m_converted.data())};
    const int converted = swr_convert(m_resampler, out, room, const_cast<const std::uint8_t**>(frame->extended_data),
                                      frame->nb_samples);
    if (converted <= 0)
        return;
    if (!m_started && !(m_started = WaitToStart(time)))
        return;
    if (IsBehind(time))
        return;
    Write(m_converted.data(), converted, time);
}

bool CAVAudioPresenter::WaitToStart(long long presentationTime)
{
    if (m_clock == nullptr || presentationTime < 0)
        return true;
    CClock& clock = m_clock->GetClock();
    CEvent* const stop[] = {&m_stop};
    const std::int64_t lead = std::int64_t(m_output->GetLatencyMs()) * 90;
    for (;;) {
        std::int64_t now = 0;
        if (m_stop.IsSet() || !m_clock->GetProgramTime(now))
            return !m_stop.IsSet();
        const std::int64_t ahead = CDVBPresentationClock::Difference(presentationTime, now) - lead;
        if (ahead > kStartLimit)
            return true;
        if (ahead < -kLate && ++m_lateFrames < kMaxLateFrames)
            return false;
        if (ahead <= 0) {
            m_lateFrames = 0;
            return true;
        }
        clock.WaitUntil(stop, 1, clock.GetMonotonicTime() + std::min(ahead, kWaitStep) * kNanosecondsPerTick);
    }
}

bool CAVAudioPresenter::IsBehind(long long presentationTime)
{
    std::int64_t now = 0;
    if (m_clock == nullptr || presentationTime < 0 || !m_clock->GetProgramTime(now))
        return false;
    long long heard = 0;
    const bool playing = m_output->GetPlayingTime(heard);
    if (m_skipUntil >= 0) {
        if (CDVBPresentationClock::Difference(presentationTime, m_skipUntil) < 0)
            return true;
        if (!playing || CDVBPresentationClock::Difference(heard, m_skipUntil) < 0)
            return false;   // what was skipped is not heard yet: not judged again before
        m_skipUntil = -1;
    }
    // an output that was slow to start, or plays slower than the broadcast comes: the
    // sound is skipped by as much as it is heard late, for a live stream cannot wait
    const std::int64_t behind = playing ? CDVBPresentationClock::Difference(now, heard)
                                        : CDVBPresentationClock::Difference(now, presentationTime) -
                                              std::int64_t(m_output->GetLatencyMs()) * 90;
    if (behind <= kBehind || behind > kStartLimit)
        return false;
    m_skipUntil = (presentationTime + behind) % CDVBPresentationClock::kWrap;
    return true;
}

void CAVAudioPresenter::Write(const float* samples, int frames, long long presentationTime)
{
    int written = 0;
    while (written < frames && !m_stop.IsSet()) {
        const int taken = m_output->Write(samples + std::size_t(written) * m_outputChannels, frames - written,
                                          written == 0 ? presentationTime : -1);
        written += std::max(taken, 0);
        if (written < frames && !m_output->WaitForRoom(kRoomWaitMs) && taken <= 0)
            break;   // an output that plays no faster than this loses the rest, the decoder goes on
    }
    if (m_statistics && m_clock)
        m_statistics->OnSoundWritten(m_clock->GetClock().GetMonotonicTime(), std::uint64_t(written));
}

void CAVAudioPresenter::Describe(CString& description) const
{
    std::lock_guard<std::mutex> guard(m_describeLock);
    description = m_description;
}
