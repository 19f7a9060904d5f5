#pragma once
// The first PCR of every PID, for a command that counts time from the start of a stream
// as subtitle extractors do: the program clock reference of its program comes before the
// program map that names its PID, so every PID is watched from the first packet.
#include "platform/LUMTypes.h"

#include <array>
#include <memory>

class CDVBTransportStreamReceiver;

class CFirstPcrs
{
public:
    CFirstPcrs();
    // Before the receiver starts; it owns the watchers, which use this object.
    void Watch(CDVBTransportStreamReceiver& receiver);
    // The 90 kHz base of the PID's first PCR; -1 before one came.
    long long Get(WORD pid) const { return pid < m_first->size() ? (*m_first)[pid] : -1; }

private:
    std::unique_ptr<std::array<long long, 8192>> m_first;
};
