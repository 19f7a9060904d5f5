#pragma once
// Text from the stream (names, titles, event texts) as people read it: UTF-8, decoded from
// the character table its first bytes select. Every host that shows or exports text goes
// through here, so they all read the same bytes the same way.
//
// The tables:
// - First byte 0x20..0xFF: the whole text is in table 00, ISO/IEC 6937 with the euro sign at
//   0xA4 (0xA8 is the currency sign). A non-spacing diacritic 0xC1..0xCF followed by a letter
//   becomes the precomposed letter, followed by a space its spacing form. The table is our
//   own (CDVBText.cpp): glibc's ISO_6937 refuses 0xA4 and lacks small g with cedilla (0xC2 g),
//   and the most common table should not depend on the system's conversion modules.
// - 0x01..0x0B: ISO 8859-5, -6, -7, -8, -9, -10, -11, -13, -14, -15 (0x08 is reserved);
//   0x10 0x00 n: ISO 8859-n, n = 1..15 except 12; 0x12, 0x13, 0x14: KS X 1001 (EUC-KR),
//   GB 2312, Big5. These go through CCharsetConverter (the system's iconv).
// - 0x11: the Basic Multilingual Plane, two bytes big-endian per character; a surrogate
//   code unit is not a character there and becomes U+FFFD.
// - 0x15: UTF-8, validated; each invalid sequence (longest bad prefix) becomes one U+FFFD.
//
// Control codes, whichever the table: 0x8A (U+008A, U+E08A) is a line break "\n"; every
// other code of 0x80..0x9F (U+0080..U+009F, U+E080..U+E09F), emphasis on and off among
// them, and every C0 control 0x00..0x1F are dropped. In the two-byte tables 0x12..0x14 the
// byte pairs 0xE0 0x80..0x9F are those controls (they are not characters there).
//
// What cannot be read stays visible, and the result is always valid UTF-8:
// - a byte or sequence a table does not define, a diacritic with nothing it combines
//   with, an odd last byte of a two-byte text, a sequence cut short at the end: U+FFFD
//   for each, and decoding goes on after it;
// - a selector we cannot serve (0x00, 0x08, 0x0C..0x0F, 0x16..0x1F, 0x10 with anything but
//   0x00 n for a served n), or a table the system cannot open: U+FFFD for the selector,
//   then each printable ASCII byte 0x20..0x7E as itself and every other byte as U+FFFD,
//   since most tables keep ASCII where it is. 0x1F counts its encoding_type_id byte as
//   part of the selector;
// - 0x10 with fewer than two bytes after it: one U+FFFD for the selector cut short.
// An empty text, and a served selector with nothing after it, give an empty string.
#include "platform/CString.h"
#include "platform/LUMTypes.h"

#include <cstddef>
#include <string>

class CDVBText
{
public:
    // DVB text as broadcast (character-table selector included) to UTF-8 for people.
    // Safe from any thread; reads exactly `length` bytes.
    static std::string ToUTF8(const BYTE* data, std::size_t length);
    static std::string ToUTF8(const CString& text);
    static void AppendUTF8(std::string& out, char32_t c);
};
