#pragma once
// Runs a shell command line and gives its exit code (-1 when it did not exit) and what it
// wrote on standard output.
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <utility>

inline std::pair<int, std::string> CommandOutput(const std::string& command)
{
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return {-1, out};
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        out.append(buffer, n);
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}
