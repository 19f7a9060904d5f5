#pragma once
// Numbers typed on the command line, read strictly: what does not read is a usage error,
// never a number it happens to start with.
#include <string>

class CNumberArgument
{
public:
    static constexpr const char* kServiceRule = "a service number is 0 to 65535, decimal or hexadecimal (0x3E9)";
    static constexpr const char* kPidRule = "a PID is 0 to 8191, decimal or hexadecimal (0x100)";

    // A finite number of seconds, not negative.
    static bool ReadSeconds(const char* text, double& value);
    // Decimal, or hexadecimal after 0x, and nothing else: "abc" is no service 0, nor 70000 service 4464.
    static bool ReadIdentifier(const std::string& text, unsigned long maximum, unsigned long& value);
};
