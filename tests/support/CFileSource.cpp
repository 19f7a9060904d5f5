#include "tests/support/CFileSource.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

bool CFileSource::Load(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    m_bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    m_bytes.resize(m_bytes.size() / 188 * 188);
    m_position = 0;
    return !m_bytes.empty();
}

double CFileSource::MeasureRate() const
{
    int pcrPid = -1;
    std::size_t firstIndex = 0, lastIndex = 0;
    std::uint64_t firstPcr = 0, lastPcr = 0;
    for (std::size_t i = 0; i + 188 <= m_bytes.size(); i += 188) {
        const BYTE* p = &m_bytes[i];
        const int pid = ((p[1] & 0x1F) << 8) | p[2];
        if (!(p[3] & 0x20) || p[4] < 7 || !(p[5] & 0x10) || (pcrPid >= 0 && pid != pcrPid))
            continue;
        const std::uint64_t pcr = (std::uint64_t(p[6]) << 25) | (std::uint64_t(p[7]) << 17) |
                                  (std::uint64_t(p[8]) << 9) | (std::uint64_t(p[9]) << 1) | (p[10] >> 7);
        if (pcrPid < 0) {
            pcrPid = pid;
            firstIndex = i / 188;
            firstPcr = pcr;
        }
        lastIndex = i / 188;
        lastPcr = pcr;
    }
    return lastPcr > firstPcr ? double(lastIndex - firstIndex) * 1504.0 * 90000.0 / double(lastPcr - firstPcr) : 0;
}

DWORD CFileSource::ReadBuffer(BYTE* buffer, DWORD size)
{
    std::size_t allowed = m_bytes.size();
    if (m_bitsPerSecond > 0) {
        const double seconds = double(m_clock->GetMonotonicTime() - m_startNs) / 1e9;
        allowed = std::min(allowed, std::size_t(seconds * m_bitsPerSecond / 8.0) / 188 * 188);
    }
    const std::size_t n = std::min<std::size_t>({allowed > m_position ? allowed - m_position : 0,
                                                 size / 188 * 188, m_bytes.size() - m_position});
    if (n > 0)
        std::memcpy(buffer, &m_bytes[m_position], n);
    m_position += n;
    if (m_position == m_bytes.size() && n == 0)
        m_drained.Set();   // on the read after the last bytes: they have been dispatched
    return DWORD(n);
}
