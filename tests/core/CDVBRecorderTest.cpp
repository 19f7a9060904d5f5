// Recording through the real receive thread on a manual clock: the file holds every read
// as delivered, whole reads go missing when the disk falls behind, and failures are said.
#include "core/CDVBRecordingParameters.h"
#include "core/CDVBTransportStreamReceiver.h"
#include "platform/CManualClock.h"
#include "core/CDVBTransportStreamSource.h"
#include "tests/support/CTestPacket.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

// `packets` packets of PID 0x100 whose payload bytes all hold `mark`.
Bytes Read(int packets, BYTE mark)
{
    Bytes read;
    for (int i = 0; i < packets; ++i) {
        const Bytes packet = CTestPacket::Payload(0x100, false, mark);
        read.insert(read.end(), packet.begin(), packet.end());
    }
    return read;
}

// Delivers queued reads, one per tick; the queue is filled while the receive thread waits
// on the manual clock, so the clock's lock orders the two threads.
class CQueuedSource : public CDVBTransportStreamSource
{
public:
    DWORD ReadBuffer(BYTE* buffer, DWORD size) override
    {
        if (m_reads.empty())
            return 0;
        const DWORD n = DWORD(std::min<std::size_t>(m_reads.front().size(), size));
        if (n > 0)
            std::memcpy(buffer, m_reads.front().data(), n);
        m_reads.pop_front();
        return n;
    }
    std::deque<Bytes> m_reads;
};

Bytes FileBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

class CDVBRecorderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_receiver.Initialise());
        m_receiver.Start();
        ASSERT_TRUE(m_clock.WaitForWaiters(1));
    }
    void TearDown() override
    {
        m_receiver.Stop();
        m_receiver.WaitForStop(10000);
        m_receiver.DeInitialise();
    }
    bool Record(const std::string& path)
    {
        CDVBRecordingParameters parameters;
        parameters.m_fileName = path.c_str();
        return m_receiver.StartRecording(&parameters);
    }
    // One read per tick.
    void Deliver(const std::vector<Bytes>& reads)
    {
        for (const Bytes& read : reads)
            m_source.m_reads.push_back(read);
        ASSERT_TRUE(m_clock.Run(int(reads.size()), 1000000, 1));
    }

    const std::string m_dir = ::testing::TempDir();
    CManualClock m_clock;
    CQueuedSource m_source;
    CDVBTransportStreamReceiver m_receiver{&m_source, nullptr, &m_clock};
};

}  // namespace

TEST_F(CDVBRecorderTest, TheFileHoldsEveryReadAsDeliveredUpToTheStop)
{
    const std::vector<Bytes> first = {Read(1, 1), Read(1024, 2), {}, Read(7, 3)};
    ASSERT_TRUE(Record(m_dir + "first.ts"));
    Deliver(first);
    // a new recording closes the first file with everything received before it
    ASSERT_TRUE(Record(m_dir + "second.ts"));
    Deliver({Read(3, 4)});
    EXPECT_TRUE(m_receiver.StopRecording());   // at once: the last buffers are still written
    EXPECT_FALSE(m_receiver.GetRecorder().IsRecording());
    Bytes expected;
    for (const Bytes& read : first)
        expected.insert(expected.end(), read.begin(), read.end());
    EXPECT_EQ(FileBytes(m_dir + "first.ts"), expected);
    EXPECT_EQ(FileBytes(m_dir + "second.ts"), Read(3, 4));
    EXPECT_EQ(m_receiver.GetRecorder().GetBytesWritten(), 3u * 188);
    EXPECT_TRUE(m_receiver.StopRecording());   // without a recording: nothing to do

    ASSERT_TRUE(Record(m_dir + "quiet.ts"));   // a source that delivers nothing
    Deliver({{}, {}});
    m_receiver.StopRecording();
    EXPECT_TRUE(FileBytes(m_dir + "quiet.ts").empty());
}

// A reader that does not keep up: the record thread blocks in its first write, ten reads
// fill the ten buffers, and the reads after them are left out whole.
TEST_F(CDVBRecorderTest, ARecordThreadHeldBackLosesWholeReadsAndCorruptsNone)
{
    const std::string fifo = m_dir + "slow.fifo";
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);   // so that the writer's open succeeds
    ASSERT_GE(reader, 0);
    ASSERT_TRUE(Record(fifo));
    std::vector<Bytes> reads;
    for (int i = 0; i < 15; ++i)
        reads.push_back(Read(400, BYTE(i)));   // more than a pipe holds
    Deliver(reads);
    EXPECT_EQ(m_receiver.GetRecorder().GetReadsDropped(), 5u);

    Bytes got;
    std::thread drain([&] {
        ::fcntl(reader, F_SETFL, 0);
        BYTE chunk[65536];
        while (true) {
            const ssize_t n = ::read(reader, chunk, sizeof chunk);
            if (n <= 0)
                break;
            got.insert(got.end(), chunk, chunk + n);
        }
    });
    m_receiver.StopRecording();   // writes the nine waiting buffers, then closes
    drain.join();
    ::close(reader);
    Bytes expected;
    for (int i = 0; i < 10; ++i)
        expected.insert(expected.end(), reads[std::size_t(i)].begin(), reads[std::size_t(i)].end());
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
}

TEST_F(CDVBRecorderTest, AFileThatCannotBeWrittenIsSaid)
{
    EXPECT_FALSE(Record(m_dir + "no/such/folder/x.ts"));
    EXPECT_EQ(m_receiver.GetRecorder().GetError(), ENOENT);
    EXPECT_FALSE(m_receiver.GetRecorder().IsRecording());

    ASSERT_TRUE(Record("/dev/full"));   // a disk that is full
    Deliver({Read(10, 1)});
    m_receiver.StopRecording();
    EXPECT_EQ(m_receiver.GetRecorder().GetError(), ENOSPC);
}
