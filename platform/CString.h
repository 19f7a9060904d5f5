#pragma once
// An 8-bit string with value semantics that keeps every byte it is given, 0x80-0xFF
// included: text from the stream is stored as broadcast, never converted.
#include <cstdarg>
#include <string>

class CString
{
public:
    CString() = default;
    CString(const char* text);   // NOLINT: converts like the strings it replaces
    CString(const char* data, int length);
    CString(char c, int count);
    explicit CString(std::string text) : m_text(std::move(text)) {}

    int GetLength() const { return int(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }
    operator const char*() const { return m_text.c_str(); }   // NOLINT
    const std::string& Str() const { return m_text; }
    char GetAt(int index) const { return m_text[std::size_t(index)]; }

    CString& operator+=(const CString& other);
    CString& operator+=(const char* text);
    CString& operator+=(char c);
    CString& Append(const char* data, int length);   // every byte, NULs included
    friend CString operator+(const CString& a, const CString& b);
    friend CString operator+(const CString& a, const char* b);
    friend CString operator+(const char* a, const CString& b);
    friend bool operator==(const CString& a, const CString& b) { return a.m_text == b.m_text; }
    friend bool operator==(const CString& a, const char* b) { return a.m_text == (b ? b : ""); }
    friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
    friend bool operator!=(const CString& a, const char* b) { return !(a == b); }
    friend bool operator<(const CString& a, const CString& b) { return a.m_text < b.m_text; }

    // <0, 0, >0 as strcmp; bytes compare unsigned.
    int Compare(const char* other) const;
    int CompareNoCase(const char* other) const;

    // Index of the first match at or after `start`, or -1.
    int Find(char c, int start = 0) const;
    int Find(const char* text, int start = 0) const;
    int ReverseFind(char c) const;

    CString Left(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Right(int count) const;

    // Without an argument these trim ASCII white space; with one, any byte of the set.
    CString& Trim();
    CString& Trim(const char* set);
    CString& TrimLeft();
    CString& TrimLeft(const char* set);
    CString& TrimRight();
    CString& TrimRight(const char* set);

    CString& MakeUpper();
    CString& MakeLower();

    // printf rules, plus the length modifier I64 for a 64-bit argument ("%03I64d").
    void Format(const char* format, ...);
    void FormatV(const char* format, va_list args);
    void AppendFormat(const char* format, ...);

private:
    std::string m_text;
};
