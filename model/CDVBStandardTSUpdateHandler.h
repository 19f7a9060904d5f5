#pragma once
// Queues every update for a user interface to poll: HaveUpdatesOccurred as a cheap hint,
// then RemoveUpdate until it returns false, holding the receiver's programs lock.
#include "model/CDVBTransportStreamUpdateHandler.h"
#include "model/CDVBUpdateRecord.h"
#include "platform/CCriticalSection.h"

#include <atomic>
#include <list>

class CDVBStandardTSUpdateHandler : public CDVBTransportStreamUpdateHandler
{
public:
    CDVBStandardTSUpdateHandler() = default;
    CDVBStandardTSUpdateHandler(const CDVBStandardTSUpdateHandler&) = delete;
    CDVBStandardTSUpdateHandler& operator=(const CDVBStandardTSUpdateHandler&) = delete;
    ~CDVBStandardTSUpdateHandler() override;

    void OnServiceInformationUpdate(WORD programNumber, int updateType) override;
    bool HaveUpdatesOccurred() const { return m_updatesOccurred.load(std::memory_order_relaxed); }
    // The oldest update, or false when none is queued.
    bool RemoveUpdate(WORD& programNumber, int& updateType);
    void ClearUpdates();

private:
    std::atomic<bool> m_updatesOccurred{false};
    CCriticalSection m_lock;
    std::list<CDVBUpdateRecord*> m_updates;   // owned, oldest first
};
