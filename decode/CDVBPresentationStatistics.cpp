#include "decode/CDVBPresentationStatistics.h"

#include <algorithm>
#include <cmath>

void CDVBPresentationStatistics::Restart(std::int64_t requested)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_figures = Figures();
    m_requested = requested;
    m_lastPresented = -1;
    m_lastTime = -1;
    m_intervals.clear();
    m_offsets.clear();
}

void CDVBPresentationStatistics::OnDecoded(std::int64_t now)
{
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_figures.decoded;
    if (m_figures.firstDecoded < 0)
        m_figures.firstDecoded = now;
}

void CDVBPresentationStatistics::OnPresented(std::int64_t now, long long presentationTime)
{
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_figures.presented;
    if (presentationTime >= 0 && presentationTime == m_lastTime)
        ++m_figures.repeated;
    m_lastTime = presentationTime;
    if (m_figures.firstPicture < 0)
        m_figures.firstPicture = now;
    if (m_lastPresented >= 0 && m_intervals.size() < kMaxSamples)
        m_intervals.push_back(double(now - m_lastPresented) / 1e6);
    m_lastPresented = now;
}

void CDVBPresentationStatistics::OnDropped()
{
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_figures.dropped;
}

void CDVBPresentationStatistics::OnResync()
{
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_figures.resyncs;
    m_lastPresented = -1;   // the gap at a jump is not an interval between pictures
}

void CDVBPresentationStatistics::OnAVOffset(std::int64_t ticks)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_offsets.size() < kMaxSamples)
        m_offsets.push_back(double(ticks) / 90.0);
}

void CDVBPresentationStatistics::OnSoundWritten(std::int64_t now, std::uint64_t frames)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_figures.firstSound < 0 && frames > 0)
        m_figures.firstSound = now;
    m_figures.samplesPlayed += frames;
}

CDVBPresentationStatistics::Figures CDVBPresentationStatistics::Get() const
{
    std::vector<double> intervals, offsets;
    Figures figures;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        figures = m_figures;
        intervals = m_intervals;
        offsets = m_offsets;
    }
    figures.interval = Summarise(std::move(intervals));
    figures.avOffset = Summarise(std::move(offsets));
    return figures;
}

std::int64_t CDVBPresentationStatistics::GetRequested() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_requested;
}

CDVBPresentationStatistics::Spread CDVBPresentationStatistics::Summarise(std::vector<double> values)
{
    Spread spread;
    spread.count = values.size();
    if (values.empty())
        return spread;
    auto at = [&values](double fraction) {
        const std::size_t index = std::min(values.size() - 1, std::size_t(fraction * double(values.size() - 1) + 0.5));
        std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(index), values.end());
        return values[index];
    };
    spread.p50 = at(0.5);
    for (double& value : values)
        value = std::fabs(value);
    spread.p95 = at(0.95);
    spread.max = *std::max_element(values.begin(), values.end());
    return spread;
}
