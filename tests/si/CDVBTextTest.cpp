#include "si/CDVBText.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace std::string_literals;

namespace {

const std::string R = "\xEF\xBF\xBD";   // U+FFFD

// From a copy of exactly the text's bytes: the sanitizer run catches a read one past the end.
std::string Decode(const std::string& bytes)
{
    const std::vector<BYTE> exact(bytes.begin(), bytes.end());
    return CDVBText::ToUTF8(exact.data(), exact.size());
}

// Bytes as broadcast and the UTF-8 a person should see, by hand (ISO 8859-9 and -15: LumrxTest).
struct TextCase { const char* name; std::string broadcast, utf8; };
const std::vector<TextCase> kTexts = {
    {"Ascii", "BBC One", "BBC One"},
    {"DiacriticsCombine", "M\xC8" "unchen \xCF" "Cesk\xC2" "a \xC2" "e",
         "M\xC3\xBC" "nchen \xC4\x8C" "esk\xC3\xA1 \xC3\xA9"},   // "München Česká é"
    {"EuroAndCurrencySign", "5\xA4 \xA8", "5\xE2\x82\xAC \xC2\xA4"},   // "5€ ¤"
    {"SmallGWithCedillaEitherWay", "\xC2" "g\xCB" "g", "\xC4\xA3\xC4\xA3"},   // "ģģ"
    {"DiacriticBeforeSpaceIsSpacing", "\xC2 \xCF ", "\xC2\xB4\xCB\x87"},   // "´ˇ"
    {"UpperHalf", "\xE9\xFB\xD4\xBD\xF5", "\xC3\x98\xC3\x9F\xE2\x84\xA2\xC2\xBD\xC4\xB1"},   // "Øß™½ı"
    {"Iso8859_5", "\x01\xBC\xDE\xE1\xDA\xD2\xD0", "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0"},   // "Москва"
    {"Iso8859_6", "\x02\xC7\xE4", "\xD8\xA7\xD9\x84"},   // "ال"
    {"Iso8859_7", "\x03\xC5\xEB\xEB\xDC\xE4\xE1", "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1"},   // "Ελλάδα"
    {"Iso8859_8", "\x04\xF9\xEC\xE5\xED", "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D"},   // "שלום"
    {"Iso8859_10", "\x06\xA4\xBF", "\xC4\xAA\xC5\x8B"},   // "Īŋ"
    {"Iso8859_11", "\x07\xCA\xC7\xD1\xCA\xB4\xD5",
         "\xE0\xB8\xAA\xE0\xB8\xA7\xE0\xB8\xB1\xE0\xB8\xAA\xE0\xB8\x94\xE0\xB8\xB5"},   // "สวัสดี"
    {"Iso8859_13", "\x09\xD0ilut\xEB", "\xC5\xA0ilut\xC4\x97"},   // "Šilutė"
    {"Iso8859_14", "\x0A\xA1\xF0", "\xE1\xB8\x82\xC5\xB5"},   // "Ḃŵ"
    {"ThreeByteIso8859_1", "\x10\x00\x01" "Caf\xE9"s, "Caf\xC3\xA9"},   // "Café"
    {"ThreeByteIso8859_2", "\x10\x00\x02\xA3\xF3" "d\xBC"s, "\xC5\x81\xC3\xB3" "d\xC5\xBA"},   // "Łódź"
    {"ByteTheTableLeavesEmpty", "\x03" "A\xAE" "B", "A" + R + "B"},
    {"Ucs2", "\x11\x00" "A\x04\x1F\x20\xAC"s, "A\xD0\x9F\xE2\x82\xAC"},   // "AП€"
    {"Ucs2SurrogatesAreNoCharacters", "\x11\xD8\x3D\xDE\x00"s, R + R},
    {"Utf8", "\x15" "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xBA", "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xBA"},
    {"Utf8StrayBytes", "\x15" "a\xFF" "b\x80", "a" + R + "b" + R},
    {"Utf8Overlong", "\x15\xC0\xAF\xE0\x80\xAF", R + R + R + R + R}, {"Utf8Surrogate", "\x15\xED\xA0\x80", R + R + R},
    {"Utf8PastTheLastCodePoint", "\x15\xF4\x90\x80\x80", R + R + R + R},
    {"Utf8CutShortInside", "\x15\xE2\x82" "x", R + "x"},
    {"KsX1001", "\x12\xC7\xD1\xB1\xDB", "\xED\x95\x9C\xEA\xB8\x80"},   // "한글"
    {"Gb2312", "\x13\xD6\xD0", "\xE4\xB8\xAD"}, {"Big5", "\x14\xA4\xA4", "\xE4\xB8\xAD"},   // "中" both
    {"ControlPairs", "\x12\xB0\xA1\xE0\x8A\xB0\xA1\xE0\x86", "\xEA\xB0\x80\n\xEA\xB0\x80"},   // "가\n가"
    {"LeadByteInFrontOfAscii", "\x13\xD6" "A", R + "A"},
    // emphasis on and off vanish, 0x8A breaks the line, every other control vanishes
    {"ControlsInTheDefaultTable", "A\x86" "B\x87" "C\x8A" "D\x0D\x0A\x9F" "E\x01", "ABC\nDE"},
    {"ControlsInAnIsoTable", "\x05" "A\x86" "B\x87" "C\x8A" "D\x0D\x9F" "E", "ABC\nDE"},
    {"ControlsInUcs2", "\x11\x00" "A\xE0\x86\x00" "B\xE0\x87\xE0\x8A\x00" "C\x00\x8A\x00" "D\x00\x0D\xE0\x9F"s, "AB\nC\nD"},
    {"ControlsInUtf8", "\x15" "A\xEE\x82\x86" "B\xEE\x82\x87\xEE\x82\x8A" "C\xC2\x8A" "D\x0D", "AB\nC\nD"},
    {"DiacriticBeforeAControl", "\xC2\x8A" "e", R + "\ne"},
    // a selector that says more than the bytes hold, or one we cannot serve: never a read
    // past the end, and never a silent drop
    {"Empty", "", ""}, {"OnlyASelector", "\x05", ""}, {"OnlyAThreeByteSelector", "\x10\x00\x05"s, ""},
    {"OnlyUcs2Selector", "\x11", ""}, {"OnlyUtf8Selector", "\x15", ""}, {"ThreeByteSelectorCutToOne", "\x10", R},
    {"ThreeByteSelectorCutToTwo", "\x10\x00"s, R}, {"Ucs2OddLength", "\x11\x00" "A\x00"s, "A" + R},
    {"Utf8CutShortAtTheEnd", "\x15" "ab\xF0\x9F\x93", "ab" + R},
    {"KsX1001CutShortAtTheEnd", "\x12\xB0\xA1\xB0", "\xEA\xB0\x80" + R}, {"DiacriticAtTheEnd", "e\xC2", "e" + R},
    {"DiacriticWithoutItsLetter", "\xC2" "q\xC2\xC2" "e", R + "q" + R + "\xC3\xA9"},
    {"EmptyDefaultTablePositions", "\xA6\xC0\xC9" "u\xE5", R + R + R + "u" + R},
    {"Reserved08", "\x08" "Ab\xE9", R + "Ab" + R}, {"Reserved0F", "\x0F" "A\x8A\x01", R + "A" + R + R},
    {"ReservedAlone", "\x0C", R}, {"EncodingTypeIdMissing", "\x1F", R},
};
// Selectors we cannot serve: reserved, 0, an encoding_type_id, ISO 8859 parts 12, 0 and 16, a
// three-byte one not starting at 0. One U+FFFD, then the bytes as if in the default table.
const std::string kUnserved[] = {"\x08"s, "\x0C"s, "\x16"s, "\x1E"s, "\x00"s, "\x1F\x01"s, "\x10\x00\x0C"s,
                                 "\x10\x00\x00"s, "\x10\x00\x10"s, "\x10\x01\x05"s};

}  // namespace

// Hosts decode on their own threads: no conversion state may be shared between calls.
TEST(CDVBTextTest, ReadsAsWrittenOutOnSeveralThreadsAtOnce)
{
    std::atomic<int> failures{0};
    const auto decodeAll = [&failures] {
        for (int round = 0; round < 20; ++round)
            for (const TextCase& c : kTexts)
                failures += Decode(c.broadcast) != c.utf8;
    };
    std::thread a(decodeAll), b(decodeAll);
    for (const TextCase& c : kTexts)
        EXPECT_EQ(Decode(c.broadcast), c.utf8) << c.name;
    for (const std::string& selector : kUnserved)
        EXPECT_EQ(Decode(selector + "Ab"), R + "Ab") << ::testing::PrintToString(selector);
    EXPECT_EQ(CDVBText::ToUTF8(CString("\x05" "A\x00\xFD" "B"s)), "A\xC4\xB1" "B") << "a CString: every byte, past a NUL";
    a.join();
    b.join();
    EXPECT_EQ(failures, 0);
}
