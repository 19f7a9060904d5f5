#pragma once
// Diagnostic lines. By default a line reaches standard error only while a debugger is
// attached, as debugger output does; hosts and tests install a sink of their own.
#include <functional>

using DebugOutputSink = std::function<void(const char* line)>;

void OutputDebugStringA(const char* line);
// False when a line would go nowhere: a caller can skip making it.
bool IsDebugOutputWanted();

// Replaces the process-wide sink and returns the one it replaces; an empty function
// restores the default.
DebugOutputSink SetDebugOutputSink(DebugOutputSink sink);

// The default sink's test: is a tracer attached to this process?
bool IsDebuggerPresent();
