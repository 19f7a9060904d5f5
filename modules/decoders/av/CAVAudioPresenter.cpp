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
constexpr int kMaxLateFrames = 50;               // sound late at the start is left out, but not for ever:
                                                 // a stream whose sound is always late still plays
// sound heard too late for the pictures to follow it (CDVBPresentationClock::kSoundAway)
// is started again, at most once in this many nanoseconds
constexpr std::int64_t kRestartGap = 1000000000;
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
    m_restarted = -1;
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
    if (m_started && IsHeardLate()) {
        // an output that was slow to start, ran dry or plays slower than the broadcast comes:
        // started again at the sound's time, for a live stream cannot wait. Sound left out
        // while it plays would not do: the output waits for more and plays on later still.
        m_output->Flush();
        m_started = false;
    }
    int late = 0;
    if (!m_started && !(m_started = WaitToStart(time, converted, late)))
        return;
    // begun on time: what is late of the first frame is left out
    Write(m_converted.data() + std::size_t(late) * m_outputChannels, converted - late,
          time < 0 ? time : (time + std::int64_t(late) * 90000 / m_outputRate) % CDVBPresentationClock::kWrap);
}

bool CAVAudioPresenter::WaitToStart(long long presentationTime, int frames, int& late)
{
    late = 0;
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
        if (ahead <= 0) {
            const std::int64_t lateFrames = -ahead * m_outputRate / 90000;
            if (lateFrames >= frames && ++m_lateFrames < kMaxLateFrames)
                return false;
            late = m_lateFrames < kMaxLateFrames ? int(lateFrames) : 0;
            m_lateFrames = 0;
            return true;
        }
        clock.WaitUntil(stop, 1, clock.GetMonotonicTime() + std::min(ahead, kWaitStep) * kNanosecondsPerTick);
    }
}

bool CAVAudioPresenter::IsHeardLate()
{
    std::int64_t now = 0;
    long long heard = 0;
    if (m_clock == nullptr || !m_clock->GetProgramTime(now) || !m_output->GetPlayingTime(heard))
        return false;
    const std::int64_t behind = CDVBPresentationClock::Difference(now, heard);
    const std::int64_t monotonic = m_clock->GetClock().GetMonotonicTime();
    if (behind <= CDVBPresentationClock::kSoundAway || behind > kStartLimit || (m_restarted >= 0 && monotonic - m_restarted < kRestartGap))
        return false;
    m_restarted = monotonic;
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
