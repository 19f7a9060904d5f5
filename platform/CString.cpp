#include "platform/CString.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const char* const kWhiteSpace = " \t\r\n\v\f";

int ClampIndex(int value, int size)
{
    return std::max(0, std::min(value, size));
}

// printf does not know "I64"; it means the same as "ll".
std::string TranslateFormat(const char* format)
{
    std::string out;
    const std::size_t length = std::strlen(format);
    out.reserve(length + 8);
    for (std::size_t i = 0; i < length; ++i) {
        if (format[i] != '%') {
            out += format[i];
            continue;
        }
        out += '%';
        ++i;
        // flags, width, precision
        while (i < length && std::strchr("-+ #0123456789.*", format[i]) != nullptr)
            out += format[i++];
        if (i + 3 <= length && std::strncmp(format + i, "I64", 3) == 0) {
            out += "ll";
            i += 3;
        }
        if (i < length)
            out += format[i];
    }
    return out;
}

int CompareBytes(const std::string& a, const char* b, bool foldCase)
{
    const auto* x = reinterpret_cast<const unsigned char*>(a.c_str());
    const auto* y = reinterpret_cast<const unsigned char*>(b ? b : "");
    const std::size_t xl = a.size();
    const std::size_t yl = std::strlen(reinterpret_cast<const char*>(y));
    for (std::size_t i = 0; i < std::min(xl, yl); ++i) {
        int cx = x[i], cy = y[i];
        if (foldCase) {
            cx = (cx < 0x80) ? std::tolower(cx) : cx;
            cy = (cy < 0x80) ? std::tolower(cy) : cy;
        }
        if (cx != cy)
            return cx < cy ? -1 : 1;
    }
    return xl == yl ? 0 : (xl < yl ? -1 : 1);
}

}  // namespace

CString::CString(const char* text) : m_text(text ? text : "") {}

CString::CString(const char* data, int length)
    : m_text(data && length > 0 ? std::string(data, std::size_t(length)) : std::string())
{
}

CString::CString(char c, int count) : m_text(std::size_t(std::max(count, 0)), c) {}

CString& CString::operator+=(const CString& other)
{
    m_text += other.m_text;
    return *this;
}

CString& CString::operator+=(const char* text)
{
    if (text)
        m_text += text;
    return *this;
}

CString& CString::operator+=(char c)
{
    m_text += c;
    return *this;
}

CString& CString::Append(const char* data, int length)
{
    if (data && length > 0)
        m_text.append(data, std::size_t(length));
    return *this;
}

CString operator+(const CString& a, const CString& b)
{
    CString result(a);
    result += b;
    return result;
}

CString operator+(const CString& a, const char* b)
{
    CString result(a);
    result += b;
    return result;
}

CString operator+(const char* a, const CString& b)
{
    CString result(a);
    result += b;
    return result;
}

int CString::Compare(const char* other) const
{
    return CompareBytes(m_text, other, false);
}

int CString::CompareNoCase(const char* other) const
{
    return CompareBytes(m_text, other, true);
}

int CString::Find(char c, int start) const
{
    if (start < 0 || start >= GetLength())
        return -1;
    const std::size_t at = m_text.find(c, std::size_t(start));
    return at == std::string::npos ? -1 : int(at);
}

int CString::Find(const char* text, int start) const
{
    if (!text || start < 0 || start > GetLength())
        return -1;
    const std::size_t at = m_text.find(text, std::size_t(start));
    return at == std::string::npos ? -1 : int(at);
}

int CString::ReverseFind(char c) const
{
    const std::size_t at = m_text.rfind(c);
    return at == std::string::npos ? -1 : int(at);
}

CString CString::Left(int count) const
{
    return CString(m_text.substr(0, std::size_t(ClampIndex(count, GetLength()))));
}

CString CString::Mid(int first) const
{
    return Mid(first, GetLength());
}

CString CString::Mid(int first, int count) const
{
    const int begin = ClampIndex(first, GetLength());
    const int n = ClampIndex(count, GetLength() - begin);
    return CString(m_text.substr(std::size_t(begin), std::size_t(n)));
}

CString CString::Right(int count) const
{
    const int n = ClampIndex(count, GetLength());
    return CString(m_text.substr(std::size_t(GetLength() - n)));
}

CString& CString::Trim()
{
    return Trim(kWhiteSpace);
}

CString& CString::Trim(const char* set)
{
    TrimRight(set);
    return TrimLeft(set);
}

CString& CString::TrimLeft()
{
    return TrimLeft(kWhiteSpace);
}

CString& CString::TrimLeft(const char* set)
{
    const std::size_t first = m_text.find_first_not_of(set ? set : "");
    m_text.erase(0, first == std::string::npos ? m_text.size() : first);
    return *this;
}

CString& CString::TrimRight()
{
    return TrimRight(kWhiteSpace);
}

CString& CString::TrimRight(const char* set)
{
    const std::size_t last = m_text.find_last_not_of(set ? set : "");
    m_text.erase(last == std::string::npos ? 0 : last + 1);
    return *this;
}

CString& CString::MakeUpper()
{
    for (char& c : m_text)
        if (static_cast<unsigned char>(c) < 0x80)
            c = char(std::toupper(static_cast<unsigned char>(c)));
    return *this;
}

CString& CString::MakeLower()
{
    for (char& c : m_text)
        if (static_cast<unsigned char>(c) < 0x80)
            c = char(std::tolower(static_cast<unsigned char>(c)));
    return *this;
}

void CString::Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::AppendFormat(const char* format, ...)
{
    CString tail;
    va_list args;
    va_start(args, format);
    tail.FormatV(format, args);
    va_end(args);
    m_text += tail.m_text;
}

void CString::FormatV(const char* format, va_list args)
{
    m_text.clear();
    if (!format)
        return;
    const std::string translated = TranslateFormat(format);
    char small[256];
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(small, sizeof small, translated.c_str(), copy);
    va_end(copy);
    if (needed < 0)
        return;
    if (std::size_t(needed) < sizeof small) {
        m_text.assign(small, std::size_t(needed));
        return;
    }
    std::vector<char> large(std::size_t(needed) + 1);
    std::vsnprintf(large.data(), large.size(), translated.c_str(), args);
    m_text.assign(large.data(), std::size_t(needed));
}
