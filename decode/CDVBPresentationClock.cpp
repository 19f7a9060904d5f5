#include "decode/CDVBPresentationClock.h"

#include "decode/CDVBAudioOutput.h"
#include "decode/CDVBProgramClock.h"
#include "platform/CClock.h"

#include <cstdlib>

namespace {

constexpr std::int64_t kWindow = 2000000000;   // nanoseconds of arrivals the offset is taken from
constexpr std::int64_t kNewTimeLine = 90000;    // an offset that moves further: the time stamps jumped
constexpr std::size_t kMaxSamples = 512;

std::int64_t Ticks(std::int64_t nanoseconds)
{
    return nanoseconds / 100000 * 9 + nanoseconds % 100000 * 9 / 100000;
}

}  // namespace

bool CDVBPresentationClock::GetProgramTime(std::int64_t& time) const
{
    std::int64_t arrival = 0, clock = 0;
    const bool known = m_program.GetClockAtArrival(arrival, clock);
    std::lock_guard<std::mutex> guard(m_lock);
    if (known && (m_offsets.empty() || m_offsets.back().first != arrival)) {
        const std::int64_t offset = clock - Ticks(arrival);
        if (!m_offsets.empty() && std::llabs(Difference(offset, m_offsets.back().second)) > kNewTimeLine)
            m_offsets.clear();
        m_offsets.emplace_back(arrival, offset);
        while (m_offsets.size() > kMaxSamples || m_offsets.front().first < arrival - kWindow)
            m_offsets.pop_front();
    }
    if (m_offsets.empty())
        return false;
    std::int64_t best = m_offsets.front().second;
    for (const auto& sample : m_offsets)
        if (Difference(sample.second, best) > 0)
            best = sample.second;
    time = (Ticks(m_clock.GetMonotonicTime()) + best) % kWrap;
    if (time < 0)
        time += kWrap;
    return true;
}

bool CDVBPresentationClock::GetTime(std::int64_t& time, bool& fromSound) const
{
    long long heard = 0;
    CDVBAudioOutput* audio = m_audio;
    const bool program = GetProgramTime(time);
    fromSound = audio != nullptr && audio->GetPlayingTime(heard);
    // sound far from the program clock is being brought back to it (an output slow to
    // start, a jump): the pictures keep to the program clock meanwhile
    if (fromSound && program && std::llabs(Difference(heard, time)) > kSoundAway)
        fromSound = false;
    if (fromSound)
        time = heard;
    return fromSound || program;
}

std::int64_t CDVBPresentationClock::Difference(std::int64_t a, std::int64_t b)
{
    std::int64_t d = (a - b) % kWrap;
    if (d >= kWrap / 2)
        d -= kWrap;
    else if (d < -kWrap / 2)
        d += kWrap;
    return d;
}
