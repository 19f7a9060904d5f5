#pragma once
// A transport stream from a DVB tuner. Open tunes and waits, a bounded time, for the
// frontend to lock; then a thread of its own reads the DVR device, cuts whole packets
// (the sync byte found again after damage) into a ring that ReadBuffer drains without
// waiting, and reads the signal once a second for the status text, which also counts the
// DVR's overflows. A second without a packet (the lock lost) retunes, with a back-off.
#include "modules/inputs/common/CPacketRingSource.h"
#include "modules/inputs/dvb/CLinuxDVBDevice.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

class CLinuxDVBInputSource : public CPacketRingSource
{
public:
    CLinuxDVBInputSource(std::unique_ptr<CLinuxDVBDevice> device, const CLinuxDVBTuning& tuning, DWORD lockTimeoutMs);
    ~CLinuxDVBInputSource() override;

    // False with GetFailure (CLUMInputPluginExtension's codes) and GetFailureText set:
    // OpenFailureDevice without a tuner, OpenFailureInvalid when this tuner cannot take the
    // tuning, OpenFailureNoSignal when it does not lock.
    bool Open();

    void GetStatus(CString& status) override;

private:
    void ReadThread();
    bool Reopen() override;
    bool Fail(int failure, const std::string& text);   // closes the device too

    std::unique_ptr<CLinuxDVBDevice> m_device;
    CLinuxDVBTuning m_tuning;
    DWORD m_lockTimeoutMs;

    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_deviceFailed{false};
    std::atomic<std::uint64_t> m_overflows{0};

    std::mutex m_signalLock;
    CLinuxDVBSignal m_signal;
};
