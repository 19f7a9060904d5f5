#include "CElementaryStreamWriter.h"

#include <cerrno>

namespace {

constexpr int kBuffers = 256;
constexpr int kBufferSize = 65536;   // 16 MB in all: a decoder that falls behind loses nothing soon

}  // namespace

CElementaryStreamWriter::CElementaryStreamWriter(std::FILE* file) : CDVBPullReceiver(kBuffers, kBufferSize), m_file(file)
{
}

CElementaryStreamWriter::~CElementaryStreamWriter()
{
    StopAndWait();   // before m_file's owner may close it, and before this object goes
}

void CElementaryStreamWriter::Finish()
{
    SubmitWriteBuffer();
    StopAndWait();   // however long the disk takes: every byte is written before the file closes
}

void CElementaryStreamWriter::OnReceivePacket(std::uint64_t packetNumber, BYTE* packet)
{
    m_packets.fetch_add(1, std::memory_order_relaxed);
    CDVBPullReceiver::OnReceivePacket(packetNumber, packet);
}

void CElementaryStreamWriter::DecodeStream()
{
    std::vector<BYTE> chunk(kBufferSize);
    for (;;) {
        const DWORD n = ReadCompressedData(chunk.data(), DWORD(chunk.size()));
        if (n > 0 && m_error == 0) {
            const std::size_t done = std::fwrite(chunk.data(), 1, n, m_file);
            m_written += done;
            if (done < n)
                m_error = errno ? errno : EIO;
        } else if (m_stopEvent.IsSet()) {
            return;   // stopped, and nothing is left
        }
    }
}
