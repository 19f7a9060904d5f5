#pragma once
// A locked first-in first-out queue of buffers whose event is set exactly while it holds
// at least one. It owns the buffers it holds: AddBuffer takes ownership, RemoveBuffer
// hands it back.
#include "platform/CCriticalSection.h"
#include "platform/CEvent.h"

#include <cstddef>
#include <vector>

class CDVBBuffer;

class CDVBBufferList
{
public:
    CDVBBufferList() = default;
    virtual ~CDVBBufferList();
    CDVBBufferList(const CDVBBufferList&) = delete;
    CDVBBufferList& operator=(const CDVBBufferList&) = delete;

    void AddBuffer(CDVBBuffer* buffer);   // null is queued like a buffer
    CDVBBuffer* RemoveBuffer();           // null when empty
    void DeleteAll();
    std::size_t GetCount();
    void* GetHasBuffersEvent() { return m_hasBuffersEvent.Handle(); }

private:
    // Caller holds m_lock.
    CDVBBuffer* PopHead();

    // A ring that only grows, so that recycling buffers allocates nothing.
    CCriticalSection m_lock;
    std::vector<CDVBBuffer*> m_ring;
    std::size_t m_head = 0;
    std::size_t m_count = 0;
    CEvent m_hasBuffersEvent{true, false};
};
