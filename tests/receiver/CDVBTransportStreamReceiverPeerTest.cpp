// The whole receive path on a stream FFmpeg and libdvbpsi wrote, through the real thread,
// checked against libdvbpsi's reading; lumrx's test compares PIDs and names in full.
#include "receiver/CDVBTransportStreamReceiver.h"

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
#include <map>
#include <set>

using nlohmann::json;
using H = CDVBTransportStreamUpdateHandler;

// Played at its own rate on a manual clock moved a millisecond at a time: exact under any load.
TEST(CDVBTransportStreamReceiverPeer, ThreeProgramsAtTheStreamsOwnRate)
{
    const json peer = ReadJson(LUM_PEER_STREAM("three_programs.dvbpsi.json"));
    ASSERT_FALSE(peer.is_discarded());
    CManualClock time;
    CFileSource source;
    ASSERT_TRUE(source.Load(LUM_PEER_THREE_PROGRAMS_TS));
    const double rate = LUM_PEER_THREE_PROGRAMS_BITS_PER_SECOND;   // constant, as lumrx reads from its PCRs
    source.SetRate(rate, &time);
    CDVBStandardTSUpdateHandler handler;
    CDVBTransportStreamReceiver receiver(&source, &handler, &time);
    ASSERT_TRUE(receiver.Initialise());
    receiver.Start();
    ASSERT_TRUE(time.WaitForWaiters(1));

    // read as an application does while the stream runs, under the programs lock
    std::map<int, std::set<int>> updates;   // update type -> programs
    auto drain = [&] {
        for (std::pair<WORD, int> u; handler.RemoveUpdate(u.first, u.second);)
            updates[u.second].insert(u.first);
    };
    CDVBProgramClock clock;
    clock.SetTransportStreamReceiver(&receiver);
    std::int64_t clockAt5 = 0, clockAt7 = 0;
    int bitrateAt5 = 0;
    for (int ms = 1; !source.WaitUntilDrained(0); ++ms) {
        ASSERT_LT(ms, 60000);
        ASSERT_TRUE(time.Run(1, 1000000, 1));
        if (ms % 100 == 0) {
            CSingleLock guard(*receiver.GetProgramsSection());
            drain();
            EXPECT_LE(receiver.GetProgramsList()->size(), 3u);
        }
        if (ms == 5000) {
            bitrateAt5 = receiver.GetBitrate();
            ASSERT_TRUE(clock.SetProgram(101));
            ASSERT_TRUE(clock.GetProgramClock(clockAt5, true));
        }
        ASSERT_TRUE(ms != 7000 || clock.GetProgramClock(clockAt7, true));
    }
    receiver.Stop();
    ASSERT_TRUE(receiver.WaitForStop(10000));
    drain();
    EXPECT_NEAR(bitrateAt5, rate, rate * 0.01) << "the bitrate, from the PCRs, is the rate played at";
    EXPECT_NEAR(double(clockAt7 - clockAt5) / 90000.0, 2.0, 0.02) << "the program clock runs with the played one";
    for (int type : {H::UpdatePAT, H::UpdatePMT, H::UpdateSDT, H::UpdateEIT})
        EXPECT_EQ(updates[type], (std::set<int>{101, 102, 103})) << "update type " << type;
    EXPECT_TRUE(receiver.HasCompleteBasicServiceInformation());

    // now, with its local start time worked out by the C library rather than ours
    for (const json& eit : peer["eits"]) {
        if (eit["table_id"] != 0x4E || eit["section_number"] != 0 || eit["events"].empty())
            continue;
        const json& event = eit["events"][0];
        CDVBScheduleEntry now, next;
        ASSERT_TRUE(receiver.GetNowAndNextInformation(WORD(eit["service_id"].get<int>()), &now, &next) & 1);
        const int bcd = event["start_bcd"], mjd = event["mjd"];
        auto digits = [](int b) { return (b >> 4) * 10 + (b & 15); };
        const std::time_t utc = std::time_t(mjd - 40587) * 86400 + digits(bcd >> 16) * 3600 +
                                digits((bcd >> 8) & 0xFF) * 60 + digits(bcd & 0xFF);
        std::tm local{};
        localtime_r(&utc, &local);
        EXPECT_EQ(now.m_localStartTime.wHour, local.tm_hour);
        EXPECT_EQ(now.m_localStartTime.wMinute, local.tm_min);
    }
}
