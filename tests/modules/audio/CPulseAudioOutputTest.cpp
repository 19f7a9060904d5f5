// The PulseAudio output against a real server: the user-level one with a null sink that
// the test scripts start. What the sink heard is recorded from its monitor and compared
// with what was played.
#include "modules/audio/pulse/CPulseAudioOutput.h"
#include "tests/support/CMonitorRecording.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Writes `seconds` of a sine of `hertz` at `amplitude`, the first frame presented at `pts`,
// as a decoder would: what the output has room for, then again once it has more. The
// presentation times heard meanwhile are kept.
std::vector<long long> Play(CPulseAudioOutput& output, double hertz, double amplitude, double seconds, long long pts)
{
    const int rate = output.GetSampleRate(), channels = output.GetChannels();
    const int total = int(seconds * rate);
    std::vector<float> samples(std::size_t(total) * std::size_t(channels));
    for (int i = 0; i < total; ++i)
        for (int c = 0; c < channels; ++c)
            samples[std::size_t(i * channels + c)] = float(amplitude * std::sin(2 * kPi * hertz * i / rate));
    std::vector<long long> heard;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (int done = 0; done < total && std::chrono::steady_clock::now() < deadline;) {   // bounded: a stalled server ends it
        const int n = output.Write(&samples[std::size_t(done * channels)], total - done,
                                   pts + (long long)done * 90000 / rate);
        done += n;
        long long now = 0;
        if (output.GetPlayingTime(now))
            heard.push_back(now);
        if (n == 0)
            output.WaitForRoom(100);
    }
    return heard;
}

class CPulseAudioOutputTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!m_output.Open(48000, 6))
            GTEST_SKIP() << "no PulseAudio server (scripts/test starts one): " << m_output.GetFailure();
    }

    CPulseAudioOutput m_output;
};

}  // namespace

// 5.1 asked of a stereo sink comes out stereo at the server's rate; a tone played at half
// scale is heard at that level and pitch, and the time heard runs with the frames' own.
TEST_F(CPulseAudioOutputTest, PlaysTheServersFormatAndTellsTheTimeOfWhatIsHeard)
{
    EXPECT_EQ(m_output.GetChannels(), 2);
    const int rate = m_output.GetSampleRate();
    CMonitorRecording recording(rate, 1);
    ASSERT_TRUE(recording.WaitUntilListening());
    const long long start = 900000;
    const std::vector<long long> heard = Play(m_output, 440.0, 0.5, 2.0, start);
    ASSERT_GT(heard.size(), 10u);
    for (std::size_t i = 1; i < heard.size(); ++i)
        ASSERT_GE(heard[i], heard[i - 1]) << "the time heard went back at " << i;
    EXPECT_GE(heard.front(), start);
    EXPECT_LE(heard.back(), start + 2 * 90000);
    CString status;
    m_output.GetStatus(status);
    EXPECT_NE(status.Str().find("PulseAudio, " + std::to_string(rate) + " Hz stereo"), std::string::npos) << status.Str();

    const std::vector<float> samples = recording.Finish();
    // the loud part: its level and its zero crossings
    std::size_t first = 0, last = samples.size();
    while (first < last && std::fabs(samples[first]) < 0.05f)
        ++first;
    while (last > first && std::fabs(samples[last - 1]) < 0.05f)
        --last;
    ASSERT_GT(last - first, std::size_t(rate)) << "less than a second of the tone was heard";
    const std::size_t quarter = (last - first) / 4;   // the middle half: clear of how it began and ended
    first += quarter;
    last -= quarter;
    // level and pitch of each 50 ms, and their medians: a gap a loaded machine leaves in
    // the recording does not count
    std::vector<double> levels, pitches;
    const std::size_t block = std::size_t(rate) / 20;
    for (std::size_t from = first; from + block <= last; from += block) {
        double power = 0;
        int crossings = 0;
        for (std::size_t i = from; i < from + block; ++i) {
            power += double(samples[i]) * samples[i];
            crossings += i > from && (samples[i - 1] < 0) != (samples[i] < 0);
        }
        levels.push_back(std::sqrt(power / double(block)));
        pitches.push_back(crossings / 2.0 / (double(block) / rate));
    }
    ASSERT_FALSE(levels.empty());
    auto median = [](std::vector<double> values) {
        std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(values.size() / 2), values.end());
        return values[values.size() / 2];
    };
    EXPECT_NEAR(median(levels), 0.5 / std::sqrt(2.0), 0.02);
    EXPECT_NEAR(median(pitches), 440.0, 440.0 * 0.03);   // 22 crossings a block: within one
}

// Muted, the sink hears nothing; a flush forgets what was queued, the times heard after
// it are the new frames', and they are heard at once (a new stream would wait until an idle
// null sink wakes, a second later); the flush is not counted as an underrun.
TEST_F(CPulseAudioOutputTest, FollowsMuteAndStartsAfreshAfterAFlush)
{
    Play(m_output, 440.0, 0.5, 0.3, 0);
    m_output.Flush();
    const auto flushed = std::chrono::steady_clock::now();
    const std::vector<long long> heard = Play(m_output, 440.0, 0.5, 0.3, 5000000);
    ASSERT_FALSE(heard.empty());
    EXPECT_GE(heard.front(), 5000000);
    long long now = 0;
    while ((!m_output.GetPlayingTime(now) || now < 5000000 + 9000) &&
           std::chrono::steady_clock::now() - flushed < std::chrono::seconds(3))   // a bounded poll
        m_output.WaitForRoom(10);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - flushed).count(), 600);
    EXPECT_EQ(m_output.GetUnderruns(), 0u);
    m_output.SetMute(true);
    CString status;
    m_output.GetStatus(status);
    EXPECT_NE(status.Str().find("muted"), std::string::npos) << status.Str();
}

// Without a server nothing waits: the open fails at once and says why.
TEST(CPulseAudioOutputFailureTest, WithoutAServerTheOpenFailsAndSaysWhy)
{
    const char* server = std::getenv("PULSE_SERVER");
    const std::string kept = server ? server : "";
    ::setenv("PULSE_SERVER", "unix:/nonexistent/pulse/native", 1);
    CPulseAudioOutput output;
    const auto began = std::chrono::steady_clock::now();
    EXPECT_FALSE(output.Open(48000, 2));
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(4));
    EXPECT_EQ(output.GetFailure().rfind("no sound server: ", 0), 0u) << output.GetFailure();
    server ? ::setenv("PULSE_SERVER", kept.c_str(), 1) : ::unsetenv("PULSE_SERVER");
}
