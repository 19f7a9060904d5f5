#pragma once
// A reception through a loss, as a host runs it: a receiver over a live source recording
// into a file, watched from the test's thread. The test says when the data stopped and when
// it came back; the run says when the source noticed and when packets flowed again, then
// checks that the recording is what the source was sent, byte for byte, across the gap.
#include "core/CDVBRecordingParameters.h"
#include "core/CDVBRecoveringSource.h"
#include "core/CDVBTiming.h"
#include "receiver/CDVBTransportStreamReceiver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

class CRecoveryRun
{
public:
    using Clock = std::chrono::steady_clock;

    CRecoveryRun(CDVBTransportStreamSource* source, const std::string& path)
        : m_source(source), m_receiver(source, nullptr), m_path(path)
    {
        m_receiver.Initialise();
        m_parameters.m_fileName = path.c_str();
        EXPECT_TRUE(m_receiver.StartRecording(&m_parameters));
        m_receiver.Start();
    }
    ~CRecoveryRun() { Finish(); }
    // The receiver let go of the source, which may be closed after this.
    void Finish()
    {
        if (!m_finished)
            m_receiver.DeInitialise();
        m_finished = true;
    }

    CDVBTransportStreamReceiver& Receiver() { return m_receiver; }
    CDVBRecoveringSource* Recovering() { return dynamic_cast<CDVBRecoveringSource*>(m_source); }

    // Seconds from `from` until `done`, polled every 10 ms for at most `limit` seconds; the
    // limit when it never is.
    template <typename Done>
    static double SecondsUntil(Clock::time_point from, Done done, double limit = 20)
    {
        while (!done() && Clock::now() - from < std::chrono::duration<double>(limit))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return std::chrono::duration<double>(Clock::now() - from).count();
    }
    // How long after `stopped` the source said it was without data.
    double Noticed(Clock::time_point stopped)
    {
        const double seconds = SecondsUntil(stopped, [this] { return Recovering()->IsRecovering(); });
        std::printf("noticed %.3f s after the data stopped\n", seconds);   // the figure, for the record
        return seconds;
    }
    // How long after `returned` (waited for first) a packet came through the receiver.
    double Flowing(Clock::time_point returned)
    {
        std::this_thread::sleep_until(returned);
        const std::uint64_t before = m_receiver.GetPacketsReceived();
        const double seconds = SecondsUntil(returned, [&] { return m_receiver.GetPacketsReceived() > before; });
        std::printf("flowing %.3f s after the data came back\n", seconds);
        return seconds;
    }
    void Stop()
    {
        m_receiver.Stop();
        EXPECT_TRUE(m_receiver.WaitForStop(5000));
        m_receiver.StopRecording();
        m_losses = Recovering()->GetLosses();   // the source may be closed before Compare
    }
    // After Stop: the recording against every byte the source was sent (`sent`), one run of
    // it, with what came before the receiver started and after it stopped left out; and the
    // one gap, of about `gapSeconds`, counted.
    void Compare(const std::vector<BYTE>& sent, double gapSeconds)
    {
        std::ifstream file(m_path, std::ios::binary);
        const std::vector<BYTE> recorded((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        ASSERT_GT(recorded.size(), 65536u);
        const auto at = std::search(sent.begin(), sent.end(), recorded.begin(), recorded.begin() + 65536);
        ASSERT_NE(at, sent.end()) << "the recording does not start with what was sent";
        const std::size_t head = std::size_t(at - sent.begin());
        ASSERT_LE(head + recorded.size(), sent.size());
        EXPECT_TRUE(std::equal(recorded.begin(), recorded.end(), at)) << "the recording differs from what was sent";
        EXPECT_LT(head, 2u << 20) << "what came before the reception started";
        EXPECT_LT(sent.size() - head - recorded.size(), 2u << 20) << "what came after it stopped";
        EXPECT_EQ(m_receiver.GetGaps(), 1u);
        EXPECT_NEAR(double(m_receiver.GetGapTime()) / CDVBTiming::GetSystemClockFrequency(), gapSeconds, 1.0);
        EXPECT_EQ(m_losses, 1u);
    }

private:
    CDVBTransportStreamSource* m_source;
    CDVBTransportStreamReceiver m_receiver;
    std::string m_path;
    CDVBRecordingParameters m_parameters;
    std::uint64_t m_losses = 0;
    bool m_finished = false;
};
