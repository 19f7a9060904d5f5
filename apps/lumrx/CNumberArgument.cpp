#include "CNumberArgument.h"

#include <cmath>
#include <cstdlib>

bool CNumberArgument::ReadSeconds(const char* text, double& value)
{
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && value >= 0 && std::isfinite(value);
}

bool CNumberArgument::ReadIdentifier(const std::string& text, unsigned long maximum, unsigned long& value)
{
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 8 || digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos)
        return false;
    value = std::stoul(digits, nullptr, hex ? 16 : 10);
    return value <= maximum;
}
