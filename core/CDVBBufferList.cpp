#include "core/CDVBBufferList.h"

#include "core/CDVBBuffer.h"
#include "platform/CSingleLock.h"

CDVBBufferList::~CDVBBufferList()
{
    DeleteAll();
}

void CDVBBufferList::AddBuffer(CDVBBuffer* buffer)
{
    CSingleLock guard(m_lock);
    if (m_count == m_ring.size()) {
        std::vector<CDVBBuffer*> larger(m_ring.empty() ? 16 : m_ring.size() * 2);
        for (std::size_t i = 0; i < m_count; ++i)
            larger[i] = m_ring[(m_head + i) % m_ring.size()];
        m_ring.swap(larger);
        m_head = 0;
    }
    m_ring[(m_head + m_count) % m_ring.size()] = buffer;
    ++m_count;
    if (m_count == 1)
        m_hasBuffersEvent.Set();
}

CDVBBuffer* CDVBBufferList::PopHead()
{
    CDVBBuffer* head = m_ring[m_head];
    m_head = (m_head + 1) % m_ring.size();
    --m_count;
    return head;
}

CDVBBuffer* CDVBBufferList::RemoveBuffer()
{
    CSingleLock guard(m_lock);
    if (m_count == 0)
        return nullptr;
    CDVBBuffer* head = PopHead();
    if (m_count == 0)
        m_hasBuffersEvent.Reset();
    return head;
}

void CDVBBufferList::DeleteAll()
{
    CSingleLock guard(m_lock);
    while (m_count > 0)
        delete PopHead();
    m_hasBuffersEvent.Reset();
}

std::size_t CDVBBufferList::GetCount()
{
    CSingleLock guard(m_lock);
    return m_count;
}
