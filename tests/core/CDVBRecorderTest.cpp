// Recording through the real receive thread on a manual clock, and through a recorder on a
// disk of the test's own: the file holds every read as delivered, whole reads go missing when
// the disk falls behind (none when asked to wait), and a write error is tried again.
#include "core/CDVBRecorder.h"
#include "core/CDVBRecordingParameters.h"
#include "receiver/CDVBTransportStreamReceiver.h"
#include "platform/CEvent.h"
#include "platform/CManualClock.h"
#include "tests/support/CScriptedSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

// `packets` packets whose every byte after the sync byte is `mark`.
Bytes Read(int packets, BYTE mark)
{
    Bytes read(std::size_t(packets) * 188, mark);
    for (std::size_t at = 0; at < read.size(); at += 188)
        read[at] = 0x47;
    return read;
}

Bytes Joined(const std::vector<Bytes>& reads)
{
    Bytes all;
    for (const Bytes& read : reads)
        all.insert(all.end(), read.begin(), read.end());
    return all;
}

std::string TempPath(const char* name)
{
    return ::testing::TempDir() + name;
}

Bytes FileBytes(const char* name)
{
    std::ifstream file(TempPath(name), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A disk that takes at most Chunk bytes a write, fails the writes numbered from m_firstFailing
// for m_failures calls (with EIO, or by taking nothing when m_takesNothing), and holds writes back until m_release is set. The test's thread plays
// the receive thread.
class CTestDisk : public CDVBRecorder
{
public:
    static constexpr DWORD Chunk = 100;
    ~CTestDisk() override
    {
        m_release.Set();
        Stop();   // before this class goes: the record thread calls WriteFile
    }
    long WriteFile(const BYTE* data, DWORD length) override
    {
        m_release.Wait(INFINITE);
        const int call = ++m_calls;
        if (call >= m_firstFailing && call < m_firstFailing + m_failures) {
            errno = m_takesNothing ? 0 : EIO;
            return m_takesNothing ? 0 : -1;
        }
        return CDVBRecorder::WriteFile(data, std::min(length, Chunk));
    }
    void RecordReads(const std::vector<Bytes>& reads, std::size_t from, std::size_t to)
    {
        for (std::size_t i = from; i < to; ++i)
            Record(reads[i].data(), DWORD(reads[i].size()));
    }
    int m_firstFailing = 0, m_failures = 0;
    bool m_takesNothing = false;
    CEvent m_release{true, true};

private:
    int m_calls = 0;   // record thread only
};

}  // namespace

// A new recording closes the last with all received before; lumrx stops on --seconds or
// Ctrl-C between two wakes of the receive thread, and what the source holds then is recorded.
TEST(CDVBRecorderTest, TheFileHoldsEveryReadAsDeliveredUpToTheStop)
{
    CManualClock clock;
    CScriptedSource source;
    CDVBTransportStreamReceiver receiver(&source, nullptr, &clock);
    ASSERT_TRUE(receiver.Initialise());
    receiver.Start();
    ASSERT_TRUE(clock.WaitForWaiters(1));
    auto record = [&](const char* name) {
        const std::string path = TempPath(name);
        CDVBRecordingParameters parameters;
        parameters.m_fileName = path.c_str();
        return receiver.StartRecording(&parameters);
    };
    auto deliver = [&](const std::vector<Bytes>& reads) {   // a read a wake
        for (const Bytes& read : reads)
            source.AddStep(read);
        return clock.Run(int(reads.size()), CDVBTransportStreamReceiver::QuietPeriodMs * 1000000, 1);
    };
    const std::vector<Bytes> first = {Read(1, 1), Read(1024, 2), {}, Read(7, 3)};
    ASSERT_TRUE(record("first.ts"));
    ASSERT_TRUE(deliver(first));
    ASSERT_TRUE(record("second.ts"));
    ASSERT_TRUE(deliver({Read(3, 4)}));
    source.AddStep(Read(7, 5));   // after the last wake
    receiver.Stop();
    ASSERT_TRUE(receiver.WaitForStop(10000));
    EXPECT_TRUE(receiver.StopRecording());
    EXPECT_EQ(FileBytes("first.ts"), Joined(first));
    EXPECT_EQ(FileBytes("second.ts"), Joined({Read(3, 4), Read(7, 5)}));
    EXPECT_EQ(receiver.GetRecorder().GetBytesWritten(), 10u * 188);
    EXPECT_TRUE(receiver.StopRecording());   // without a recording: nothing to do
}

// The record thread held back in its first write while twelve reads come: the ten buffers
// fill, and the two reads after them are left out whole; asked to wait (simulated time), the
// eleventh waits until the held write goes through, and no read is lost.
TEST(CDVBRecorderTest, ADiskThatFallsBehindLosesWholeReadsOrWithWaitingNone)
{
    for (bool wait : {false, true}) {
        SCOPED_TRACE(wait ? "waiting" : "not waiting");
        CTestDisk disk;
        disk.m_release.Reset();
        ASSERT_TRUE(disk.Start(TempPath("slow.ts").c_str(), 188 * 100, nullptr, wait));
        std::vector<Bytes> reads;
        for (int i = 0; i < CDVBRecorder::BufferCount + 2; ++i)
            reads.push_back(Read(2, BYTE(i)));
        disk.RecordReads(reads, 0, CDVBRecorder::BufferCount);
        std::thread receive([&] { disk.RecordReads(reads, CDVBRecorder::BufferCount, reads.size()); });
        if (!wait)
            receive.join();   // before the release, or a freed buffer would take the last read
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (wait && disk.GetReadsWaited() == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        EXPECT_EQ(disk.GetReadsWaited(), wait ? 1u : 0u);
        disk.m_release.Set();
        if (wait)
            receive.join();
        disk.Stop();
        EXPECT_EQ(disk.GetReadsDropped(), wait ? 0u : 2u);
        reads.resize(wait ? reads.size() : CDVBRecorder::BufferCount);
        EXPECT_TRUE(FileBytes("slow.ts") == Joined(reads));
    }
}

// A write that fails once is tried again and loses nothing; one that fails WriteAttempts
// times in a row ends the recording (a full disk, say), and nothing after it is written.
// A write that takes nothing and says no error fails as one that says EIO.
TEST(CDVBRecorderTest, AOneOffWriteErrorIsCountedAndALastingOneEndsTheRecording)
{
    const std::vector<Bytes> reads = {Read(3, 1), Read(4, 2), Read(5, 3)};
    for (const auto& [failures, takesNothing] : {std::pair(1, false), std::pair(CDVBRecorder::WriteAttempts, false),
                                                 std::pair(1, true), std::pair(CDVBRecorder::WriteAttempts, true)}) {
        SCOPED_TRACE(testing::Message() << failures << (takesNothing ? " taking nothing" : ""));
        const bool lasting = failures == CDVBRecorder::WriteAttempts;
        CTestDisk disk;
        disk.m_firstFailing = 2;
        disk.m_failures = failures;
        disk.m_takesNothing = takesNothing;
        ASSERT_TRUE(disk.Start(TempPath("flaky.ts").c_str(), 188 * 100));
        disk.RecordReads(reads, 0, reads.size());
        disk.Stop();
        const Bytes all = Joined(reads);
        EXPECT_EQ(FileBytes("flaky.ts"), lasting ? Bytes(all.begin(), all.begin() + CTestDisk::Chunk) : all);
        EXPECT_EQ(disk.GetError(), lasting ? EIO : 0);
        EXPECT_EQ(disk.GetWriteErrors(), std::uint64_t(failures));
        EXPECT_EQ(disk.GetFirstWriteError(), EIO);
    }
}
