#include "decode/CDVBPullReceiver.h"

#include "core/CDVBBuffer.h"
#include "decode/CDVBProgramClock.h"
#include "platform/CThread.h"

#include <algorithm>
#include <cstring>

CDVBPullReceiver::CDVBPullReceiver(int bufferCount, int bufferSize)
    : m_bufferCount(bufferCount), m_bufferSize(bufferSize)
{
    m_programClock = nullptr;
    for (int i = 0; i < bufferCount; ++i)
        m_emptyBuffers.AddBuffer(new CDVBBuffer(DWORD(bufferSize > 0 ? bufferSize : 1)));
    CDVBPullReceiver::Start();
    m_constructing = false;
}

CDVBPullReceiver::~CDVBPullReceiver()
{
    StopAndWait();
}

void CDVBPullReceiver::Start()
{
    m_started = false;
    if (!m_constructing)
        m_inUseEvent.Set();
    if (m_decodeThread && !m_decodeThread->HasEnded())
        return;   // one given up at a stop is still the decode thread
    delete m_decodeThread;
    m_finishedEvent.Reset();
    m_decodeThread = new CThread;
    m_decodeThread->Start(&CDVBPullReceiver::GlobalDecodeThreadProc, this);
}

void CDVBPullReceiver::SetPID(WORD pid)
{
    CDVBPIDReceiver::SetPID(pid);
    m_inUseEvent.Set();   // registered with a receiver: built whole
}

void CDVBPullReceiver::Stop()
{
    if (m_decodeThread) {
        m_stopEvent.Set();
        if (m_finishedEvent.Wait(StopTimeoutMs) != WAIT_OBJECT_0) {
            m_decodeThread->Terminate(0);   // says so; kept until it ends, as is the read buffer
            SubmitWriteBuffer();
            return;
        }
        delete m_decodeThread;
        m_decodeThread = nullptr;
    }
    ReleaseReadBuffer();
    SubmitWriteBuffer();
}

void CDVBPullReceiver::StopAndWait()
{
    m_stopEvent.Set();
    delete m_decodeThread;   // joins: the thread uses this object until it ends
    m_decodeThread = nullptr;
    ReleaseReadBuffer();
    SubmitWriteBuffer();
}

bool CDVBPullReceiver::IsCaughtUp()
{
    // one buffer may be out being written, one being read
    return m_filledBuffers.GetCount() == 0 && m_emptyBuffers.GetCount() + 2 >= std::size_t(m_bufferCount);
}

DWORD CDVBPullReceiver::GlobalDecodeThreadProc(void* receiver)
{
    return static_cast<CDVBPullReceiver*>(receiver)->DecodeThreadProc();
}

DWORD CDVBPullReceiver::DecodeThreadProc()
{
    // in use first: once the object was whole, DecodeStream runs even if a stop came too;
    // stopped before it was ever used (a destructor, say), the subclass may be gone
    CEvent* const events[] = {&m_inUseEvent, &m_stopEvent};
    if (CEvent::WaitMany(events, 2, INFINITE) == WAIT_OBJECT_0)
        DecodeStream();
    m_finishedEvent.Set();
    return 1;
}

void CDVBPullReceiver::OnReceivePacket(std::uint64_t, BYTE* packet)
{
    m_inUseEvent.Set();
    const bool unitStart = packet[1] & 0x40;
    if (unitStart)
        m_started = true;
    if (!m_started || (packet[3] & 0xC0) != 0)
        return;   // before the first PES start, or scrambled
    if (unitStart) {
        std::int64_t pts = 0, dts = 0;
        const DWORD flags = GetTimeStampsFromPacket(packet, pts, dts);
        if (flags != 0)
            OnTimestamps(flags, pts, dts);
    }
    BYTE* data = nullptr;
    DWORD length = 0;
    if (GetPESInternalData(packet, data, length))
        WriteCompressedData(data, length);
}

void CDVBPullReceiver::OnTimestamps(DWORD flags, std::int64_t pts, std::int64_t dts)
{
    if (!GetNextWriteBuffer())
        return;   // no empty buffer: the time stamps are lost
    m_writeBuffer->m_timeStampFlags = flags;
    if (m_programClock) {
        m_programClock->GetProgramClock(m_writeBuffer->m_clock, false);
        m_writeBuffer->m_timeStampFlags |= CDVBBuffer::HasClock;
    }
    m_writeBuffer->m_pts = pts;
    m_writeBuffer->m_dts = dts;
}

DWORD CDVBPullReceiver::WriteCompressedData(BYTE* data, DWORD length)
{
    DWORD written = 0;
    while (written < length) {
        if (m_writeBuffer == nullptr) {
            if (!GetNextWriteBuffer())
                break;   // the ring is full: the rest is dropped
            continue;
        }
        if (m_writeBuffer->m_used < m_writeBuffer->m_capacity) {
            const DWORD n = std::min(length - written, m_writeBuffer->m_capacity - m_writeBuffer->m_used);
            std::memcpy(m_writeBuffer->m_position, data + written, n);
            m_writeBuffer->m_position += n;
            m_writeBuffer->m_used += n;
            written += n;
        }
        if (m_writeBuffer->m_used == m_writeBuffer->m_capacity)
            SubmitWriteBuffer();
    }
    return written;
}

DWORD CDVBPullReceiver::ReadCompressedData(BYTE* data, DWORD length)
{
    DWORD read = 0;
    while (read < length) {
        if (m_readBuffer) {
            if (m_readBuffer->m_used != 0) {
                const DWORD n = std::min(length - read, m_readBuffer->m_used);
                std::memcpy(data + read, m_readBuffer->m_position, n);
                read += n;
                m_readBuffer->m_position += n;
                m_readBuffer->m_used -= n;
            }
            if (m_readBuffer->m_used == 0)
                ReleaseReadBuffer();
        } else if (!GetNextReadBuffer()) {
            if (read != 0)
                return read;   // what there is, rather than a wait
            CEvent* const events[] = {&m_stopEvent, CEvent::FromHandle(m_filledBuffers.GetHasBuffersEvent())};
            if (CEvent::WaitMany(events, 2, ReadWaitMs) != WAIT_OBJECT_0 + 1 || !GetNextReadBuffer())
                return 0;
        }
    }
    return read;
}

bool CDVBPullReceiver::GetNextWriteBuffer()
{
    SubmitWriteBuffer();
    m_writeBuffer = m_emptyBuffers.RemoveBuffer();
    if (m_writeBuffer == nullptr)
        return false;
    m_writeBuffer->m_position = m_writeBuffer->m_data;
    m_writeBuffer->m_used = 0;
    m_writeBuffer->m_timeStampFlags = 0;
    return true;
}

void CDVBPullReceiver::SubmitWriteBuffer()
{
    if (m_writeBuffer == nullptr)
        return;
    m_writeBuffer->m_position = m_writeBuffer->m_data;
    (m_writeBuffer->m_used != 0 ? m_filledBuffers : m_emptyBuffers).AddBuffer(m_writeBuffer);
    m_writeBuffer = nullptr;
}

bool CDVBPullReceiver::GetNextReadBuffer()
{
    ReleaseReadBuffer();
    m_readBuffer = m_filledBuffers.RemoveBuffer();
    if (m_readBuffer == nullptr)
        return false;
    m_readBuffer->m_position = m_readBuffer->m_data;
    return true;
}

void CDVBPullReceiver::ReleaseReadBuffer()
{
    if (m_readBuffer == nullptr)
        return;
    m_readBuffer->m_used = 0;
    m_emptyBuffers.AddBuffer(m_readBuffer);
    m_readBuffer = nullptr;
}
