// Arbitrary bytes as broadcast text, from a copy of exactly the input's size. Whatever the
// bytes, the result must be valid UTF-8 with no control character but the line break;
// anything else aborts, so the fuzzer reports it.
#include "si/CDVBText.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Written apart from the decoder on purpose: a check that shares its code shares its faults.
bool IsCleanUTF8(const std::string& text)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    std::size_t i = 0;
    while (i < size) {
        const unsigned char lead = bytes[i];
        std::size_t count = 0;
        std::uint32_t c = 0;
        if (lead < 0x80) {
            count = 1;
            c = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            count = 2;
            c = lead & 0x1Fu;
        } else if ((lead & 0xF0) == 0xE0) {
            count = 3;
            c = lead & 0x0Fu;
        } else if ((lead & 0xF8) == 0xF0) {
            count = 4;
            c = lead & 0x07u;
        } else {
            return false;
        }
        if (count > size - i)
            return false;
        for (std::size_t k = 1; k < count; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (bytes[i + k] & 0x3Fu);
        }
        static const std::uint32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < kSmallest[count] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        if ((c < 0x20 && c != '\n') || (c >= 0x80 && c <= 0x9F) || (c >= 0xE080 && c <= 0xE09F))
            return false;
        i += count;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<BYTE> bytes(data, data + size);
    const std::string text = CDVBText::ToUTF8(bytes.data(), bytes.size());
    if (!IsCleanUTF8(text))
        std::abort();
    return 0;
}
