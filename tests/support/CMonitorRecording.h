#pragma once
// What the default sink's monitor hears, through libpulse's simple API on a thread of its
// own, with the system's monotonic time at which each frame was heard (the moment a read
// returned, less the latency the server gives for it). It records until a sound has been
// heard and has ended, however fast the sink plays.
#include <pulse/simple.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

class CMonitorRecording
{
public:
    CMonitorRecording(int rate, int channels) : m_rate(rate), m_channels(channels)
    {
        m_reader = std::thread([this] { Record(); });
    }
    ~CMonitorRecording() { Finish(); }
    CMonitorRecording(const CMonitorRecording&) = delete;
    CMonitorRecording& operator=(const CMonitorRecording&) = delete;

    // Once the monitor is heard (silence at first), nothing played after is missed.
    bool WaitUntilListening()
    {
        std::unique_lock<std::mutex> guard(m_lock);
        return m_heard.wait_for(guard, std::chrono::seconds(5), [this] { return !m_samples.empty() || m_failed; }) &&
               !m_failed;
    }
    // What was heard, interleaved, once a sound has been followed by `quiet` seconds of silence.
    std::vector<float> Finish(double quiet = 0.2)
    {
        {
            std::unique_lock<std::mutex> guard(m_lock);
            m_heard.wait_for(guard, std::chrono::seconds(20), [this, quiet] {
                return m_failed || (m_loudSeen && m_quietFrames > quiet * m_rate);
            });
            m_stop = true;
        }
        if (m_reader.joinable())
            m_reader.join();
        return m_samples;
    }
    // CLOCK_MONOTONIC nanoseconds at which `frame` was heard.
    std::int64_t TimeOf(std::size_t frame) const
    {
        for (const auto& [end, time] : m_marks)
            if (end > frame)
                return time - std::int64_t(double(end - frame) * 1e9 / m_rate);
        return m_marks.empty() ? 0 : m_marks.back().second;
    }

private:
    void Record()
    {
        const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, std::uint32_t(m_rate), std::uint8_t(m_channels)};
        pa_buffer_attr attributes{std::uint32_t(-1), std::uint32_t(-1), std::uint32_t(-1), std::uint32_t(-1),
                                  std::uint32_t(m_rate / 400 * m_channels * 4)};
        int error = 0;
        pa_simple* monitor = pa_simple_new(nullptr, "lumcore-tests", PA_STREAM_RECORD, "@DEFAULT_MONITOR@", "monitor",
                                           &spec, nullptr, &attributes, &error);
        std::vector<float> block(std::size_t(m_rate / 100 * m_channels));
        for (;;) {
            {
                std::lock_guard<std::mutex> guard(m_lock);
                if (m_stop || monitor == nullptr) {
                    m_failed = monitor == nullptr;
                    m_heard.notify_all();
                    break;
                }
            }
            if (pa_simple_read(monitor, block.data(), block.size() * sizeof(float), &error) < 0)
                break;
            const pa_usec_t latency = pa_simple_get_latency(monitor, &error);
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            std::lock_guard<std::mutex> guard(m_lock);
            for (std::size_t i = 0; i < block.size(); i += std::size_t(m_channels)) {
                bool loud = false;
                for (int c = 0; c < m_channels; ++c)
                    loud = loud || std::fabs(block[i + std::size_t(c)]) >= 0.05f;
                m_loudSeen = m_loudSeen || loud;
                m_quietFrames = loud ? 0 : m_quietFrames + 1;
            }
            m_samples.insert(m_samples.end(), block.begin(), block.end());
            m_marks.emplace_back(m_samples.size() / std::size_t(m_channels),
                                 std::int64_t(now.tv_sec) * 1000000000 + now.tv_nsec - std::int64_t(latency) * 1000);
            m_heard.notify_all();
        }
        if (monitor)
            pa_simple_free(monitor);
    }

    const int m_rate;
    const int m_channels;
    std::thread m_reader;
    std::mutex m_lock;
    std::condition_variable m_heard;
    std::vector<float> m_samples;
    std::vector<std::pair<std::size_t, std::int64_t>> m_marks;   // frames heard by then, and when the last was heard
    bool m_loudSeen = false;
    int m_quietFrames = 0;
    bool m_stop = false;
    bool m_failed = false;
};
