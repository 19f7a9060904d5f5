#pragma once
// What clocks read of the receiver that feeds them: the packets it has dispatched, its
// reference points, its system clock and each program's PCR receiver. The transport stream
// receiver is one; through this, the PCR receivers and program clocks below it never
// include it.
#include "platform/LUMTypes.h"

#include <cstdint>

class CClock;
class CDVBPCRReceiver;

class CDVBReceiverTiming
{
public:
    virtual ~CDVBReceiverTiming() = default;

    virtual std::uint64_t GetPacketsReceived() const = 0;
    // The mean of the recent (system clock, packets processed) pairs.
    virtual void GetReferencePoint(std::int64_t& clock, std::uint64_t& packets) = 0;
    virtual CClock* GetClock() const = 0;
    // Null when the program or its PCR PID is not known yet.
    virtual CDVBPCRReceiver* GetPCRReceiver(WORD programNumber) = 0;
};
