#pragma once
// Where lumview keeps what it remembers between runs; the window keeps it in QSettings,
// a test in a map.
#include <string>

class CLumviewSettings
{
public:
    virtual ~CLumviewSettings() = default;
    virtual std::string GetSetting(const char* key) const = 0;   // empty when never set
    virtual void SetSetting(const char* key, const std::string& value) = 0;
};
