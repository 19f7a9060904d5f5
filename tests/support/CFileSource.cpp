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
