#pragma once
// Catches the library's diagnostic lines for the life of a test scope.
#include "platform/DebugOutput.h"

#include <mutex>
#include <string>
#include <vector>

class CDebugLineCatcher
{
public:
    ~CDebugLineCatcher() { SetDebugOutputSink(m_previous); }
    std::vector<std::string> Lines() const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_lines;
    }

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_lines;
    DebugOutputSink m_previous = SetDebugOutputSink([this](const char* line) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_lines.emplace_back(line);
    });
};
