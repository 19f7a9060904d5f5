#include "core/CDVBPIDReceiverList.h"

#include "core/CDVBPIDReceiver.h"
#include "platform/CSingleLock.h"

CDVBPIDReceiverList::~CDVBPIDReceiverList()
{
    DeleteAll();
}

void CDVBPIDReceiverList::Add(CDVBPIDReceiver* receiver)
{
    CSingleLock guard(m_lock);
    m_receivers.push_back(receiver);
}

void CDVBPIDReceiverList::DeliverPacket(std::uint64_t packetNumber, BYTE* packet)
{
    CSingleLock guard(m_lock);
    for (std::size_t i = 0; i < m_receivers.size(); ++i)
        m_receivers[i]->OnReceivePacket(packetNumber, packet);
}

void CDVBPIDReceiverList::NotifyEverySecond()
{
    CSingleLock guard(m_lock);
    for (std::size_t i = 0; i < m_receivers.size(); ++i)
        m_receivers[i]->OnEverySecond();
}

void CDVBPIDReceiverList::NotifyEveryMillisecond()
{
    CSingleLock guard(m_lock);
    for (std::size_t i = 0; i < m_receivers.size(); ++i)
        m_receivers[i]->OnEveryMillisecond();
}

std::size_t CDVBPIDReceiverList::FindType(int type)
{
    for (std::size_t i = 0; i < m_receivers.size(); ++i)
        if (m_receivers[i]->GetType() == type)
            return i;
    return m_receivers.size();
}

bool CDVBPIDReceiverList::HasType(int type)
{
    CSingleLock guard(m_lock);
    return FindType(type) < m_receivers.size();
}

CDVBPIDReceiver* CDVBPIDReceiverList::GetByType(int type)
{
    CSingleLock guard(m_lock);
    const std::size_t at = FindType(type);
    return at < m_receivers.size() ? m_receivers[at] : nullptr;
}

bool CDVBPIDReceiverList::DeleteByType(int type)
{
    CSingleLock guard(m_lock);
    const std::size_t at = FindType(type);
    if (at == m_receivers.size())
        return false;
    CDVBPIDReceiver* receiver = m_receivers[at];
    m_receivers.erase(m_receivers.begin() + std::ptrdiff_t(at));
    delete receiver;
    return true;
}

CDVBPIDReceiver* CDVBPIDReceiverList::RemoveByCookie(GUID* cookie)
{
    CSingleLock guard(m_lock);
    for (std::size_t i = 0; i < m_receivers.size(); ++i) {
        CDVBPIDReceiver* receiver = m_receivers[i];
        if (receiver->HasCookie(cookie)) {
            m_receivers.erase(m_receivers.begin() + std::ptrdiff_t(i));
            return receiver;
        }
    }
    return nullptr;
}

CDVBPIDReceiver* CDVBPIDReceiverList::RemoveReceiver(CDVBPIDReceiver* receiver)
{
    CSingleLock guard(m_lock);
    for (std::size_t i = 0; i < m_receivers.size(); ++i) {
        if (m_receivers[i] == receiver) {
            m_receivers.erase(m_receivers.begin() + std::ptrdiff_t(i));
            return receiver;
        }
    }
    return nullptr;
}

void CDVBPIDReceiverList::DeleteAll()
{
    CSingleLock guard(m_lock);
    while (!m_receivers.empty()) {
        CDVBPIDReceiver* head = m_receivers.front();
        m_receivers.erase(m_receivers.begin());
        delete head;
    }
}

void CDVBPIDReceiverList::RemoveAll()
{
    CSingleLock guard(m_lock);
    m_receivers.clear();
}

std::size_t CDVBPIDReceiverList::GetCount()
{
    CSingleLock guard(m_lock);
    return m_receivers.size();
}
