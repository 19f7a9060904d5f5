#include "core/CDVBRecorder.h"

#include "core/CDVBBuffer.h"
#include "core/CDVBBufferList.h"
#include "core/CDVBRecordingFilter.h"
#include "platform/CEvent.h"
#include "platform/CSingleLock.h"
#include "platform/CThread.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

bool CDVBRecorder::Start(const CString& fileName, DWORD bufferSize, CDVBRecordingFilter* filter,
                         bool waitForFreeBuffers, int descriptor)
{
    Stop();
    m_recordFileName = fileName;
    m_error = 0;
    m_bytesWritten = 0;
    m_readsDropped = 0;
    m_readsWaited = 0;
    m_writeErrors = 0;
    m_firstWriteError = 0;
    m_buffersOut = 0;
    m_bufferFreed.Reset();
    // created here rather than on the record thread, so that a path that cannot be
    // written is reported to the caller instead of every write failing unseen
    // a descriptor is duplicated, keeping its own flags (O_APPEND), so that it is closed like a file
    m_file = descriptor >= 0 ? ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0)
                             : ::open(fileName, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (m_file < 0) {
        m_error = errno;
        return false;
    }
    {
        CSingleLock guard(m_recordLock);
        m_filter = filter;
        m_waitForFreeBuffers = waitForFreeBuffers;
        if (m_filter)
            m_filter->Reset();
        m_freeRecordBuffers = new CDVBBufferList;
        m_filledRecordBuffers = new CDVBBufferList;
        for (int i = 0; i < BufferCount; ++i)
            m_freeRecordBuffers->AddBuffer(new CDVBBuffer(bufferSize ? bufferSize : 1));
    }
    m_recordStopEvent = new CEvent(true, false);
    m_recordThread = new CThread;
    m_recordThread->Start(&CDVBRecorder::StaticRecordThreadProc, this);
    m_recording = true;
    return true;
}

bool CDVBRecorder::Stop()
{
    m_recording = false;
    m_bufferFreed.Set();   // a read waiting for a buffer is left out now
    if (m_recordThread) {
        m_recordStopEvent->Set();
        if (!m_recordThread->WaitForEnd(StopTimeoutMs))
            m_recordThread->Terminate(1);   // says so; the destructor still waits for it
        delete m_recordThread;   // the thread uses the queues and the file until it ends
        m_recordThread = nullptr;
    }
    delete m_recordStopEvent;
    m_recordStopEvent = nullptr;
    {
        CSingleLock guard(m_recordLock);
        delete m_freeRecordBuffers;
        delete m_filledRecordBuffers;
        m_freeRecordBuffers = m_filledRecordBuffers = nullptr;
        m_filter = nullptr;
    }
    if (m_file >= 0)
        ::close(m_file);
    m_file = -1;
    return true;
}

void CDVBRecorder::Record(const BYTE* data, DWORD length)
{
    for (bool waited = false;; waited = true) {
        {
            CSingleLock guard(m_recordLock);
            if (m_freeRecordBuffers == nullptr)
                return;
            if (CDVBBuffer* buffer = m_freeRecordBuffers->RemoveBuffer()) {
                Fill(buffer, data, length);
                return;
            }
            if (!m_waitForFreeBuffers || !m_recording || m_error != 0) {
                ++m_readsDropped;
                return;
            }
        }
        if (!waited)
            ++m_readsWaited;
        // outside the lock, which the record thread needs to give a buffer back
        m_bufferFreed.Wait(INFINITE);
    }
}

void CDVBRecorder::Fill(CDVBBuffer* buffer, const BYTE* data, DWORD length)
{
    if (m_filter) {
        buffer->m_used = m_filter->Filter(data, length, buffer->m_data, buffer->m_capacity);
    } else {
        buffer->m_used = std::min(length, buffer->m_capacity);
        std::memcpy(buffer->m_data, data, buffer->m_used);
    }
    if (buffer->m_used == 0) {
        m_freeRecordBuffers->AddBuffer(buffer);   // nothing of this read is recorded
    } else {
        ++m_buffersOut;
        m_filledRecordBuffers->AddBuffer(buffer);
    }
}

DWORD CDVBRecorder::StaticRecordThreadProc(void* recorder)
{
    return static_cast<CDVBRecorder*>(recorder)->RecordThreadProc();
}

bool CDVBRecorder::WriteOneBuffer()
{
    CDVBBuffer* buffer = nullptr;
    {
        CSingleLock guard(m_recordLock);
        buffer = m_filledRecordBuffers->RemoveBuffer();
    }
    if (buffer == nullptr)
        return false;
    // outside the lock: the receive thread never waits for the disk
    int failures = 0;   // in a row, on these bytes
    for (DWORD done = 0; done < buffer->m_used && m_error == 0;) {
        const long n = WriteFile(buffer->m_data + done, buffer->m_used - done);
        if (n > 0) {
            done += DWORD(n);
            m_bytesWritten += std::uint64_t(n);
            failures = 0;
        } else if (n == 0 || errno != EINTR) {
            const int error = n == 0 ? EIO : errno;   // a write that takes nothing would be tried for ever
            if (m_writeErrors++ == 0)
                m_firstWriteError = error;
            if (++failures == WriteAttempts)
                m_error = error;   // it lasts: the rest of the recording is lost; the host says why
        }
    }
    {
        CSingleLock guard(m_recordLock);
        m_freeRecordBuffers->AddBuffer(buffer);
        --m_buffersOut;
    }
    m_bufferFreed.Set();
    return true;
}

long CDVBRecorder::WriteFile(const BYTE* data, DWORD length)
{
    return long(::write(m_file, data, length));
}

DWORD CDVBRecorder::RecordThreadProc()
{
    CEvent* const events[] = {m_recordStopEvent, CEvent::FromHandle(m_filledRecordBuffers->GetHasBuffersEvent())};
    for (;;) {
        const DWORD event = CEvent::WaitMany(events, 2, 1);
        if (event == WAIT_OBJECT_0) {
            // what was received before the stop is written before the file closes
            while (WriteOneBuffer()) {
            }
            return 1;
        }
        if (event == WAIT_OBJECT_0 + 1)
            WriteOneBuffer();
    }
}
