// Recording through the real receive thread on a manual clock, and through a recorder on
// a disk of the test's own: the file holds every read as delivered, whole reads go
// missing when the disk falls behind (none when asked to wait), and failures are said.
#include "core/CDVBRecorder.h"
#include "core/CDVBRecordingParameters.h"
#include "receiver/CDVBTransportStreamReceiver.h"
#include "platform/CEvent.h"
#include "platform/CManualClock.h"
#include "tests/support/CScriptedSource.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    void Deliver(const std::vector<Bytes>& reads)
    {
        for (const Bytes& read : reads)
            m_source.AddStep(read);
        ASSERT_TRUE(m_clock.Run(int(reads.size()), CDVBTransportStreamReceiver::QuietPeriodMs * 1000000, 1));
    }
    static Bytes Joined(const std::vector<Bytes>& reads)
    {
        Bytes all;
        for (const Bytes& read : reads)
            all.insert(all.end(), read.begin(), read.end());
        return all;
    }
    Bytes FileBytes(const char* name)
    {
        std::ifstream file(m_dir + name, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    const std::string m_dir = ::testing::TempDir();
    CManualClock m_clock;
    CScriptedSource m_source;
    CDVBTransportStreamReceiver m_receiver{&m_source, nullptr, &m_clock};
};

}  // namespace

TEST_F(CDVBRecorderTest, TheFileHoldsEveryReadAsDeliveredUpToTheStop)
{
    const std::vector<Bytes> first = {Read(1, 1), Read(1024, 2), {}, Read(7, 3)};
    ASSERT_TRUE(Record(m_dir + "first.ts"));
    Deliver(first);
    ASSERT_TRUE(Record(m_dir + "second.ts"));   // closes the first with all received before
    Deliver({Read(3, 4)});
    EXPECT_TRUE(m_receiver.StopRecording());   // at once: the last buffers are still written
    EXPECT_EQ(FileBytes("first.ts"), Joined(first));
    EXPECT_EQ(FileBytes("second.ts"), Read(3, 4));
    EXPECT_EQ(m_receiver.GetRecorder().GetBytesWritten(), 3u * 188);
    EXPECT_TRUE(m_receiver.StopRecording());   // without a recording: nothing to do
}

// A reader that does not keep up: the record thread blocks in its first write, ten reads
// fill the ten buffers, and the reads after them are left out whole.
TEST_F(CDVBRecorderTest, ARecordThreadHeldBackLosesWholeReadsAndCorruptsNone)
{
    const std::string fifo = m_dir + "slow.fifo";
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);   // the writer's open must not block
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
        for (ssize_t n; (n = ::read(reader, chunk, sizeof chunk)) > 0;)
            got.insert(got.end(), chunk, chunk + n);
    });
    m_receiver.StopRecording();   // writes the nine waiting buffers, then closes
    drain.join();
    ::close(reader);
    reads.resize(10);
    EXPECT_TRUE(got == Joined(reads)) << got.size() << " bytes";
}

// lumrx stops on --seconds or Ctrl-C between two wakes of the receive thread: what the
// source holds then was received before the stop.
TEST_F(CDVBRecorderTest, WhatTheSourceHoldsAtTheStopIsDispatchedAndRecorded)
{
    ASSERT_TRUE(Record(m_dir + "last.ts"));
    m_source.AddStep(Read(7, 5));   // after the last wake
    m_receiver.Stop();
    ASSERT_TRUE(m_receiver.WaitForStop(10000));
    EXPECT_EQ(m_receiver.GetPacketsReceived(), 7u);
    m_receiver.StopRecording();
    EXPECT_EQ(FileBytes("last.ts"), Read(7, 5));
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
    EXPECT_EQ(m_receiver.GetRecorder().GetWriteErrors(), std::uint64_t(CDVBRecorder::WriteAttempts)) << "then given up";
}

namespace {

// A disk whose n-th write fails once, and whose writes can be held back until released.
// The test's thread plays the receive thread.
class CTestDisk : public CDVBRecorder
{
public:
    ~CTestDisk() override
    {
        m_release.Set();
        Stop();   // before this class goes: the record thread calls WriteFile
    }
    long WriteFile(const BYTE* data, DWORD length) override
    {
        m_release.Wait(INFINITE);
        if (++m_calls == m_failingCall) {
            errno = EIO;
            return -1;
        }
        return CDVBRecorder::WriteFile(data, length);
    }
    void RecordReads(const std::vector<Bytes>& reads, std::size_t from, std::size_t to)
    {
        for (std::size_t i = from; i < to; ++i)
            Record(reads[i].data(), DWORD(reads[i].size()));
    }
    int m_failingCall = 0;
    CEvent m_release{true, true};

private:
    int m_calls = 0;   // record thread only
};

}  // namespace

TEST_F(CDVBRecorderTest, AOneOffWriteErrorIsCountedAndLosesNothing)
{
    CTestDisk disk;
    disk.m_failingCall = 2;
    ASSERT_TRUE(disk.Start((m_dir + "flaky.ts").c_str(), 188 * 100));
    const std::vector<Bytes> reads = {Read(3, 1), Read(4, 2), Read(5, 3)};
    disk.RecordReads(reads, 0, reads.size());
    disk.Stop();
    EXPECT_EQ(FileBytes("flaky.ts"), Joined(reads));
    EXPECT_EQ(disk.GetError(), 0) << "the recording went on";
    EXPECT_EQ(disk.GetWriteErrors(), 1u);
    EXPECT_EQ(disk.GetFirstWriteError(), EIO);
}

// On simulated time the receive thread waits for the disk: the eleventh read, which finds
// all ten buffers out, waits until the held write goes through, and no read is lost.
TEST_F(CDVBRecorderTest, WaitingForFreeBuffersLosesNoReadWhenTheDiskFallsBehind)
{
    CTestDisk disk;
    disk.m_release.Reset();
    ASSERT_TRUE(disk.Start((m_dir + "slow.ts").c_str(), 188 * 100, nullptr, true));
    std::vector<Bytes> reads;
    for (int i = 0; i < CDVBRecorder::BufferCount + 2; ++i)
        reads.push_back(Read(2, BYTE(i)));
    disk.RecordReads(reads, 0, CDVBRecorder::BufferCount);
    std::thread receive([&] { disk.RecordReads(reads, CDVBRecorder::BufferCount, reads.size()); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (disk.GetReadsWaited() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_EQ(disk.GetReadsWaited(), 1u);
    disk.m_release.Set();
    receive.join();
    disk.Stop();
    EXPECT_EQ(disk.GetReadsDropped(), 0u);
    EXPECT_TRUE(FileBytes("slow.ts") == Joined(reads));
}
