#pragma once
// The PID receivers of one PID, in order of registration, behind a re-entrant lock that
// every operation holds for its whole duration, calls into the receivers included. A
// receiver may register further receivers while it is being called (on this list too:
// delivery walks by index, so an append during delivery is safe); it must not remove
// receivers of the list that is calling it.
#include "platform/CCriticalSection.h"
#include "platform/GUID.h"
#include "platform/LUMTypes.h"

#include <cstdint>
#include <vector>

class CDVBPIDReceiver;

class CDVBPIDReceiverList
{
public:
    CDVBPIDReceiverList() = default;
    // Deletes the receivers it still holds; a list that only refers to receivers owned
    // elsewhere calls RemoveAll first.
    virtual ~CDVBPIDReceiverList();
    CDVBPIDReceiverList(const CDVBPIDReceiverList&) = delete;
    CDVBPIDReceiverList& operator=(const CDVBPIDReceiverList&) = delete;

    void Add(CDVBPIDReceiver* receiver);
    void DeliverPacket(std::uint64_t packetNumber, BYTE* packet);
    void NotifyEverySecond();
    void NotifyEveryMillisecond();

    bool HasType(int type);
    CDVBPIDReceiver* GetByType(int type);
    bool DeleteByType(int type);
    // Unlink without deleting; the receiver is returned, or null when none matched.
    CDVBPIDReceiver* RemoveByCookie(GUID* cookie);
    CDVBPIDReceiver* RemoveReceiver(CDVBPIDReceiver* receiver);
    void DeleteAll();
    void RemoveAll();
    std::size_t GetCount();

private:
    // Caller holds m_lock.
    std::size_t FindType(int type);

    CCriticalSection m_lock;
    std::vector<CDVBPIDReceiver*> m_receivers;
};
