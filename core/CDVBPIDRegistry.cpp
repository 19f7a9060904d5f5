#include "core/CDVBPIDRegistry.h"

#include "core/CDVBPIDReceiver.h"
#include "core/CDVBPIDReceiverList.h"

CDVBPIDRegistry::CDVBPIDRegistry() : m_timeList(new CDVBPIDReceiverList) {}

CDVBPIDRegistry::~CDVBPIDRegistry()
{
    Clear();
    delete m_timeList;
}

void CDVBPIDRegistry::Clear()
{
    m_timeList->RemoveAll();
    for (auto& slot : m_lists)
        if (slot.load(std::memory_order_relaxed))   // most slots are empty: skip the locked exchange
            delete slot.exchange(nullptr);
}

CDVBPIDReceiverList* CDVBPIDRegistry::GetOrCreateList(WORD pid)
{
    CDVBPIDReceiverList* list = GetList(pid);
    if (list)
        return list;
    // Two threads may add the first receivers of one PID at once: one list wins.
    auto* created = new CDVBPIDReceiverList;
    CDVBPIDReceiverList* expected = nullptr;
    if (m_lists[pid].compare_exchange_strong(expected, created, std::memory_order_acq_rel))
        return created;
    delete created;
    return expected;
}

bool CDVBPIDRegistry::Add(WORD pid, CDVBPIDReceiver* receiver)
{
    if (receiver == nullptr)
        return false;
    if (pid >= PIDCount) {
        delete receiver;
        return false;
    }
    CDVBPIDReceiverList* list = GetOrCreateList(pid);
    receiver->SetPID(pid);
    list->Add(receiver);
    if (receiver->RequiresTimeNotifications())
        m_timeList->Add(receiver);
    return true;
}

bool CDVBPIDRegistry::Delete(WORD pid, int type)
{
    CDVBPIDReceiverList* list = GetList(pid);
    if (list == nullptr)
        return false;
    if (CDVBPIDReceiver* doomed = list->GetByType(type))
        m_timeList->RemoveReceiver(doomed);
    return list->DeleteByType(type);
}

bool CDVBPIDRegistry::Has(WORD pid, int type)
{
    CDVBPIDReceiverList* list = GetList(pid);
    return list != nullptr && list->HasType(type);
}

CDVBPIDReceiver* CDVBPIDRegistry::Get(WORD pid, int type)
{
    CDVBPIDReceiverList* list = GetList(pid);
    return list ? list->GetByType(type) : nullptr;
}

CDVBPIDReceiver* CDVBPIDRegistry::RemoveWithCookie(WORD pid, GUID* cookie)
{
    CDVBPIDReceiverList* list = GetList(pid);
    if (list == nullptr)
        return nullptr;
    CDVBPIDReceiver* receiver = list->RemoveByCookie(cookie);
    // Taken after the PID's list lock is released: no two list locks are held together.
    if (receiver && receiver->RequiresTimeNotifications())
        m_timeList->RemoveReceiver(receiver);
    return receiver;
}

void CDVBPIDRegistry::NotifyEverySecond()
{
    for (WORD pid = 0; pid < PIDCount; ++pid)
        if (CDVBPIDReceiverList* list = GetList(pid))
            list->NotifyEverySecond();
}

void CDVBPIDRegistry::NotifyEveryMillisecond()
{
    m_timeList->NotifyEveryMillisecond();
}

bool CDVBPIDRegistry::HasTimeReceivers()
{
    return m_timeList->GetCount() > 0;
}
