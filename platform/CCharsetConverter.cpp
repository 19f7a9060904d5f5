#include "platform/CCharsetConverter.h"

#include <cerrno>
#include <iconv.h>

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";   // U+FFFD in UTF-8

const iconv_t kNoDescriptor = reinterpret_cast<iconv_t>(-1);   // iconv_open's failure value

}  // namespace

CCharsetConverter::~CCharsetConverter()
{
    Close();
}

bool CCharsetConverter::Open(const char* charset)
{
    Close();
    if (charset == nullptr)
        return false;
    const iconv_t descriptor = iconv_open("UTF-8", charset);
    if (descriptor == kNoDescriptor)
        return false;
    m_descriptor = descriptor;
    return true;
}

void CCharsetConverter::Close()
{
    if (m_descriptor != nullptr)
        iconv_close(static_cast<iconv_t>(m_descriptor));
    m_descriptor = nullptr;
}

bool CCharsetConverter::AppendUTF8(const BYTE* data, std::size_t length, std::string& out)
{
    if (m_descriptor == nullptr)
        return false;
    const auto descriptor = static_cast<iconv_t>(m_descriptor);
    iconv(descriptor, nullptr, nullptr, nullptr, nullptr);   // back to the initial state

    // iconv takes char** for its input but only reads through it.
    char* in = const_cast<char*>(reinterpret_cast<const char*>(data));
    std::size_t inLeft = data != nullptr ? length : 0;
    char buffer[512];
    while (inLeft > 0) {
        char* next = buffer;
        std::size_t room = sizeof buffer;
        const std::size_t result = iconv(descriptor, &in, &inLeft, &next, &room);
        const int error = errno;
        out.append(buffer, std::size_t(next - buffer));
        if (result != std::size_t(-1))
            continue;
        if (error == E2BIG && next != buffer)
            continue;   // the buffer is full: drain it and go on
        out += kReplacement;
        if (error != EILSEQ)
            break;   // a sequence cut short at the end, or a failure that would repeat
        // Skip one byte only: the bytes after a bad lead byte may start a good character.
        ++in;
        --inLeft;
    }
    char* next = buffer;
    std::size_t room = sizeof buffer;
    iconv(descriptor, nullptr, nullptr, &next, &room);   // whatever closes a shifted state
    out.append(buffer, std::size_t(next - buffer));
    return true;
}
