#pragma once
// A PID receiver that writes what reaches it into a log shared by several receivers, so
// tests can check order across receivers and PIDs.
#include "core/CDVBPIDReceiver.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

struct CReceptionLog
{
    struct Entry { int tag; std::uint64_t packetNumber; WORD pid; };   // pid read from the packet
    std::vector<Entry> Entries() const
    {
        std::lock_guard<std::mutex> guard(lock);
        return entries;
    }
    std::vector<std::uint64_t> NumbersOf(int tag) const
    {
        std::vector<std::uint64_t> numbers;
        for (const Entry& e : Entries())
            if (e.tag == tag)
                numbers.push_back(e.packetNumber);
        return numbers;
    }
    mutable std::mutex lock;
    std::vector<Entry> entries;
    std::atomic<int> milliseconds{0}, deleted{0};
};

class CRecordingPIDReceiver : public CDVBPIDReceiver
{
public:
    CRecordingPIDReceiver(CReceptionLog* log, int tag, int type = TypePlain, bool wantsTime = false)
        : m_tag(tag), m_log(log), m_wantsTime(wantsTime) { m_type = type; }
    ~CRecordingPIDReceiver() override { ++m_log->deleted; }
    void OnReceivePacket(std::uint64_t packetNumber, BYTE* packet) override
    {
        std::lock_guard<std::mutex> guard(m_log->lock);
        m_log->entries.push_back({m_tag, packetNumber, WORD(((packet[1] & 0x1F) << 8) | packet[2])});
    }
    void OnEveryMillisecond() override { ++m_log->milliseconds; }
    bool RequiresTimeNotifications() override { return m_wantsTime; }

protected:
    const int m_tag;
    CReceptionLog* m_log;
    bool m_wantsTime;
};
