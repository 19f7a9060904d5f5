#pragma once
// A pull receiver that writes the elementary stream of its PID to a file, as a decoder
// would read it, and notes the presentation time stamps it was given.
#include "decode/CDVBPullReceiver.h"

#include <atomic>
#include <cstdio>
#include <vector>

class CElementaryStreamWriter : public CDVBPullReceiver
{
public:
    explicit CElementaryStreamWriter(std::FILE* file);
    ~CElementaryStreamWriter() override;

    // Once reception has stopped: hands over the last, partly filled buffer and waits for
    // the decode thread to write everything.
    void Finish();
    std::uint64_t GetBytesWritten() const { return m_written; }
    std::uint64_t GetPacketsReceived() const { return m_packets.load(std::memory_order_relaxed); }
    // The errno of the first write that failed (a full disk): nothing is written after it.
    int GetError() const { return m_error.load(std::memory_order_relaxed); }

    void OnReceivePacket(std::uint64_t packetNumber, BYTE* packet) override;

protected:
    void DecodeStream() override;

private:
    std::FILE* m_file;   // not owned
    std::uint64_t m_written = 0;
    std::atomic<std::uint64_t> m_packets{0};
    std::atomic<int> m_error{0};
};
