#pragma once
// The one clock a service's decoders present by. While its audio output says what is heard,
// that is the clock (pictures follow the sound); otherwise the program clock. Sound is
// started by the program clock, so that both begin where the broadcaster put them.
//
// The program clock here runs with the monotonic clock, at the offset the packets' arrival
// shows: a packet is never read before its time, only after it (a burst held back, a
// network's jitter), so the largest offset of the last two seconds is the truest. A change
// of over a second is a new time line, taken at once. The monotonic clock is the
// receiver's, which a decoder waits on. Nothing is owned.
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <utility>

class CClock;
class CDVBAudioOutput;
class CDVBProgramClock;

class CDVBPresentationClock
{
public:
    static constexpr std::int64_t kWrap = std::int64_t(1) << 33;   // 90 kHz time stamps wrap here
    // Sound heard further than this from the program clock does not time the pictures.
    static constexpr std::int64_t kSoundAway = 90000 / 10;

    CDVBPresentationClock(CDVBProgramClock& program, CClock& clock) : m_program(program), m_clock(clock) {}

    void SetAudioOutput(CDVBAudioOutput* output) { m_audio = output; }
    CDVBAudioOutput* GetAudioOutput() const { return m_audio; }
    CClock& GetClock() const { return m_clock; }

    // The program clock now; false before the program has a clock.
    bool GetProgramTime(std::int64_t& time) const;
    // What is presented now: the sound heard when there is sound, else the program clock.
    bool GetTime(std::int64_t& time, bool& fromSound) const;

    // a - b for 90 kHz times, across the wrap: the nearest way round.
    static std::int64_t Difference(std::int64_t a, std::int64_t b);

private:
    CDVBProgramClock& m_program;
    CClock& m_clock;
    mutable std::mutex m_lock;   // decoders ask on their threads
    mutable std::deque<std::pair<std::int64_t, std::int64_t>> m_offsets;   // monotonic time, clock - monotonic (90 kHz)
    std::atomic<CDVBAudioOutput*> m_audio{nullptr};
};
