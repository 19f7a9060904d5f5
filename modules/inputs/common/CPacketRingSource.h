#pragma once
// A source whose own thread finds whole packets in what it receives (a socket's datagrams,
// a DVR's reads) and queues them in a fixed ring that ReadBuffer drains without waiting:
// the network and tuner inputs. Start empties the ring, so that a reception period
// begins with what comes after it. A second without a packet is a loss, which the source
// works to end by reopening (CDVBRecoveringSource).
#include "core/CDVBRecoveringSource.h"
#include "core/CDVBTransportStreamSource.h"
#include "modules/inputs/common/CTransportPacketRing.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CTransportPacketFramer;

class CPacketRingSource : public CDVBTransportStreamSource, public CDVBRecoveringSource
{
public:
    static constexpr std::size_t RingPackets = 65536;   // 12 MB: seconds of a multiplex
    static constexpr std::chrono::milliseconds LossAfter{800};   // noticed within a second, the polls' time in it
    static constexpr std::chrono::milliseconds LongestBackOff{4000};

    ~CPacketRingSource() override;

    bool Start() override;
    DWORD ReadBuffer(BYTE* buffer, DWORD size) override;

    bool IsRecovering() const override { return m_recovering; }
    std::uint64_t GetLosses() const override { return m_losses; }
    std::uint64_t GetReopenings() const override { return m_reopenings; }

    // After a failed Open: CLUMInputPluginExtension's code and why, for people.
    int GetFailure() const { return m_failure; }
    const std::string& GetFailureText() const { return m_failureText; }

protected:
    CPacketRingSource();

    // On the receiving thread only. `datagram`: the bytes are one UDP or RTP payload,
    // which ends with a packet.
    void Feed(const BYTE* data, std::size_t length, bool datagram = false);
    // ", 12 bytes skipped to resync, 3 packets not read in time, reception lost 2 times,
    // reopened 3 times", as far as they apply.
    void AppendRingStatus(CString& status);
    // On the receiving thread, a few times a second. After LossAfter without a packet the
    // stream is lost: Reopen at once, then after 1, 2, 4 s (LongestBackOff at most) until a
    // packet comes. Silence counts from the first call, or from NoteAlive.
    void WatchSilence();
    void NoteAlive() { m_lastPacket = std::chrono::steady_clock::now(); }
    // Gets the stream back (rejoins, reconnects, retunes): true when it did something.
    virtual bool Reopen() { return false; }
    // For a source that reopens on its own schedule.
    void CountReopening() { ++m_reopenings; }
    bool Fail(int failure, const std::string& text);

    int m_failure = 0;
    std::string m_failureText;

private:
    std::unique_ptr<CTransportPacketFramer> m_framer;
    std::vector<BYTE> m_packets;
    CTransportPacketRing m_ring;
    std::atomic<std::uint64_t> m_skippedBytes{0};
    // the receiving thread's, but for the counts
    std::chrono::steady_clock::time_point m_lastPacket{};
    std::chrono::steady_clock::time_point m_nextReopen{};
    std::chrono::milliseconds m_backOff{0};
    std::atomic<bool> m_recovering{false};
    std::atomic<std::uint64_t> m_losses{0};
    std::atomic<std::uint64_t> m_reopenings{0};
};
