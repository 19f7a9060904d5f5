// The file plug-in's definitions, made by the plug-in loaded from LUMFileInput.so: the
// meaning of each field as read from and written to a definitions line.
#include "tests/plugins/CFileInputFixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class CFileMultiplexDefinitionTest : public CFileInputFixture {};

TEST_F(CFileMultiplexDefinitionTest, NeedsNameAndFileAndRefusesFieldsPastPacingAndLoop)
{
    CDVBMultiplexDefinition* definition = Define("");
    EXPECT_EQ(2, definition->GetRequiredFieldCount());
    EXPECT_EQ(4, definition->GetTotalFieldCount());
    EXPECT_EQ("Unknown", definition->GetFieldName(4).Str());
    EXPECT_EQ("Unknown", definition->GetFieldName(-1).Str());
    EXPECT_FALSE(definition->ReadFieldFromString(4, "x"));
    EXPECT_FALSE(definition->ReadFieldFromString(-1, "x"));
}

TEST_F(CFileMultiplexDefinitionTest, DefaultsToRealTimeOnceThroughAndCopiesWhole)
{
    CDVBMultiplexDefinition* copy = Define("News, news.ts");
    CString line;
    copy->WriteToString(line);
    EXPECT_EQ("News, news.ts, pcr, off", line.Str());
    copy->CopyFrom(Define("Film, film.ts, 8.5, on"));
    copy->WriteToString(line);
    EXPECT_EQ("Film, film.ts, 8.5, on", line.Str());
}

// Each field from a first value of "fast" / "on": what it accepts, and what it writes back.
TEST_F(CFileMultiplexDefinitionTest, ReadsWhatItCanAndKeepsTheValueOtherwise)
{
    struct Case { int index; const char* text; bool accepted; const char* written; };
    for (const Case& c : {Case{2, "pcr", true, "pcr"}, Case{2, "PCR", true, "pcr"}, Case{2, "", true, "pcr"},
                          Case{2, "Fast", true, "fast"}, Case{2, "8.5", true, "8.5"}, Case{2, "2", true, "2"},
                          Case{2, "0.25", true, "0.25"}, Case{2, "0", false, "fast"}, Case{2, "-3", false, "fast"},
                          Case{2, "8.5x", false, "fast"}, Case{2, "x8", false, "fast"}, Case{2, "nan", false, "fast"},
                          Case{3, "on", true, "on"}, Case{3, "ON", true, "on"}, Case{3, "yes", true, "on"},
                          Case{3, "loop", true, "on"}, Case{3, "off", true, "off"}, Case{3, "no", true, "off"},
                          Case{3, "", true, "off"}, Case{3, "maybe", false, "on"},
                          Case{0, "Sport HD", true, "Sport HD"}, Case{1, "/srv/a b.ts", true, "/srv/a b.ts"}}) {
        CDVBMultiplexDefinition* definition = Define("Name, file.ts, fast, on");
        EXPECT_EQ(c.accepted, definition->ReadFieldFromString(c.index, c.text)) << c.index << " \"" << c.text << '"';
        EXPECT_EQ(c.written, FieldOf(definition, c.index)) << c.index << " \"" << c.text << '"';
    }
}

}  // namespace
