#pragma once
// Base of decoders that pull their input. As a PID receiver it strips the transport and
// PES headers of its PID's packets on the receive thread, notes each PES packet's time
// stamps (with the program clock when one is set) and pushes the elementary stream bytes
// into a fixed ring of buffers; the receive thread never waits: a full ring drops data. A
// decode thread of its own runs DecodeStream, which a decoder overrides and which pulls
// the bytes back out with ReadCompressedData.
//
// The decode thread calls DecodeStream only once the object is in use (registered with a
// receiver, given a packet, or started again), so it runs the most derived one. Stop
// waits a second for DecodeStream to return, then gives the thread up: it goes on until
// DecodeStream returns, and the object, which it still uses, waits for it when destroyed.
// A subclass calls StopAndWait() in its destructor, before its own members go.
#include "core/CDVBBufferList.h"
#include "core/CDVBPIDReceiver.h"
#include "platform/CEvent.h"

#include <atomic>

class CDVBBuffer;
class CThread;

class CDVBPullReceiver : public CDVBPIDReceiver
{
public:
    static constexpr DWORD ReadWaitMs = 1000;
    static constexpr DWORD StopTimeoutMs = 1000;

    CDVBPullReceiver(int bufferCount, int bufferSize);
    ~CDVBPullReceiver() override;
    CDVBPullReceiver(const CDVBPullReceiver&) = delete;
    CDVBPullReceiver& operator=(const CDVBPullReceiver&) = delete;

    void Start() override;
    void Stop() override;
    // Stop without a time-out: waits for the decode thread, however long DecodeStream takes.
    void StopAndWait();
    void SetPID(WORD pid) override;
    void OnReceivePacket(std::uint64_t packetNumber, BYTE* packet) override;
    // Whether the decode thread has taken what was filled: a host that moves a simulated
    // clock waits for it, so that a decoder slower than the reader drops nothing.
    bool IsCaughtUp();

protected:
    virtual void DecodeStream() {}
    virtual void OnTimestamps(DWORD flags, std::int64_t pts, std::int64_t dts);
    virtual DWORD WriteCompressedData(BYTE* data, DWORD length);
    // Blocks while the ring is empty; 0 once stopped, or after a second without data.
    virtual DWORD ReadCompressedData(BYTE* data, DWORD length);
    // The decode thread's current buffer: its time stamps belong to its first byte.
    const CDVBBuffer* GetReadBuffer() const { return m_readBuffer; }

    DWORD DecodeThreadProc();
    static DWORD GlobalDecodeThreadProc(void* receiver);
    bool GetNextReadBuffer();
    bool GetNextWriteBuffer();
    void ReleaseReadBuffer();
    void SubmitWriteBuffer();

    CThread* m_decodeThread = nullptr;
    CEvent m_stopEvent{true, false};
    CEvent m_finishedEvent{true, false};
    CEvent m_inUseEvent{true, false};   // the object is fully built: DecodeStream may run
    bool m_started = false;
    CDVBBufferList m_filledBuffers;
    CDVBBufferList m_emptyBuffers;
    CDVBBuffer* m_readBuffer = nullptr;
    CDVBBuffer* m_writeBuffer = nullptr;
    int m_bufferCount;
    int m_bufferSize;

private:
    bool m_constructing = true;
};
