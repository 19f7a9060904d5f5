#include "CPulseAudioOutput.h"

#include <algorithm>
#include <utility>
#include <cstdlib>
#include <iterator>

namespace {

constexpr int kTargetLatencyMs = 60;   // what the server keeps queued: low enough to zap, high enough not to underrun

}  // namespace

CPulseAudioOutput::~CPulseAudioOutput()
{
    if (m_loop == nullptr)
        return;
    pa_threaded_mainloop_lock(m_loop);
    CloseStream();
    if (m_context) {
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
    }
    pa_threaded_mainloop_unlock(m_loop);
    pa_threaded_mainloop_stop(m_loop);
    pa_threaded_mainloop_free(m_loop);
}

template <typename Ready>
bool CPulseAudioOutput::WaitFor(Ready ready, pa_usec_t limit)
{
    if (ready())
        return true;
    // the state and write callbacks signal the loop, and so does this timer: the wait ends
    // by the clock, whatever the server does
    const pa_usec_t deadline = pa_rtclock_now() + limit;
    pa_time_event* timer = pa_context_rttime_new(
        m_context, deadline,
        [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* loop) {
            pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
        },
        m_loop);
    while (!ready() && pa_rtclock_now() < deadline)
        pa_threaded_mainloop_wait(m_loop);
    if (timer)
        pa_threaded_mainloop_get_api(m_loop)->time_free(timer);
    return ready();
}

bool CPulseAudioOutput::Open(int sampleRate, int channels)
{
    m_loop = pa_threaded_mainloop_new();
    if (m_loop == nullptr || pa_threaded_mainloop_start(m_loop) < 0) {
        m_failure = "libpulse could not start its thread";
        return false;
    }
    pa_threaded_mainloop_lock(m_loop);
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "LUMCore");
    pa_context_set_state_callback(
        m_context, [](pa_context*, void* loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0); },
        m_loop);
    bool ok = pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
    ok = ok && WaitFor([this] {
             const pa_context_state_t state = pa_context_get_state(m_context);
             return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
         }) && pa_context_get_state(m_context) == PA_CONTEXT_READY;
    if (!ok) {
        m_failure = std::string("no sound server: ") + pa_strerror(pa_context_errno(m_context));
        pa_threaded_mainloop_unlock(m_loop);
        return false;
    }
    // the server's own format, so that it neither resamples nor remixes
    struct Info { bool done = false; pa_sample_spec spec{}; std::string sink; pa_threaded_mainloop* loop; } info{};
    info.loop = m_loop;
    pa_operation* asked = pa_context_get_server_info(
        m_context,
        [](pa_context*, const pa_server_info* server, void* data) {
            auto* i = static_cast<Info*>(data);
            if (server) {
                i->spec = server->sample_spec;
                i->sink = server->default_sink_name ? server->default_sink_name : "";
            }
            i->done = true;
            pa_threaded_mainloop_signal(i->loop, 0);
        },
        &info);
    if (asked) {
        WaitFor([&info] { return info.done; });
        pa_operation_unref(asked);
    }
    m_rate = pa_sample_spec_valid(&info.spec) ? int(info.spec.rate) : sampleRate;
    const int serverChannels = pa_sample_spec_valid(&info.spec) ? int(info.spec.channels) : 2;
    m_channels = std::max(1, std::min(channels, serverChannels));
    m_sink = info.sink;
    ok = OpenStream();
    pa_threaded_mainloop_unlock(m_loop);
    return ok;
}

bool CPulseAudioOutput::OpenStream()
{
    pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, std::uint32_t(m_rate), std::uint8_t(m_channels)};
    pa_channel_map map;
    pa_channel_map_init_auto(&map, spec.channels, PA_CHANNEL_MAP_WAVEEX);
    m_stream = pa_stream_new(m_context, "television", &spec, &map);
    if (m_stream == nullptr) {
        m_failure = std::string("the sound server refused the stream: ") + pa_strerror(pa_context_errno(m_context));
        return false;
    }
    pa_stream_set_state_callback(
        m_stream, [](pa_stream*, void* loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0); },
        m_loop);
    pa_stream_set_write_callback(
        m_stream, [](pa_stream*, size_t, void* loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0); },
        m_loop);
    // the stream running dry after a flush or the silence below is not an underrun
    pa_stream_set_underflow_callback(
        m_stream,
        [](pa_stream*, void* self) {
            auto* output = static_cast<CPulseAudioOutput*>(self);
            if (!std::exchange(output->m_dryOnPurpose, false))
                ++output->m_underruns;
        },
        this);
    pa_stream_set_started_callback(
        m_stream, [](pa_stream*, void* self) { static_cast<CPulseAudioOutput*>(self)->m_dryOnPurpose = false; }, this);
    pa_buffer_attr buffer;
    buffer.maxlength = std::uint32_t(-1);
    buffer.tlength = std::uint32_t(pa_usec_to_bytes(kTargetLatencyMs * 1000, &spec));
    buffer.prebuf = std::uint32_t(-1);
    buffer.minreq = std::uint32_t(-1);
    buffer.fragsize = std::uint32_t(-1);
    const auto flags = pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
                                         PA_STREAM_ADJUST_LATENCY | PA_STREAM_NOT_MONOTONIC);
    const bool ok = pa_stream_connect_playback(m_stream, nullptr, &buffer, flags, nullptr, nullptr) >= 0 &&
                    WaitFor([this] {
                        const pa_stream_state_t state = pa_stream_get_state(m_stream);
                        return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
                    }) &&
                    pa_stream_get_state(m_stream) == PA_STREAM_READY;
    if (!ok) {
        m_failure = std::string("the sound server refused the stream: ") + pa_strerror(pa_context_errno(m_context));
        CloseStream();
        return false;
    }
    m_written = 0;
    m_marks.clear();
    ApplyVolume();
    return true;
}

void CPulseAudioOutput::CloseStream()
{
    if (m_stream == nullptr)
        return;
    pa_stream_set_state_callback(m_stream, nullptr, nullptr);
    pa_stream_set_write_callback(m_stream, nullptr, nullptr);
    pa_stream_set_underflow_callback(m_stream, nullptr, nullptr);
    pa_stream_disconnect(m_stream);
    pa_stream_unref(m_stream);
    m_stream = nullptr;
}

bool CPulseAudioOutput::Usable() const
{
    return m_stream && pa_context_get_state(m_context) == PA_CONTEXT_READY && pa_stream_get_state(m_stream) == PA_STREAM_READY;
}

int CPulseAudioOutput::Write(const float* samples, int frames, long long presentationTime)
{
    if (m_loop == nullptr || frames <= 0)
        return frames > 0 ? frames : 0;
    pa_threaded_mainloop_lock(m_loop);
    if (!Usable()) {   // the server went away: the sound is lost, the picture goes on
        pa_threaded_mainloop_unlock(m_loop);
        return frames;
    }
    const std::size_t frameBytes = sizeof(float) * std::size_t(m_channels);
    const std::size_t room = pa_stream_writable_size(m_stream);
    const int taken = int(std::min<std::size_t>(std::size_t(frames), room == std::size_t(-1) ? 0 : room / frameBytes));
    if (taken > 0 && pa_stream_write(m_stream, samples, std::size_t(taken) * frameBytes, nullptr, 0, PA_SEEK_RELATIVE) == 0) {
        const long long expected = m_marks.empty() ? -1
            : m_marks.back().second + (long long)((m_written - m_marks.back().first) * 90000 / std::uint64_t(m_rate));
        // a new mark only where the times jump, more than a millisecond off the count
        if (presentationTime >= 0 && (expected < 0 || std::llabs(presentationTime - expected) > 90))
            m_marks.emplace_back(m_written, presentationTime);
        m_written += std::uint64_t(taken);
    }
    pa_threaded_mainloop_unlock(m_loop);
    return taken;
}

int CPulseAudioOutput::GetWritableFrames()
{
    if (m_loop == nullptr)
        return 0;
    pa_threaded_mainloop_lock(m_loop);
    const std::size_t room = Usable() ? pa_stream_writable_size(m_stream) : std::size_t(1) << 24;
    pa_threaded_mainloop_unlock(m_loop);
    return room == std::size_t(-1) ? 0 : int(std::min<std::size_t>(room / (sizeof(float) * std::size_t(m_channels)), 1 << 20));
}

bool CPulseAudioOutput::WaitForRoom(int milliseconds)
{
    if (m_loop == nullptr)
        return true;
    pa_threaded_mainloop_lock(m_loop);
    // a server gone away has room for everything: the frames are dropped
    const bool room = WaitFor([this] {
                                  const std::size_t writable = Usable() ? pa_stream_writable_size(m_stream) : 1;
                                  return writable > 0 && writable != std::size_t(-1);
                              },
                              pa_usec_t(milliseconds) * PA_USEC_PER_MSEC);
    pa_threaded_mainloop_unlock(m_loop);
    return room;
}

bool CPulseAudioOutput::GetPlayingTime(long long& presentationTime)
{
    if (m_loop == nullptr)
        return false;
    pa_threaded_mainloop_lock(m_loop);
    pa_usec_t played = 0;
    bool ok = Usable() && !m_marks.empty() && pa_stream_get_time(m_stream, &played) == 0;
    if (ok) {
        // the stream's time is what has been heard, the latency taken off
        const std::uint64_t frame = played * std::uint64_t(m_rate) / 1000000;
        ok = frame < m_written && frame >= m_marks.front().first;
        if (ok) {
            auto mark = m_marks.begin();
            while (std::next(mark) != m_marks.end() && std::next(mark)->first <= frame)
                ++mark;
            presentationTime = mark->second + (long long)((frame - mark->first) * 90000 / std::uint64_t(m_rate));
            m_marks.erase(m_marks.begin(), mark);   // what has been heard needs no mark
        }
    }
    pa_threaded_mainloop_unlock(m_loop);
    return ok;
}

void CPulseAudioOutput::Flush()
{
    if (m_loop == nullptr)
        return;
    // the stream stays: a new one waits until a sink that went idle wakes (a null sink
    // sleeps for seconds). The frames count on from where the server writes next.
    pa_threaded_mainloop_lock(m_loop);
    if (Usable()) {
        const auto done = [](pa_stream*, int, void* loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0); };
        for (pa_operation* o : {pa_stream_flush(m_stream, done, m_loop), pa_stream_update_timing_info(m_stream, done, m_loop)})
            if (o) {
                WaitFor([o] { return pa_operation_get_state(o) != PA_OPERATION_RUNNING; });
                pa_operation_unref(o);
            }
        const pa_timing_info* timing = pa_stream_get_timing_info(m_stream);
        if (timing && !timing->write_index_corrupt && timing->write_index >= 0)
            m_written = std::uint64_t(timing->write_index) / (sizeof(float) * std::size_t(m_channels));
        m_marks.clear();
        m_dryOnPurpose = true;
    }
    pa_threaded_mainloop_unlock(m_loop);
}

void CPulseAudioOutput::ApplyVolume()
{
    if (!Usable())
        return;
    pa_cvolume volume;
    pa_cvolume_set(&volume, std::uint8_t(m_channels), pa_sw_volume_from_linear(m_volume));
    const std::uint32_t input = pa_stream_get_index(m_stream);
    if (pa_operation* o = pa_context_set_sink_input_volume(m_context, input, &volume, nullptr, nullptr))
        pa_operation_unref(o);
    if (pa_operation* o = pa_context_set_sink_input_mute(m_context, input, m_mute, nullptr, nullptr))
        pa_operation_unref(o);
}

void CPulseAudioOutput::SetVolume(double volume)
{
    if (m_loop == nullptr)
        return;
    pa_threaded_mainloop_lock(m_loop);
    m_volume = std::max(0.0, std::min(1.0, volume));
    ApplyVolume();
    pa_threaded_mainloop_unlock(m_loop);
}

void CPulseAudioOutput::SetMute(bool mute)
{
    if (m_loop == nullptr)
        return;
    pa_threaded_mainloop_lock(m_loop);
    m_mute = mute;
    ApplyVolume();
    pa_threaded_mainloop_unlock(m_loop);
}

int CPulseAudioOutput::GetLatencyMs()
{
    if (m_loop == nullptr)
        return 0;
    pa_threaded_mainloop_lock(m_loop);
    pa_usec_t latency = 0;
    int negative = 0;
    const bool known = Usable() && pa_stream_get_latency(m_stream, &latency, &negative) == 0 && !negative;
    pa_threaded_mainloop_unlock(m_loop);
    return known ? int(latency / 1000) : 0;
}

void CPulseAudioOutput::GetStatus(CString& status)
{
    if (m_loop == nullptr) {
        status = m_failure.c_str();
        return;
    }
    pa_threaded_mainloop_lock(m_loop);
    pa_usec_t latency = 0;
    int negative = 0;
    if (!Usable())
        status = "the sound server went away";
    else if (pa_stream_get_latency(m_stream, &latency, &negative) == 0)
        status.Format("PulseAudio, %d Hz %s, %llu ms", m_rate, m_channels == 1 ? "mono" : m_channels == 2 ? "stereo" : "multichannel",
                      static_cast<unsigned long long>(negative ? 0 : latency / 1000));
    else
        status.Format("PulseAudio, %d Hz, %d channels", m_rate, m_channels);
    if (m_mute)
        status += ", muted";
    pa_threaded_mainloop_unlock(m_loop);
}
