// lumrx play as a user runs it, on streams FFmpeg made (tests/streams/make_av.sh), measured
// from outside: its statistics, what the PulseAudio sink's monitor heard against FFmpeg's
// own decode, and the beeps heard against the flashes shown, on one monotonic clock.
#include "tests/support/CMonitorRecording.h"
#include "tests/support/CommandOutput.h"
#include "tests/support/PeerJson.h"
#include "tests/support/Psnr.h"

#include "peer_streams.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

using nlohmann::json;

namespace {

// Pictures that may come late while the clock's estimate settles: one, or three on a machine
// slowed by ThreadSanitizer, whose stalls of 170 ms drop two.
#if defined(__SANITIZE_THREAD__)
constexpr double kSettling = 3;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr double kSettling = 3;
#else
constexpr double kSettling = 1;
#endif
#else
constexpr double kSettling = 1;
#endif

class LumrxPlayTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_dir = ::testing::TempDir() + "av/";
        s_made = std::system(("bash " LUM_SOURCE_DIR "/tests/streams/make_av.sh " + s_dir).c_str()) == 0;
        const auto [status, info] = CommandOutput("pactl info 2>/dev/null");
        std::smatch rate;
        if (status == 0 && std::regex_search(info, rate, std::regex("Default Sample Specification: \\S+ \\d+ch (\\d+)Hz")))
            s_rate = std::stoi(rate[1]);
    }
    void SetUp() override
    {
        if (!s_made)
            GTEST_FAIL() << "make_av.sh could not make the streams (FFmpeg with libx264 is needed)";
    }
    void NeedSound()
    {
        if (s_rate == 0)
            GTEST_SKIP() << "no PulseAudio server (scripts/test starts one)";
    }

    // Plays `stream` and gives its statistics; `with` is added to the command line.
    static json Play(const std::string& stream, const std::string& service, const std::string& with, int* status = nullptr)
    {
        const std::string stats = s_dir + "stats.json";
        std::remove(stats.c_str());
        const auto result = CommandOutput(LUMRX_PATH " play " + stream + " " + service + " --stats " + stats + " " + with +
                                          " 2>/dev/null");
        if (status)
            *status = result.first;
        return ReadJson(stats);
    }
    // What FFmpeg decodes of `stream`'s sound: stereo at `rate`, interleaved.
    static std::vector<float> FfmpegSound(const std::string& stream, int rate)
    {
        const auto [status, raw] = CommandOutput("ffmpeg -v error -i " + stream + " -vn -ac 2 -ar " + std::to_string(rate) +
                                                 " -f f32le -");
        std::vector<float> samples(raw.size() / sizeof(float));
        std::copy(raw.data(), raw.data() + samples.size() * sizeof(float), reinterpret_cast<char*>(samples.data()));
        return status == 0 ? samples : std::vector<float>();
    }

    static std::string s_dir;
    static bool s_made;
    static int s_rate;   // the sound server's, 0 without one
};

std::string LumrxPlayTest::s_dir;
bool LumrxPlayTest::s_made = false;
int LumrxPlayTest::s_rate = 0;

// The correlation of `length` stereo frames of `a` from `at` with those of `b` from `lag`.
double Correlation(const std::vector<float>& a, std::size_t at, const std::vector<float>& b, std::size_t lag,
                   std::size_t length)
{
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < 2 * length; ++i) {
        const double x = a[2 * at + i], y = b[2 * lag + i];
        ab += x * y, aa += x * x, bb += y * y;
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

// Where in `b` frame `at` of `a` is: the best match of `window` frames every 8 frames, then
// of twice as many to the frame.
std::size_t Align(const std::vector<float>& a, std::size_t at, const std::vector<float>& b, std::size_t window)
{
    std::size_t best = 0;
    double bestCorrelation = -2;
    auto consider = [&](std::size_t lag, std::size_t length) {
        if (2 * (lag + length) > b.size() || 2 * (at + length) > a.size())
            return;
        if (const double c = Correlation(a, at, b, lag, length); c > bestCorrelation)
            best = lag, bestCorrelation = c;
    };
    for (std::size_t lag = 0; 2 * (lag + window) <= b.size(); lag += 8)
        consider(lag, window);
    bestCorrelation = -2;
    for (std::size_t lag = best > 8 ? best - 8 : 0, last = best + 8; lag <= last; ++lag)
        consider(lag, 2 * window);
    return best;
}

double Rms(const std::vector<float>& samples, std::size_t from, std::size_t frames)
{
    double sum = 0;
    for (std::size_t i = 2 * from; i < 2 * (from + frames); ++i)
        sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / double(2 * frames));
}

}  // namespace

// Every picture at its time on the program clock: the sample (MPEG-2 SD), 1080i H.264 with
// E-AC-3, time stamps that wrap at 2^33, and a stream whose times jump by 1000 s halfway.
TEST_F(LumrxPlayTest, PresentsEveryPictureAtItsTimeThroughWrapsAndJumps)
{
    struct Case { std::string stream, service; bool jumps; };
    for (const Case& played : {Case{LUM_SAMPLE_TS, "1002", false}, Case{s_dir + "hd1080i.ts", "1", false},
                               Case{s_dir + "wrap.ts", "1", false}, Case{s_dir + "jump.ts", "1", true}}) {
        SCOPED_TRACE(played.stream);
        int status = -1;
        const json stats = Play(played.stream, played.service, "--audio-out null", &status);
        ASSERT_EQ(status, 0);
        const json& video = stats["video"];
        ASSERT_GT(video["decoded"].get<int>(), 60);
        // at a jump the pictures between the two time lines may come too late
        EXPECT_GE(video["presented"].get<double>() + kSettling, (played.jumps ? 0.95 : 0.99) * video["decoded"].get<double>()) << video;
        EXPECT_EQ(video["repeated"], 0);
        EXPECT_NEAR(video["interval_ms"]["p95"].get<double>(), 40.0, 4.0) << video;
        EXPECT_EQ(video["resyncs"].get<int>() > 0, played.jumps) << video;
        EXPECT_GT(stats["audio"]["samples_played"].get<int>(), 48000) << "the sound was decoded and timed too";
        EXPECT_LT(stats["first_picture_ms"].get<double>(), 2500);
    }
}

// What the sink heard is FFmpeg's decode of the same sound (E-AC-3 5.1 downmixed as FFmpeg
// downmixes), in shape and level, whatever part of its start an output slow to begin skipped.
TEST_F(LumrxPlayTest, SoundHeardIsFfmpegsDecode)
{
    NeedSound();
    for (const char* name : {"mp2", "aac", "eac3_51"}) {
        SCOPED_TRACE(name);
        const std::string stream = s_dir + name + ".ts";
        const std::vector<float> theirs = FfmpegSound(stream, s_rate);
        ASSERT_GT(theirs.size(), std::size_t(4 * s_rate));
        CMonitorRecording recording(s_rate, 2);
        ASSERT_TRUE(recording.WaitUntilListening());
        int status = -1;
        Play(stream, "1", "--no-video", &status);
        ASSERT_EQ(status, 0);
        const std::vector<float> heard = recording.Finish();
        std::size_t first = 0;
        while (2 * first < heard.size() && std::fabs(heard[2 * first]) < 0.02f)
            ++first;
        const std::size_t window = std::size_t(s_rate) / 5, at = first + std::size_t(s_rate) / 2;   // 0.2 s, from 0.5 s in
        ASSERT_LT(2 * (at + 4 * window), heard.size()) << "less than a second and a half was heard";
        const std::size_t lag = Align(heard, at, theirs, 2 * window);   // tones: a long window tells the periods apart
        EXPECT_GT(Correlation(heard, at, theirs, lag, 4 * window), 0.98);
        EXPECT_NEAR(Rms(heard, at, 4 * window) / Rms(theirs, lag, 4 * window), 1.0, 0.05);
    }
}

// A beep heard for every white picture shown, at the moment the stream puts it: the beeps
// found in what the sink's monitor recorded and the flashes in lumrx's presentation log,
// both on the system's monotonic clock, against where FFmpeg's decode puts them (the MP2
// encoder's delay makes the stream's beeps 20 ms late on their pictures).
TEST_F(LumrxPlayTest, BeepsAreHeardWhenTheirFlashesAreShown)
{
    NeedSound();
    const std::string stream = s_dir + "sync.ts", log = s_dir + "presented.log";
    const json probe = json::parse(CommandOutput("ffprobe -v error -show_entries stream=start_time -of json " + stream).second);
    const std::vector<float> decoded = FfmpegSound(stream, 48000);   // from the first sound, the earliest stream
    std::size_t onset = 0;
    while (2 * onset < decoded.size() && std::fabs(decoded[2 * onset]) < 0.1f)
        ++onset;
    const double videoStart = std::stod(probe["streams"][0]["start_time"].get<std::string>()),
                 audioStart = std::stod(probe["streams"][1]["start_time"].get<std::string>());
    const double expected = 1000 * (audioStart + double(onset) / 48000 - (videoStart + 12.0 / 25));   // ms, the first pair

    CMonitorRecording recording(s_rate, 1);
    ASSERT_TRUE(recording.WaitUntilListening());
    int status = -1;
    const json stats = Play(stream, "1", "--presentation-log " + log, &status);
    ASSERT_EQ(status, 0);
    const std::vector<float> heard = recording.Finish(1.0);
    std::vector<std::int64_t> beeps, flashes;
    for (std::size_t i = 0, quiet = 0; i < heard.size(); ++i) {
        if (std::fabs(heard[i]) >= 0.1f && quiet > std::size_t(s_rate) / 4)
            beeps.push_back(recording.TimeOf(i));
        quiet = std::fabs(heard[i]) >= 0.1f ? 0 : quiet + 1;
    }
    std::ifstream lines(log);
    for (long long time, pts, brightness; lines >> time >> pts >> brightness;)
        if (brightness > 128)
            flashes.push_back(time);
    ASSERT_EQ(flashes.size(), 6u);
    std::vector<double> errors;   // heard minus shown, less what the stream has, ms
    std::string all;
    for (const std::int64_t flash : flashes)
        for (const std::int64_t beep : beeps)
            if (std::llabs(beep - flash) < 300000000) {
                errors.push_back(double(beep - flash) / 1e6 - expected);
                all += " " + std::to_string(errors.back());
            }
    ASSERT_GE(errors.size(), 5u) << "a beep for (almost) every flash; the first may fall in the sound's start";
    std::sort(errors.begin(), errors.end(), [](double a, double b) { return std::fabs(a) < std::fabs(b); });
    EXPECT_LE(std::fabs(errors[std::size_t(0.95 * double(errors.size() - 1) + 0.5)]), 20.0)
        << "heard minus shown, less the stream's own " << expected << " ms:" << all
        << "; lumrx's own figures: " << stats["av_offset_ms"];
}

// 16:9 pictures of 720x576 (64:45 samples), interlaced, come out 1024x576 and as FFmpeg's
// bwdif and scaler make them, and less like them woven.
TEST_F(LumrxPlayTest, SnapshotsAreDeinterlacedInTheirShape)
{
    const std::string stream = s_dir + "interlaced.ts", ours = s_dir + "ours.png", woven = s_dir + "woven.png",
                      theirs = s_dir + "theirs.png";
    const auto [status, out] = CommandOutput(LUMRX_PATH " snapshot " + stream + " 1 " + ours + " --at 0.2");
    ASSERT_EQ(status, 0);
    EXPECT_NE(out.find("1024x576"), std::string::npos) << out;
    ASSERT_EQ(CommandOutput(LUMRX_PATH " snapshot " + stream + " 1 " + woven + " --at 0.2 --no-deinterlace").first, 0);
    ASSERT_EQ(CommandOutput("ffmpeg -v error -y -i " + stream +
                            " -vf 'bwdif=mode=send_frame:parity=auto:deint=interlaced,scale=1024:576,select=eq(n\\,5)' "
                            "-frames:v 1 " + theirs).first, 0);
    const double deinterlaced = Psnr(ours, theirs), weave = Psnr(woven, theirs);
    EXPECT_GE(deinterlaced, 35.0);
    EXPECT_LT(weave, deinterlaced - 3) << "woven " << weave << " dB";
}

// Without a sound server the pictures still play, and the status line says why there is
// no sound; a radio service plays its sound alone; what lumrx reads is never written over.
TEST_F(LumrxPlayTest, PlaysWithoutSoundAndRefusesToWriteOverItsInput)
{
    const auto [status, out] = CommandOutput("PULSE_SERVER=unix:/nonexistent " LUMRX_PATH " play " LUM_SAMPLE_TS
                                             " 1002 --seconds 2 2>&1");
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("no sound: no sound server"), std::string::npos) << out;
    EXPECT_NE(out.find("MPEG-2 352x288p 25 fps"), std::string::npos) << out;
    const json radio = Play(LUM_SAMPLE_TS, "1004", "--seconds 2 --audio-out null");
    EXPECT_EQ(radio["video"]["decoded"], 0);
    EXPECT_GT(radio["audio"]["samples_played"].get<int>(), 48000);
    const std::string copy = s_dir + "input.ts";
    ASSERT_EQ(std::system(("cp " LUM_SAMPLE_TS " " + copy).c_str()), 0);
    for (const char* option : {"--audio-out ", "--stats ", "--presentation-log "}) {
        const auto refused = CommandOutput(LUMRX_PATH " play " + copy + " 1002 --seconds 1 " + std::string(option) + copy + " 2>&1");
        EXPECT_EQ(refused.first, 2) << option;
        EXPECT_NE(refused.second.find("is the stream being played"), std::string::npos) << refused.second;
    }
    EXPECT_EQ(CommandOutput("cmp " LUM_SAMPLE_TS " " + copy).first, 0);
}

// Bad input plays on with its counts: a change of sound format on the same PID (48 kHz
// stereo to 44.1 kHz mono), pictures that stop while the sound goes on, and a video PID
// with every 20th packet overwritten. (The file plays at its pace: its first group of
// pictures has gone by when the decoder opens, a second in, and some of its sound.)
TEST_F(LumrxPlayTest, PlaysOnThroughAFormatChangeAPidThatStopsAndDamage)
{
    int status = -1;
    const json format = Play(s_dir + "format.ts", "1", "--audio-out null", &status);
    EXPECT_EQ(status, 0);
    EXPECT_GT(format["audio"]["samples_played"].get<int>(), 3 * 48000) << format;   // of 4 s
    EXPECT_GE(format["video"]["decoded"].get<int>(), 70) << format;
    EXPECT_GE(format["video"]["presented"].get<double>() + kSettling, format["video"]["decoded"].get<double>()) << format;
    const json stops = Play(s_dir + "stops.ts", "1", "--audio-out null", &status);
    EXPECT_EQ(status, 0);
    EXPECT_GT(stops["audio"]["samples_played"].get<int>(), 3 * 48000) << stops;   // of 4 s
    EXPECT_GE(stops["video"]["decoded"].get<int>(), 20) << stops;
    EXPECT_GE(stops["video"]["presented"].get<double>() + kSettling, stops["video"]["decoded"].get<double>()) << stops;
    const json damaged = Play(s_dir + "damaged.ts", "1", "--audio-out null", &status);
    EXPECT_EQ(status, 0);
    EXPECT_GE(damaged["video"]["presented"].get<int>(), 50) << damaged;
    EXPECT_EQ(damaged["video"]["repeated"], 0) << damaged;
    EXPECT_GT(damaged["audio"]["samples_played"].get<int>(), 3 * 48000) << damaged;   // of 4 s
}

// --audio picks the sound track by its language, the first where the service lacks it.
TEST_F(LumrxPlayTest, PlaysTheSoundOfTheLanguageAsked)
{
    const std::string stream = s_dir + "languages.ts", wave = s_dir + "language.wav";
    for (const auto& [language, hertz] : {std::pair<const char*, double>{"fra", 880}, {"deu", 440}, {"eng", 440}}) {
        std::remove(wave.c_str());
        int status = -1;
        Play(stream, "1", std::string("--no-video --audio ") + language + " --audio-out " + wave, &status);
        ASSERT_EQ(status, 0) << language;
        const std::vector<float> heard = FfmpegSound(wave, 48000);
        ASSERT_GT(heard.size(), std::size_t(2 * 48000)) << language;
        int crossings = 0;   // of the left channel, over a second from the middle
        const std::size_t from = heard.size() / 4 & ~std::size_t(1);
        for (std::size_t i = from + 2; i < from + 2 * 48000; i += 2)
            crossings += (heard[i - 2] < 0) != (heard[i] < 0);
        EXPECT_NEAR(crossings / 2.0, hertz, hertz * 0.03) << language;
    }
}
