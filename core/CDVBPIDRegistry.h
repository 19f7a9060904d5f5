#pragma once
// The receiver's PID table: per PID, the list of PID receivers registered on it (created
// with the first one, owned with its receivers), plus the list of receivers that asked
// for millisecond notifications. Lookups are a direct index, no search.
#include "platform/GUID.h"
#include "platform/LUMTypes.h"

#include <array>
#include <atomic>
#include <cstdint>

class CDVBPIDReceiver;
class CDVBPIDReceiverList;

class CDVBPIDRegistry
{
public:
    static constexpr WORD PIDCount = 8192;

    CDVBPIDRegistry();
    ~CDVBPIDRegistry();
    CDVBPIDRegistry(const CDVBPIDRegistry&) = delete;
    CDVBPIDRegistry& operator=(const CDVBPIDRegistry&) = delete;

    // Owns `receiver` from here on; false (and the receiver deleted) for a PID above 8191.
    bool Add(WORD pid, CDVBPIDReceiver* receiver);
    bool Delete(WORD pid, int type);
    bool Has(WORD pid, int type);
    CDVBPIDReceiver* Get(WORD pid, int type);
    CDVBPIDReceiver* RemoveWithCookie(WORD pid, GUID* cookie);
    // Deletes every list and receiver; only while nobody dispatches.
    void Clear();

    // Null when the PID has no receivers: the per-packet lookup.
    CDVBPIDReceiverList* GetList(WORD pid) const
    {
        return pid < PIDCount ? m_lists[pid].load(std::memory_order_acquire) : nullptr;
    }
    void NotifyEverySecond();   // every receiver, PIDs in ascending order
    void NotifyEveryMillisecond();   // the receivers that asked
    bool HasTimeReceivers();

private:
    CDVBPIDReceiverList* GetOrCreateList(WORD pid);

    std::array<std::atomic<CDVBPIDReceiverList*>, PIDCount> m_lists{};
    CDVBPIDReceiverList* m_timeList;   // refers to receivers owned by m_lists
};
