#include "modules/inputs/dvb/CLinuxDVBInputSource.h"

#include "plugins/CLUMInputPluginExtension.h"

#include <chrono>
#include <cstdio>
#include <vector>

namespace {

constexpr std::size_t kReadBytes = 348 * 188;    // what a DVR device hands over at a time
constexpr int kReadWaitMs = 100;                 // how soon a stop is seen
constexpr int kLockPollMs = 50;
constexpr auto kSignalPeriod = std::chrono::seconds(1);

}  // namespace

CLinuxDVBInputSource::CLinuxDVBInputSource(std::unique_ptr<CLinuxDVBDevice> device, const CLinuxDVBTuning& tuning,
                                           DWORD lockTimeoutMs)
    : m_device(std::move(device)), m_tuning(tuning), m_lockTimeoutMs(lockTimeoutMs)
{
}

CLinuxDVBInputSource::~CLinuxDVBInputSource()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    m_device->Close();
}

bool CLinuxDVBInputSource::Fail(int failure, const std::string& text)
{
    m_device->Close();
    return CPacketRingSource::Fail(failure, text);
}

bool CLinuxDVBInputSource::Open()
{
    std::string error;
    switch (m_device->Tune(m_tuning, error)) {
    case CLinuxDVBDevice::TuneResult::Tuning: break;
    case CLinuxDVBDevice::TuneResult::NoDevice: return Fail(CLUMInputPluginExtension::OpenFailureDevice, error);
    case CLinuxDVBDevice::TuneResult::Refused: return Fail(CLUMInputPluginExtension::OpenFailureInvalid, error);
    }
    // A driver may fail a status read now and then while it tunes: only a frontend that
    // never answers within the wait fails for that.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_lockTimeoutMs);
    CLinuxDVBSignal signal;
    bool answered = false;
    for (;;) {
        CLinuxDVBSignal read;
        if (m_device->ReadSignal(read)) {
            signal = read;
            answered = true;
            if (signal.m_locked)
                break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            if (!answered)
                return Fail(CLUMInputPluginExtension::OpenFailureDevice, "the frontend does not report its status");
            char text[64];
            std::snprintf(text, sizeof text, "no lock on %.3f MHz within %.1f s (", m_tuning.FrequencyMHz(),
                          m_lockTimeoutMs / 1000.0);
            return Fail(CLUMInputPluginExtension::OpenFailureNoSignal, text + signal.ToString() + ")");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kLockPollMs));   // polled, as libdvbv5's own tools do
    }
    m_signal = signal;
    if (!m_device->OpenStream(error))
        return Fail(CLUMInputPluginExtension::OpenFailureDevice, error);
    m_thread = std::thread(&CLinuxDVBInputSource::ReadThread, this);
    return true;
}

void CLinuxDVBInputSource::ReadThread()
{
    std::vector<BYTE> buffer(kReadBytes);
    auto nextSignal = std::chrono::steady_clock::now() + kSignalPeriod;
    NoteAlive();
    while (!m_stop) {
        WatchSilence();
        const long n = m_device->Read(buffer.data(), buffer.size(), kReadWaitMs);
        if (n == CLinuxDVBDevice::ReadOverflowed) {
            ++m_overflows;   // the packets in the kernel's buffer are gone; the stream goes on
            continue;
        }
        if (n < 0) {
            m_deviceFailed = true;   // unplugged: the status says so, the receiver sees silence
            return;
        }
        if (n > 0) {
            Feed(buffer.data(), std::size_t(n));
        }
        if (std::chrono::steady_clock::now() >= nextSignal) {
            CLinuxDVBSignal signal;
            if (m_device->ReadSignal(signal)) {
                std::lock_guard<std::mutex> guard(m_signalLock);
                m_signal = signal;
            }
            nextSignal += kSignalPeriod;
        }
    }
}

bool CLinuxDVBInputSource::Reopen()
{
    // Tuned again without waiting for the lock: the reads go on, and bring the stream as
    // soon as the frontend has it, whether this tuning or the frontend itself found it.
    m_device->Close();
    std::string error;
    return m_device->Tune(m_tuning, error) == CLinuxDVBDevice::TuneResult::Tuning && m_device->OpenStream(error);
}

void CLinuxDVBInputSource::GetStatus(CString& status)
{
    status.Format("%s %.3f MHz, adapter %d frontend %d: ", m_tuning.m_deliverySystem.c_str(), m_tuning.FrequencyMHz(),
                  m_tuning.m_adapter, m_tuning.m_frontend);
    if (m_deviceFailed) {
        status += "the device stopped delivering";
        return;
    }
    {
        std::lock_guard<std::mutex> guard(m_signalLock);
        status += m_signal.ToString().c_str();
    }
    if (m_overflows > 0)
        status.AppendFormat(", %llu DVR overflows", static_cast<unsigned long long>(m_overflows));
    AppendRingStatus(status);
}
