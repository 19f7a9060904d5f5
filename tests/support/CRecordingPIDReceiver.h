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
    struct Entry
    {
        int tag;
        std::uint64_t packetNumber;
        WORD pid;   // read from the packet, not from the receiver
    };

    void Add(const Entry& entry);
    std::vector<Entry> Entries() const;
    std::vector<std::uint64_t> NumbersOf(int tag) const;

    mutable std::mutex lock;
    std::vector<Entry> entries;
    std::atomic<int> milliseconds{0};
    std::atomic<int> seconds{0};
    std::atomic<int> deleted{0};
};

class CRecordingPIDReceiver : public CDVBPIDReceiver
{
public:
    CRecordingPIDReceiver(CReceptionLog* log, int tag, int type = TypePlain, bool wantsTime = false);
    ~CRecordingPIDReceiver() override;

    void OnReceivePacket(std::uint64_t packetNumber, BYTE* packet) override;
    void OnEverySecond() override;
    void OnEveryMillisecond() override;
    bool RequiresTimeNotifications() override { return m_wantsTime; }

    const int m_tag;

private:
    CReceptionLog* m_log;
    bool m_wantsTime;
};
