#pragma once
// A PID receiver on a program's PCR PID: keeps the last 8 PCRs with the packet numbers
// that carried them, and derives the stream's bitrate and the program clock at a packet
// number or a system time. Its lock is taken after the receiver's programs lock.
#include "core/CDVBPIDReceiver.h"
#include "platform/CCriticalSection.h"

#include <cstdint>
#include <deque>

class CDVBReceiverTiming;

class CDVBPCRReceiver : public CDVBPIDReceiver
{
public:
    static constexpr std::size_t SampleCount = 8;

    CDVBPCRReceiver() { m_type = TypePCR; }
    CDVBPCRReceiver(const CDVBPCRReceiver&) = delete;
    CDVBPCRReceiver& operator=(const CDVBPCRReceiver&) = delete;

    void OnReceivePacket(std::uint64_t packetNumber, BYTE* packet) override;

    // The 90 kHz PCR base of a packet whose adaptation field carries a PCR; false for any
    // other packet, a field too short to hold one included. For sources that pace by it.
    static bool GetPCRFromPacket(BYTE* packet, std::uint64_t& pcr);

    // Bits per second measured from the PCRs; 0 until two increasing PCRs arrived.
    int GetBitrate();
    // The 90 kHz program clock at a packet number, before or after the newest sample;
    // false without a measured rate.
    bool GetClockAtPacket(std::uint64_t packetNumber, std::int64_t& clock);
    // The program clock at the receiver's packet count, read under this receiver's lock so
    // that no sample newer than the count can land in between.
    bool GetClockAtPacket(const CDVBReceiverTiming& receiver, std::int64_t& clock);
    // The program clock at system time `now`, given a reference point (system clock,
    // packets) of the receiver and the system clock frequency.
    bool GetClockAtTime(double frequency, double referenceClock, std::uint64_t referencePackets, double now,
                        std::int64_t& clock);

protected:
    struct Sample
    {
        std::uint64_t packetNumber;
        std::uint64_t pcr;   // the 33-bit base, 90 kHz
    };

    // Caller holds m_lock.
    void UpdateSums();

    CCriticalSection m_lock;
    std::deque<Sample> m_samples;   // oldest first
    bool m_dirty = true;
    std::uint64_t m_packetSum = 0;
    std::uint64_t m_pcrSum = 0;
};
