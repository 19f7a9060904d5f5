#include "platform/DebugOutput.h"

#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>

namespace {

std::mutex& SinkLock()
{
    static std::mutex lock;
    return lock;
}

DebugOutputSink& Sink()
{
    static DebugOutputSink sink;
    return sink;
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
    std::lock_guard<std::mutex> guard(SinkLock());
    if (Sink()) {
        Sink()(line);
        return;
    }
    if (IsDebuggerPresent())
        std::fputs(line, stderr);
}

DebugOutputSink SetDebugOutputSink(DebugOutputSink sink)
{
    std::lock_guard<std::mutex> guard(SinkLock());
    DebugOutputSink previous = std::move(Sink());
    Sink() = std::move(sink);
    return previous;
}
