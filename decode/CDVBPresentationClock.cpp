#include "decode/CDVBPresentationClock.h"

#include "decode/CDVBAudioOutput.h"
#include "decode/CDVBProgramClock.h"

bool CDVBPresentationClock::GetProgramTime(std::int64_t& time) const
{
    return m_program.GetProgramClock(time, true);
}

bool CDVBPresentationClock::GetTime(std::int64_t& time, bool& fromSound) const
{
    long long heard = 0;
    CDVBAudioOutput* audio = m_audio;
    fromSound = audio != nullptr && audio->GetPlayingTime(heard);
    if (fromSound) {
        time = heard;
        return true;
    }
    return GetProgramTime(time);
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
