#include "platform/DebugOutput.h"

#include "platform/MonotonicClock.h"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>

namespace {

struct Installed
{
    std::mutex lock;
    DebugOutputSink sink;
};

Installed& Sink()   // not a global: debug lines may come from static constructors
{
    static Installed installed;
    return installed;
}
std::atomic<bool> g_hasSink{false};

// Reading /proc for every line would cost more than the work the line reports: the answer
// is kept for a second, so a debugger that attaches sees lines within a second.
bool DebuggerSeenRecently()
{
    static std::atomic<std::int64_t> nextLook{0};
    static std::atomic<bool> present{false};
    const std::int64_t now = MonotonicNanoseconds();
    if (now >= nextLook.load(std::memory_order_relaxed)) {
        present = IsDebuggerPresent();
        nextLook = now + 1000000000;
    }
    return present;
}

}  // namespace

bool IsDebuggerPresent()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 10, "TracerPid:") == 0)
            return std::stol(line.substr(10)) != 0;
    }
    return false;
}

void OutputDebugStringA(const char* line)
{
    if (line == nullptr)
        return;
    std::lock_guard<std::mutex> guard(Sink().lock);
    if (Sink().sink) {
        Sink().sink(line);
        return;
    }
    if (DebuggerSeenRecently())
        std::fputs(line, stderr);
}

bool IsDebugOutputWanted()
{
    return g_hasSink.load(std::memory_order_relaxed) || DebuggerSeenRecently();
}

DebugOutputSink SetDebugOutputSink(DebugOutputSink sink)
{
    std::lock_guard<std::mutex> guard(Sink().lock);
    DebugOutputSink previous = std::move(Sink().sink);
    Sink().sink = std::move(sink);
    g_hasSink = static_cast<bool>(Sink().sink);
    return previous;
}
