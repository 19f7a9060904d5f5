#pragma once
// Records the bytes a receiver reads to a file, as they were delivered, on a record
// thread of its own so that the receive thread never waits for the disk. The two threads
// pass ten recycled buffers through a queue of free and a queue of filled ones; a read
// that finds no free buffer is left out of the file whole, or, on simulated time, waits
// for one. A failed write is tried again, so a one-off error loses nothing; only one that
// persists ends the recording. The transport stream receiver owns one and drives it
// (StartRecording, StopRecording, and Record on every read).
#include "platform/CCriticalSection.h"
#include "platform/CEvent.h"
#include "platform/CString.h"
#include "platform/LUMTypes.h"

#include <atomic>
#include <cstdint>

class CDVBBuffer;
class CDVBBufferList;
class CDVBRecordingFilter;
class CThread;

class CDVBRecorder
{
public:
    static constexpr int BufferCount = 10;
    static constexpr DWORD StopTimeoutMs = 5000;
    // Failed writes of the same bytes in a row after which the error is taken as lasting.
    static constexpr int WriteAttempts = 3;

    CDVBRecorder() = default;
    virtual ~CDVBRecorder() { Stop(); }
    CDVBRecorder(const CDVBRecorder&) = delete;
    CDVBRecorder& operator=(const CDVBRecorder&) = delete;

    // Ends a recording in progress, creates (or empties) the file and starts the record
    // thread with buffers of `bufferSize` bytes; `filter` (not owned, may be null) chooses
    // what of each read is written. `waitForFreeBuffers` makes Record wait for the record
    // thread instead of leaving a read out: only right when time is simulated, where the
    // disk must keep up however slow it is. `descriptor`, when not -1, is written to in
    // place of the file. False, with GetError set, when the file cannot be created.
    bool Start(const CString& fileName, DWORD bufferSize, CDVBRecordingFilter* filter = nullptr,
               bool waitForFreeBuffers = false, int descriptor = -1);
    // Writes what has been filled, then ends the record thread and closes the file.
    bool Stop();
    // Receive thread: the first min(length, buffer size) bytes of one read.
    void Record(const BYTE* data, DWORD length);

    bool IsRecording() const { return m_recording.load(std::memory_order_relaxed); }
    // errno of the failed creation, or of the write error that persisted and ended the
    // recording (ENOSPC: the disk is full); 0 if none.
    int GetError() const { return m_error.load(std::memory_order_relaxed); }
    // Writes that failed, whether or not a later attempt wrote their bytes, and the errno
    // of the first of them (0 if none).
    std::uint64_t GetWriteErrors() const { return m_writeErrors.load(std::memory_order_relaxed); }
    int GetFirstWriteError() const { return m_firstWriteError.load(std::memory_order_relaxed); }
    std::uint64_t GetBytesWritten() const { return m_bytesWritten.load(std::memory_order_relaxed); }
    // True when every read handed to Record has been written (or given up on): a host on
    // simulated time waits for it, as a real disk keeps up with real time.
    bool IsCaughtUp() const { return m_buffersOut.load(std::memory_order_acquire) == 0; }
    // Reads left out because the record thread had fallen ten buffers behind.
    std::uint64_t GetReadsDropped() const { return m_readsDropped.load(std::memory_order_relaxed); }
    // Reads that found no free buffer and waited for one (waitForFreeBuffers).
    std::uint64_t GetReadsWaited() const { return m_readsWaited.load(std::memory_order_relaxed); }

protected:
    static DWORD StaticRecordThreadProc(void* recorder);
    DWORD RecordThreadProc();
    // Record thread: writes the head of the filled queue; false when it was empty.
    bool WriteOneBuffer();
    // Receive thread, under m_recordLock: the read into a free buffer, queued to be written.
    void Fill(CDVBBuffer* buffer, const BYTE* data, DWORD length);
    // Record thread: one write(2) to the file; tests put a failing disk here.
    virtual long WriteFile(const BYTE* data, DWORD length);

    CThread* m_recordThread = nullptr;
    CEvent* m_recordStopEvent = nullptr;
    CDVBBufferList* m_freeRecordBuffers = nullptr;
    CDVBBufferList* m_filledRecordBuffers = nullptr;
    CString m_recordFileName;
    CDVBRecordingFilter* m_filter = nullptr;   // guarded by m_recordLock
    bool m_waitForFreeBuffers = false;         // guarded by m_recordLock
    CEvent m_bufferFreed{false, false};        // a buffer went back to the free queue, or the stop
    int m_file = -1;
    std::atomic<bool> m_recording{false};
    CCriticalSection m_recordLock;   // the two queues, and buffers moving between them
    std::atomic<int> m_error{0};
    std::atomic<std::uint64_t> m_bytesWritten{0};
    std::atomic<std::uint64_t> m_readsDropped{0};
    std::atomic<std::uint64_t> m_readsWaited{0};
    std::atomic<std::uint64_t> m_writeErrors{0};
    std::atomic<int> m_firstWriteError{0};
    std::atomic<int> m_buffersOut{0};   // taken by Record, not yet back in the free queue
};
