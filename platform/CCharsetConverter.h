#pragma once
// Converts bytes in a named character set to UTF-8 through the system's iconv.
//
// One object holds one conversion descriptor, which keeps conversion state: an object is
// used by one thread at a time, and separate objects convert on separate threads at once.
// CDVBText keeps one per charset for the life of the process, behind a lock of its own.
#include "platform/LUMTypes.h"

#include <cstddef>
#include <string>

class CCharsetConverter
{
public:
    CCharsetConverter() = default;
    ~CCharsetConverter();
    CCharsetConverter(const CCharsetConverter&) = delete;
    CCharsetConverter& operator=(const CCharsetConverter&) = delete;

    // An iconv charset name ("ISO-8859-9", "EUC-KR"). False when the system cannot
    // convert from it; the converter is then closed.
    [[nodiscard]] bool Open(const char* charset);
    bool IsOpen() const { return m_descriptor != nullptr; }
    void Close();

    // Appends the text as UTF-8 to `out`. A byte the charset does not define becomes
    // U+FFFD and conversion goes on with the next byte; a sequence cut short at the end
    // becomes one U+FFFD. Each call starts afresh, whatever the text before it left.
    // False, appending nothing, when the converter is not open.
    bool AppendUTF8(const BYTE* data, std::size_t length, std::string& out);

private:
    void* m_descriptor = nullptr;   // the iconv_t, kept opaque so no OS header is exported
};
