// The whole receive path on a stream FFmpeg and libdvbpsi wrote, delivered at its own rate
// through the real receive thread: the program list, the updates, now and next, the
// bitrate and the program clock, checked against libdvbpsi's and ffprobe's readings.
#include "core/CDVBTransportStreamReceiver.h"
#include "decode/CDVBProgramClock.h"
#include "model/CDVBStandardTSUpdateHandler.h"
#include "platform/CManualClock.h"
#include "platform/CSingleLock.h"
#include "tests/support/CFileSource.h"

#include "tests/support/PeerJson.h"

#include "peer_streams.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <ctime>
#include <fstream>
#include <map>
#include <set>

using nlohmann::json;

namespace {

constexpr std::int64_t kMs = 1000000;

const json& WithId(const json& services, int id)
{
    static const json none;
    for (const json& service : services)
        if (service["service_id"] == id)
            return service;
    return none;
}

// The local wall time of an EIT start, worked out with the C library rather than ours.
std::pair<int, int> LocalHourMinute(int mjd, int bcd)
{
    auto digits = [](int b) { return (b >> 4) * 10 + (b & 15); };
    const std::time_t utc = std::time_t(mjd - 40587) * 86400 + digits(bcd >> 16) * 3600 + digits((bcd >> 8) & 0xFF) * 60 +
                            digits(bcd & 0xFF);
    std::tm local{};
    localtime_r(&utc, &local);
    return {local.tm_hour, local.tm_min};
}

}  // namespace

// The stream is played at its own rate on a manual clock that the test moves a
// millisecond at a time, so rates and clocks are exact whatever the machine's load.
TEST(ServiceModelPeerTest, ThreeProgramsAtTheStreamsOwnRate)
{
    const json peer = ReadJson(LUM_PEER_STREAM("three_programs.dvbpsi.json"));
    const json probe = ReadJson(LUM_PEER_STREAM("three_programs.ffprobe.json"));
    ASSERT_FALSE(peer.is_discarded());
    CManualClock time;
    CFileSource source;
    ASSERT_TRUE(source.Load(LUM_PEER_THREE_PROGRAMS_TS));
    const double rate = source.MeasureRate();
    ASSERT_NEAR(rate, LUM_PEER_THREE_PROGRAMS_BITS_PER_SECOND, 0.01 * LUM_PEER_THREE_PROGRAMS_BITS_PER_SECOND);
    source.SetRate(rate, &time);

    CDVBStandardTSUpdateHandler handler;
    CDVBTransportStreamReceiver receiver(&source, &handler, &time);
    ASSERT_TRUE(receiver.Initialise());
    receiver.Start();
    ASSERT_TRUE(time.WaitForWaiters(1));

    // Read as an application does, from this thread, while the stream runs: the programs
    // under the programs lock, the updates drained inside it.
    std::map<int, std::set<int>> updates;   // update type -> programs
    CDVBProgramClock clock;
    clock.SetTransportStreamReceiver(&receiver);
    std::int64_t clockAt5 = 0, clockAt7 = 0;
    int bitrateAt5 = 0;
    for (int ms = 1; !source.WaitUntilDrained(0); ++ms) {
        ASSERT_LT(ms, 60000);
        ASSERT_TRUE(time.Run(1, kMs, 1));
        if (ms % 100 == 0) {
            CSingleLock guard(*receiver.GetProgramsSection());
            WORD program = 0;
            int type = 0;
            while (handler.RemoveUpdate(program, type))
                updates[type].insert(program);
            for (const CDVBProgram* p : *receiver.GetProgramsList())
                EXPECT_FALSE(p->m_serviceName.IsEmpty());
        }
        if (ms == 5000) {
            bitrateAt5 = receiver.GetBitrate();
            ASSERT_TRUE(clock.SetProgram(101));
            ASSERT_TRUE(clock.GetProgramClock(clockAt5, true));
        }
        if (ms == 7000) {
            ASSERT_TRUE(clock.GetProgramClock(clockAt7, true));
        }
    }
    receiver.Stop();
    ASSERT_TRUE(receiver.WaitForStop(10000));
    {
        WORD program = 0;
        int type = 0;
        while (handler.RemoveUpdate(program, type))
            updates[type].insert(program);
    }

    RecordProperty("played_bits_per_second", std::to_string(rate));
    RecordProperty("measured_bits_per_second", std::to_string(bitrateAt5));
    // the bitrate, from the PCRs, lies within 1% of the rate the stream was played at
    EXPECT_NEAR(bitrateAt5, rate, rate * 0.01);
    // the program clock runs with the clock the stream was played by: two seconds, within 1%
    EXPECT_NEAR(double(clockAt7 - clockAt5) / 90000.0, 2.0, 0.02);

    EXPECT_EQ(updates[CDVBTransportStreamUpdateHandler::UpdatePAT], (std::set<int>{101, 102, 103}));
    EXPECT_EQ(updates[CDVBTransportStreamUpdateHandler::UpdatePMT], (std::set<int>{101, 102, 103}));
    EXPECT_EQ(updates[CDVBTransportStreamUpdateHandler::UpdateSDT], (std::set<int>{101, 102, 103}));
    EXPECT_EQ(updates[CDVBTransportStreamUpdateHandler::UpdateEIT], (std::set<int>{101, 102, 103}));
    EXPECT_TRUE(receiver.HasCompleteBasicServiceInformation());

    // what lumrx's and the table peer tests check in full, once here through the thread:
    // names, and now with its local start time worked out by the C library
    for (const json& eit : peer["eits"]) {
        if (eit["table_id"] != 0x4E || eit["section_number"] != 0 || eit["events"].empty())
            continue;
        const json& event = eit["events"][0];
        CDVBScheduleEntry now, next;
        ASSERT_TRUE(receiver.GetNowAndNextInformation(WORD(eit["service_id"].get<int>()), &now, &next) & 1);
        EXPECT_EQ(now.m_eventName.Str(), Unhex(event["name_hex"]));
        const auto [hour, minute] = LocalHourMinute(event["mjd"], event["start_bcd"]);
        EXPECT_EQ(now.m_localStartTime.wHour, hour);
        EXPECT_EQ(now.m_localStartTime.wMinute, minute);
    }
    CSingleLock guard(*receiver.GetProgramsSection());   // the thread has stopped; the lock is still the rule
    ASSERT_EQ(receiver.GetProgramsList()->size(), 3u);
    for (const json& p : probe["programs"])
        EXPECT_EQ(receiver.GetProgram(WORD(p["program_id"].get<int>()))->m_pcrPid, p["pcr_pid"]);
    EXPECT_EQ(receiver.GetProgram(102)->m_serviceName.Str(), Unhex(WithId(peer["sdt"]["services"], 102)["name_hex"]));
}
