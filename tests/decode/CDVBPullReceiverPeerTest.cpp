// Through the real receive thread, on a stream FFmpeg wrote.
#include "decode/CDVBPullReceiver.h"

#include "receiver/CDVBTransportStreamReceiver.h"
#include "tests/support/CFileSource.h"

#include "peer_streams.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

namespace {

// A pull receiver that notes the time stamps each PES packet brings.
struct CStampNoter : CDVBPullReceiver
{
    CStampNoter() : CDVBPullReceiver(64, 65536) {}
    ~CStampNoter() override { StopAndWait(); }
    void OnTimestamps(DWORD flags, std::int64_t pts, std::int64_t dts) override
    {
        m_pts.push_back(pts);
        CDVBPullReceiver::OnTimestamps(flags, pts, dts);
    }
    std::vector<std::int64_t> m_pts;   // read once reception has stopped
};

}  // namespace

// The PTS a pull receiver stamps on its buffers are those ffprobe lists, in stream order.
TEST(CDVBPullReceiverPeer, StampsThePTSFfprobeLists)
{
    FILE* pipe = ::popen("ffprobe -v error -select_streams 0 -show_entries packet=pts -of csv=p=0 " LUM_PEER_STREAM("modern.ts"), "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::int64_t> expected;
    for (long long pts; std::fscanf(pipe, "%lld,", &pts) == 1;)
        expected.push_back(pts);
    ::pclose(pipe);
    CFileSource source;
    ASSERT_TRUE(source.Load(LUM_PEER_STREAM("modern.ts")));
    CDVBTransportStreamReceiver receiver(&source, nullptr);
    auto* noter = new CStampNoter;
    receiver.AddPIDReceiver(0x100, noter);
    ASSERT_TRUE(receiver.Initialise());
    receiver.Start();
    ASSERT_TRUE(source.WaitUntilDrained(60000));
    receiver.Stop();
    ASSERT_TRUE(receiver.WaitForStop(10000));
    EXPECT_GT(expected.size(), 10u);
    EXPECT_EQ(noter->m_pts, expected);
    receiver.DeInitialise();
}
