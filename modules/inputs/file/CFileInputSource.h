#pragma once
// Plays a transport stream file. A reader thread reads the file ahead into a queue of
// whole packets, so ReadBuffer never waits for the disk; ReadBuffer hands out what the
// pacing allows: in real time by the stream's PCR, at a fixed rate, or all there is.
#include "core/CDVBClockedSource.h"
#include "core/CDVBFiniteSource.h"
#include "core/CDVBTransportStreamSource.h"
#include "modules/inputs/common/CTransportPacketRing.h"
#include "modules/inputs/file/CFileMultiplexDefinition.h"
#include "platform/CClock.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <thread>

class CFileInputSource : public CDVBTransportStreamSource, public CDVBFiniteSource, public CDVBClockedSource
{
public:
    using Pacing = CFileMultiplexDefinition::Pacing;

    CFileInputSource(const CString& path, Pacing pacing, double megabitsPerSecond, bool loop);
    ~CFileInputSource() override;

    // False when the file cannot be read or does not hold transport packets.
    bool Open();
    // 188 or 192 when the first bytes of `file` hold packets of that size, from
    // `firstOffset` on; 188 for an empty file, a stream that delivers nothing; else 0.
    static std::size_t ReadPacketSize(std::FILE* file, std::size_t& firstOffset);

    bool Start() override;
    bool Stop() override;
    DWORD ReadBuffer(BYTE* buffer, DWORD size) override;
    void GetStatus(CString& status) override;
    bool HasEnded() override;
    void SetClock(CClock* clock) override { m_clock = clock; }

    static constexpr std::size_t QueuePackets = 4096;   // 770 KB read ahead: 150 ms at 40 Mbit/s

private:
    void ReaderThread();
    // Of the `queued` packets at the queue's head, how many may go now.
    template <class PacketAt>
    std::size_t PacketsDue(std::size_t queued, PacketAt packetAt, std::int64_t now);

    CString m_path;
    Pacing m_pacing;
    double m_bitsPerSecond;
    bool m_loop;
    std::FILE* m_file = nullptr;
    std::size_t m_packetSize = 188;
    std::size_t m_firstOffset = 0;
    std::uint64_t m_fileSize = 0;

    CTransportPacketRing m_queue{QueuePackets};
    std::atomic<std::uint64_t> m_skippedBytes{0};
    std::thread m_reader;

    CClock* m_clock = &CClock::System();
    // Pacing state, receive thread only but for what GetStatus reads.
    std::int64_t m_startNs = 0;
    std::atomic<std::uint64_t> m_delivered{0};   // bytes since Start
    std::atomic<int> m_pcrPid{-1};
    std::uint64_t m_anchorPcr = 0;
    std::int64_t m_anchorNs = 0;
    std::uint64_t m_lastPcr = 0;
    std::atomic<bool> m_timeTablePaced{false};   // no PCR: paced by the TDT/TOT, m_anchorPcr and m_lastPcr in its time
};
