#pragma once
// Records the bytes a receiver reads to a file, as they were delivered, on a record
// thread of its own so that the receive thread never waits for the disk. The two threads
// pass ten recycled buffers through a queue of free and a queue of filled ones; a read
// that finds no free buffer is left out of the file whole. The transport stream receiver
// owns one and drives it (StartRecording, StopRecording, and Record on every read).
#include "platform/CCriticalSection.h"
#include "platform/CString.h"
#include "platform/LUMTypes.h"

#include <atomic>
#include <cstdint>

class CDVBBufferList;
class CDVBRecordingFilter;
class CEvent;
class CThread;

class CDVBRecorder
{
public:
    static constexpr int BufferCount = 10;
    static constexpr DWORD StopTimeoutMs = 5000;

    CDVBRecorder() = default;
    ~CDVBRecorder() { Stop(); }
    CDVBRecorder(const CDVBRecorder&) = delete;
    CDVBRecorder& operator=(const CDVBRecorder&) = delete;

    // Ends a recording in progress, creates (or empties) the file and starts the record
    // thread with buffers of `bufferSize` bytes; `filter` (not owned, may be null) chooses
    // what of each read is written. False, with GetError set, when the file cannot be
    // created.
    bool Start(const CString& fileName, DWORD bufferSize, CDVBRecordingFilter* filter = nullptr, int descriptor = -1);
    // Writes what has been filled, then ends the record thread and closes the file.
    bool Stop();
    // Receive thread: the first min(length, buffer size) bytes of one read.
    void Record(const BYTE* data, DWORD length);

    bool IsRecording() const { return m_recording.load(std::memory_order_relaxed); }
    // errno of the failed creation or first failed write (ENOSPC: the disk is full); 0 if none.
    int GetError() const { return m_error.load(std::memory_order_relaxed); }
    std::uint64_t GetBytesWritten() const { return m_bytesWritten.load(std::memory_order_relaxed); }
    // True when every read handed to Record has been written (or given up on): a host on
    // simulated time waits for it, as a real disk keeps up with real time.
    bool IsCaughtUp() const { return m_buffersOut.load(std::memory_order_acquire) == 0; }
    // Reads left out because the record thread had fallen ten buffers behind.
    std::uint64_t GetReadsDropped() const { return m_readsDropped.load(std::memory_order_relaxed); }

protected:
    static DWORD StaticRecordThreadProc(void* recorder);
    DWORD RecordThreadProc();
    // Record thread: writes the head of the filled queue; false when it was empty.
    bool WriteOneBuffer();

    CThread* m_recordThread = nullptr;
    CEvent* m_recordStopEvent = nullptr;
    CDVBBufferList* m_freeRecordBuffers = nullptr;
    CDVBBufferList* m_filledRecordBuffers = nullptr;
    CString m_recordFileName;
    CDVBRecordingFilter* m_filter = nullptr;   // guarded by m_recordLock
    int m_file = -1;
    std::atomic<bool> m_recording{false};
    CCriticalSection m_recordLock;   // the two queues, and buffers moving between them
    std::atomic<int> m_error{0};
    std::atomic<std::uint64_t> m_bytesWritten{0};
    std::atomic<std::uint64_t> m_readsDropped{0};
    std::atomic<int> m_buffersOut{0};   // taken by Record, not yet back in the free queue
};
