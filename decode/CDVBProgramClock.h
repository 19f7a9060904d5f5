#pragma once
// The broadcaster's 90 kHz clock of one program of one receiver, now. Bound to the
// program's PCR receiver by SetProgram, which must be called again after the receiver's
// Reset. Neither pointer is owned.
#include <cstdint>

class CDVBPCRReceiver;
class CDVBReceiverTiming;

class CDVBProgramClock
{
public:
    CDVBProgramClock() = default;
    CDVBProgramClock(const CDVBProgramClock&) = default;
    CDVBProgramClock& operator=(const CDVBProgramClock&) = default;
    virtual ~CDVBProgramClock() = default;

    // The transport stream receiver, or another timing.
    void SetTransportStreamReceiver(CDVBReceiverTiming* receiver) { m_receiver = receiver; }
    // False, keeping the PCR receiver held before, when the program has none yet.
    bool SetProgram(unsigned short programNumber);
    // With interpolation the clock moves smoothly with the system clock between reads;
    // without, it steps with each read buffer.
    bool GetProgramClock(std::int64_t& clock, bool interpolate);
    // The clock at the last packet the receiver read, and the monotonic time it was read at
    // (nanoseconds): what the source's pace says of the broadcaster's clock, without the
    // average bitrate an interpolation needs.
    bool GetClockAtArrival(std::int64_t& monotonic, std::int64_t& clock);

protected:
    void SetPCRReceiver(CDVBPCRReceiver* receiver) { m_pcrReceiver = receiver; }

    CDVBReceiverTiming* m_receiver = nullptr;
    CDVBPCRReceiver* m_pcrReceiver = nullptr;
};
