#include "decode/CDVBProgramClock.h"

#include "core/CDVBPCRReceiver.h"
#include "core/CDVBReceiverTiming.h"
#include "core/CDVBTiming.h"
#include "platform/CClock.h"

bool CDVBProgramClock::SetProgram(unsigned short programNumber)
{
    if (m_receiver == nullptr)
        return false;
    CDVBPCRReceiver* pcr = m_receiver->GetPCRReceiver(programNumber);
    if (pcr == nullptr)
        return false;
    SetPCRReceiver(pcr);
    return true;
}

bool CDVBProgramClock::GetProgramClock(std::int64_t& clock, bool interpolate)
{
    if (m_receiver == nullptr || m_pcrReceiver == nullptr)
        return false;
    if (!interpolate)
        return m_pcrReceiver->GetClockAtPacket(*m_receiver, clock);
    std::int64_t referenceClock = 0;
    std::uint64_t referencePackets = 0;
    m_receiver->GetReferencePoint(referenceClock, referencePackets);
    return m_pcrReceiver->GetClockAtTime(double(CDVBTiming::GetSystemClockFrequency()), double(referenceClock),
                                         referencePackets, double(m_receiver->GetClock()->GetMonotonicTime()), clock);
}

bool CDVBProgramClock::GetClockAtArrival(std::int64_t& monotonic, std::int64_t& clock)
{
    if (m_receiver == nullptr || m_pcrReceiver == nullptr)
        return false;
    std::uint64_t packets = 0;
    m_receiver->GetReferencePoint(monotonic, packets);
    return m_pcrReceiver->GetClockAtPacket(packets, clock);
}
