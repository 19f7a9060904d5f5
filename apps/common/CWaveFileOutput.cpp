#include "CWaveFileOutput.h"

#include <cstring>

namespace {

constexpr std::uint32_t kRate = 48000;
constexpr std::uint16_t kChannels = 2;
constexpr std::uint32_t kFrameBytes = kChannels * 4;

void Put(unsigned char*& at, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        *at++ = static_cast<unsigned char>(value >> (8 * i));   // little-endian
}

}  // namespace

bool CWaveFileOutput::Open(const std::string& path)
{
    Close();
    m_file = std::fopen(path.c_str(), "wb");
    m_path = path;
    m_frames = 0;
    m_failed = m_file == nullptr;
    return m_file && WriteHeader();
}

bool CWaveFileOutput::WriteHeader()
{
    const std::uint64_t data = m_frames * kFrameBytes;
    const std::uint32_t size = data > 0xFFFFFFFFu - 50 ? 0xFFFFFFFFu : std::uint32_t(data);
    unsigned char header[58];
    unsigned char* at = header;
    std::memcpy(at, "RIFF", 4), at += 4;
    Put(at, size == 0xFFFFFFFFu ? size : 50 + size, 4);
    std::memcpy(at, "WAVEfmt ", 8), at += 8;
    Put(at, 18, 4);
    Put(at, 3, 2);   // IEEE float
    Put(at, kChannels, 2);
    Put(at, kRate, 4);
    Put(at, kRate * kFrameBytes, 4);
    Put(at, kFrameBytes, 2);
    Put(at, 32, 2);
    Put(at, 0, 2);
    std::memcpy(at, "fact", 4), at += 4;
    Put(at, 4, 4);
    Put(at, std::uint32_t(m_frames), 4);
    std::memcpy(at, "data", 4), at += 4;
    Put(at, size, 4);
    if (std::fseek(m_file, 0, SEEK_SET) != 0 || std::fwrite(header, sizeof header, 1, m_file) != 1)
        m_failed = true;
    std::fseek(m_file, 0, SEEK_END);
    return !m_failed;
}

bool CWaveFileOutput::Close()
{
    if (m_file == nullptr)
        return !m_failed;
    WriteHeader();
    if (std::fclose(m_file) != 0)
        m_failed = true;
    m_file = nullptr;
    return !m_failed;
}

int CWaveFileOutput::Write(const float* samples, int frames, long long)
{
    if (m_file == nullptr || frames <= 0)
        return frames;
    if (std::fwrite(samples, kFrameBytes, std::size_t(frames), m_file) != std::size_t(frames))
        m_failed = true;   // said at Close; the sound is taken all the same
    m_frames += std::uint64_t(frames);
    return frames;
}

void CWaveFileOutput::GetStatus(CString& status)
{
    status = ("WAV file " + m_path + (m_failed ? " (not written whole)" : "")).c_str();
}
