#include "CPresentationLog.h"

#include <ctime>

bool CPresentationLog::Open(const std::string& path)
{
    Close();
    m_file = std::fopen(path.c_str(), "w");
    m_failed = m_file == nullptr;
    return m_file != nullptr;
}

bool CPresentationLog::Close()
{
    if (m_file && std::fclose(m_file) != 0)
        m_failed = true;
    m_file = nullptr;
    return !m_failed;
}

void CPresentationLog::DrawIntoFrame(int width, int height, int stride, const unsigned char* rgb, const unsigned char*,
                                     const unsigned char*, long long presentationTime)
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (m_file == nullptr || rgb == nullptr || width <= 0 || height <= 0)
        return;
    constexpr int kStep = 8;
    unsigned long long sum = 0, count = 0;
    for (int y = kStep / 2; y < height; y += kStep)
        for (int x = kStep / 2; x < width; x += kStep, ++count) {
            const unsigned char* pixel = rgb + std::ptrdiff_t(y) * stride + x * 3;
            sum += (pixel[0] * 2u + pixel[1] * 5u + pixel[2]) / 8u;   // near enough to luma
        }
    if (std::fprintf(m_file, "%lld %lld %llu\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec,
                     presentationTime, count ? sum / count : 0) < 0)
        m_failed = true;
}
