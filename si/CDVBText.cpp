#include "si/CDVBText.h"

#include "platform/CCharsetConverter.h"

#include <map>
#include <memory>
#include <mutex>

#include <string_view>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

}  // namespace

void CDVBText::AppendUTF8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

namespace {

// Every table's characters pass here, so the control codes mean the same in all of them.
void Emit(std::string& out, char32_t c)
{
    if (c < 0x20)
        return;
    if ((c >= 0x80 && c <= 0x9F) || (c >= 0xE080 && c <= 0xE09F)) {
        if ((c & 0xFF) == 0x8A)
            out += '\n';
        return;   // emphasis and the reserved controls change nothing a reader sees
    }
    CDVBText::AppendUTF8(out, c);
}

// One character from UTF-8 bytes; returns the bytes it took (at least 1). A bad sequence
// takes its longest valid-looking prefix and gives U+FFFD, so the byte that broke it
// starts afresh.
std::size_t NextUTF8(const BYTE* data, std::size_t length, char32_t& c)
{
    const BYTE lead = data[0];
    if (lead < 0x80) {
        c = lead;
        return 1;
    }
    // The first trail byte's range shuts out overlong forms, surrogates and code points
    // past U+10FFFF; the lead bytes C0, C1 and F5..FF start nothing.
    std::size_t trail = 0;
    BYTE low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        trail = 1;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        trail = 2;
        c = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        trail = 3;
        c = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        c = kReplacement;
        return 1;
    }
    std::size_t used = 1;
    for (; used <= trail; ++used) {
        if (used >= length || data[used] < low || data[used] > high) {
            c = kReplacement;
            return used;
        }
        c = (c << 6) | (data[used] & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    return used;
}

void DecodeUTF8(const BYTE* data, std::size_t length, std::string& out)
{
    std::size_t used = 0;
    while (used < length) {
        char32_t c = 0;
        used += NextUTF8(data + used, length - used, c);
        Emit(out, c);
    }
}

void DecodeUCS2(const BYTE* data, std::size_t length, std::string& out)
{
    std::size_t used = 0;
    for (; length - used >= 2; used += 2) {
        const char32_t c = char32_t(data[used] << 8 | data[used + 1]);
        Emit(out, c >= 0xD800 && c <= 0xDFFF ? kReplacement : c);
    }
    if (used < length)
        Emit(out, kReplacement);   // half a character
}

// Table 00, 0xA0..0xFF; 0 where the table is empty. The diacritics 0xC1..0xCF are read
// before this table is. 0xD0 is the horizontal bar (glibc gives the em dash) and 0xE2 the
// capital D with stroke, which also serves as capital eth (glibc gives the eth).
constexpr char16_t kTable00Upper[96] = {
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x20AC, 0x00A5, 0,      0x00A7,   // A0
    0x00A4, 0x2018, 0x201C, 0x00AB, 0x2190, 0x2191, 0x2192, 0x2193,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00D7, 0x00B5, 0x00B6, 0x00B7,   // B0
    0x00F7, 0x2019, 0x201D, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF,
    0,      0,      0,      0,      0,      0,      0,      0,        // C0
    0,      0,      0,      0,      0,      0,      0,      0,
    0x2015, 0x00B9, 0x00AE, 0x00A9, 0x2122, 0x266A, 0x00AC, 0x00A6,   // D0
    0,      0,      0,      0,      0x215B, 0x215C, 0x215D, 0x215E,
    0x2126, 0x00C6, 0x0110, 0x00AA, 0x0126, 0,      0x0132, 0x013F,   // E0
    0x0141, 0x00D8, 0x0152, 0x00BA, 0x00DE, 0x0166, 0x014A, 0x0149,
    0x0138, 0x00E6, 0x0111, 0x00F0, 0x0127, 0x0131, 0x0133, 0x0140,   // F0
    0x0142, 0x00F8, 0x0153, 0x00DF, 0x00FE, 0x0167, 0x014B, 0x00AD,
};

// A non-spacing diacritic: what it makes of a following space, and of each letter it
// combines with (bases[i] becomes composed[i]).
struct Diacritic
{
    char16_t spacing;
    std::string_view bases;
    std::u16string_view composed;
};

// 0xC1..0xCF; 0xC9 and 0xCC are empty. Small g with cedilla is written with the acute
// (its cedilla is drawn above); with the cedilla it is accepted too.
constexpr Diacritic kDiacritics[15] = {
    {u'`', "AEIOUaeiou", u"ÀÈÌÒÙàèìòù"},
    {u'´', "ACEILNORSUYZacegilnorsuyz", u"ÁĆÉÍĹŃÓŔŚÚÝŹáćéģíĺńóŕśúýź"},
    {u'^', "ACEGHIJOSUWYaceghijosuwy", u"ÂĈÊĜĤÎĴÔŜÛŴŶâĉêĝĥîĵôŝûŵŷ"},
    {u'~', "AINOUainou", u"ÃĨÑÕŨãĩñõũ"},
    {u'¯', "AEIOUaeiou", u"ĀĒĪŌŪāēīōū"},
    {u'˘', "AGUagu", u"ĂĞŬăğŭ"},
    {u'˙', "CEGIZcegz", u"ĊĖĠİŻċėġż"},
    {u'¨', "AEIOUYaeiouy", u"ÄËÏÖÜŸäëïöüÿ"},
    {0, "", u""},
    {u'˚', "AUau", u"ÅŮåů"},
    {u'¸', "CGKLNRSTcgklnrst", u"ÇĢĶĻŅŖŞŢçģķļņŗşţ"},
    {0, "", u""},
    {u'˝', "OUou", u"ŐŰőű"},
    {u'˛', "AEIUaeiu", u"ĄĘĮŲąęįų"},
    {u'ˇ', "CDELNRSTZcdelnrstz", u"ČĎĚĽŇŘŠŤŽčďěľňřšťž"},
};

constexpr bool EveryBaseHasItsLetter()
{
    for (const Diacritic& diacritic : kDiacritics)
        if (diacritic.bases.size() != diacritic.composed.size())
            return false;
    return true;
}
static_assert(EveryBaseHasItsLetter(), "a diacritic's letters and its bases differ in count");

// A diacritic and the byte after it as one character, or 0 when they make none.
char32_t Combine(BYTE mark, BYTE base)
{
    const Diacritic& diacritic = kDiacritics[mark - 0xC1];
    if (base == ' ')
        return diacritic.spacing;
    const std::size_t at = diacritic.bases.find(char(base));
    return at == std::string_view::npos ? 0 : diacritic.composed[at];
}

void DecodeTable00(const BYTE* data, std::size_t length, std::string& out)
{
    std::size_t used = 0;
    while (used < length) {
        const BYTE byte = data[used++];
        if (byte >= 0xC1 && byte <= 0xCF) {
            const char32_t combined = used < length ? Combine(byte, data[used]) : 0;
            if (combined != 0)
                ++used;
            // Without a partner the diacritic alone is unreadable; the byte after it is
            // read on its own.
            Emit(out, combined != 0 ? combined : kReplacement);
        } else if (byte < 0xA0) {
            Emit(out, byte);
        } else {
            const char32_t c = kTable00Upper[byte - 0xA0];
            Emit(out, c != 0 ? c : kReplacement);
        }
    }
}

// A selector we cannot serve: mark it, and keep what is most likely ASCII.
void DecodeUnserved(const BYTE* data, std::size_t length, std::string& out)
{
    Emit(out, kReplacement);
    for (std::size_t used = 0; used < length; ++used)
        Emit(out, data[used] >= 0x20 && data[used] <= 0x7E ? char32_t(data[used]) : kReplacement);
}

// One open converter per charset for the life of the process, each used by one thread at
// a time. Opening and closing per text would load and unload the system's conversion
// module each time: slow, and a load racing an unload in the C library's loader.
class CSharedConverter
{
public:
    // Null when the system cannot convert from `charset`; otherwise locked for the caller.
    static CSharedConverter* Acquire(const char* charset, std::unique_lock<std::mutex>& lock)
    {
        static std::mutex tableLock;
        static std::map<std::string, std::unique_ptr<CSharedConverter>> table;
        CSharedConverter* converter = nullptr;
        {
            std::lock_guard<std::mutex> guard(tableLock);
            std::unique_ptr<CSharedConverter>& slot = table[charset];
            if (!slot) {
                slot = std::make_unique<CSharedConverter>();
                slot->m_open = slot->m_converter.Open(charset);
            }
            converter = slot.get();
        }
        if (!converter->m_open)
            return nullptr;
        lock = std::unique_lock<std::mutex>(converter->m_lock);
        return converter;
    }

    CCharsetConverter m_converter;

private:
    std::mutex m_lock;
    bool m_open = false;
};

// A single-byte table through the system's converter; its controls come out as
// U+0000..U+009F and are handled with everyone else's.
void DecodeSingleByte(const char* charset, const BYTE* data, std::size_t length, std::string& out)
{
    std::unique_lock<std::mutex> lock;
    CSharedConverter* shared = CSharedConverter::Acquire(charset, lock);
    std::string converted;
    if (shared == nullptr || !shared->m_converter.AppendUTF8(data, length, converted)) {
        DecodeUnserved(data, length, out);
        return;
    }
    DecodeUTF8(reinterpret_cast<const BYTE*>(converted.data()), converted.size(), out);
}

// KS X 1001, GB 2312 and Big5: a byte 0x81..0xFE leads a pair in all three. Pairs
// 0xE0 0x80..0x9F are no character in any of them and carry the control codes, so the
// converter sees the runs between them.
void DecodeDoubleByte(const char* charset, const BYTE* data, std::size_t length, std::string& out)
{
    std::unique_lock<std::mutex> lock;
    CSharedConverter* shared = CSharedConverter::Acquire(charset, lock);
    if (shared == nullptr) {
        DecodeUnserved(data, length, out);
        return;
    }
    CCharsetConverter& converter = shared->m_converter;
    std::string converted;
    std::size_t runStart = 0, used = 0;
    while (used < length) {
        const BYTE lead = data[used];
        if (lead < 0x81 || lead == 0xFF || length - used < 2) {
            ++used;
        } else if (lead == 0xE0 && data[used + 1] >= 0x80 && data[used + 1] <= 0x9F) {
            converter.AppendUTF8(data + runStart, used - runStart, converted);
            CDVBText::AppendUTF8(converted, 0xE000 | data[used + 1]);
            used += 2;
            runStart = used;
        } else {
            used += 2;
        }
    }
    converter.AppendUTF8(data + runStart, length - runStart, converted);
    DecodeUTF8(reinterpret_cast<const BYTE*>(converted.data()), converted.size(), out);
}

std::string IsoCharset(int part)
{
    return "ISO-8859-" + std::to_string(part);
}

}  // namespace

std::string CDVBText::ToUTF8(const BYTE* data, std::size_t length)
{
    std::string out;
    if (data == nullptr || length == 0)
        return out;
    const BYTE selector = data[0];
    const BYTE* text = data + 1;
    const std::size_t rest = length - 1;
    if (selector >= 0x20) {
        DecodeTable00(data, length, out);
    } else if (selector >= 0x01 && selector <= 0x0B && selector != 0x08) {
        DecodeSingleByte(IsoCharset(selector + 4).c_str(), text, rest, out);   // 0x08 would be 8859-12
    } else if (selector == 0x10) {
        if (rest < 2) {
            Emit(out, kReplacement);
        } else {
            const int part = text[1];
            const bool served = text[0] == 0x00 && part >= 1 && part <= 15 && part != 12;
            if (served)
                DecodeSingleByte(IsoCharset(part).c_str(), text + 2, rest - 2, out);
            else
                DecodeUnserved(text + 2, rest - 2, out);
        }
    } else if (selector == 0x11) {
        DecodeUCS2(text, rest, out);
    } else if (selector == 0x12) {
        DecodeDoubleByte("EUC-KR", text, rest, out);
    } else if (selector == 0x13) {
        DecodeDoubleByte("GB2312", text, rest, out);
    } else if (selector == 0x14) {
        DecodeDoubleByte("BIG5", text, rest, out);
    } else if (selector == 0x15) {
        DecodeUTF8(text, rest, out);
    } else if (selector == 0x1F && rest >= 1) {
        DecodeUnserved(text + 1, rest - 1, out);   // after its encoding_type_id
    } else {
        DecodeUnserved(text, rest, out);
    }
    return out;
}

std::string CDVBText::ToUTF8(const CString& text)
{
    return ToUTF8(reinterpret_cast<const BYTE*>(text.Str().data()), text.Str().size());
}
