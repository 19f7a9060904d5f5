// The file plug-in's definitions, made by the plug-in loaded from LUMFileInput.so: the
// meaning of each field as read from and written to a definitions line.
#include "tests/plugins/CFileInputFixture.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

class CFileMultiplexDefinitionTest : public CFileInputFixture {};

TEST_F(CFileMultiplexDefinitionTest, HasNameAndFileRequiredThenPacingAndLoop)
{
    CDVBMultiplexDefinition* definition = Define("");
    EXPECT_EQ(2, definition->GetRequiredFieldCount());
    EXPECT_EQ(4, definition->GetTotalFieldCount());
    EXPECT_EQ("Name", definition->GetFieldName(0).Str());
    EXPECT_EQ("File", definition->GetFieldName(1).Str());
    EXPECT_EQ("Pacing", definition->GetFieldName(2).Str());
    EXPECT_EQ("Loop", definition->GetFieldName(3).Str());
    EXPECT_EQ("Unknown", definition->GetFieldName(4).Str());
    EXPECT_EQ("Unknown", definition->GetFieldName(-1).Str());
    EXPECT_FALSE(definition->ReadFieldFromString(4, "x"));
    EXPECT_FALSE(definition->ReadFieldFromString(-1, "x"));
}

TEST_F(CFileMultiplexDefinitionTest, DefaultsToRealTimeOnceThrough)
{
    CDVBMultiplexDefinition* definition = Define("News, news.ts");
    EXPECT_EQ("News", definition->GetName().Str());
    CString line;
    definition->WriteToString(line);
    EXPECT_EQ("News, news.ts, pcr, off", line.Str());
}

struct FieldCase
{
    int index;
    const char* text;
    bool accepted;
    const char* written;   // the field written back, after a first value of "fast" / "on"
};

void PrintTo(const FieldCase& c, std::ostream* os)
{
    *os << "field " << c.index << " \"" << c.text << '"';
}

class CFileMultiplexDefinitionFields : public CFileMultiplexDefinitionTest,
                                       public ::testing::WithParamInterface<FieldCase> {};

TEST_P(CFileMultiplexDefinitionFields, ReadsWhatItCanAndKeepsTheValueOtherwise)
{
    const FieldCase& c = GetParam();
    CDVBMultiplexDefinition* definition = Define("Name, file.ts, fast, on");
    EXPECT_EQ(c.accepted, definition->ReadFieldFromString(c.index, c.text));
    EXPECT_EQ(c.written, FieldOf(definition, c.index));
}

INSTANTIATE_TEST_SUITE_P(Pacing, CFileMultiplexDefinitionFields, ::testing::Values(
    FieldCase{2, "pcr", true, "pcr"}, FieldCase{2, "PCR", true, "pcr"}, FieldCase{2, "", true, "pcr"},
    FieldCase{2, "Fast", true, "fast"}, FieldCase{2, "8.5", true, "8.5"}, FieldCase{2, "2", true, "2"},
    FieldCase{2, "0.25", true, "0.25"},
    FieldCase{2, "0", false, "fast"}, FieldCase{2, "-3", false, "fast"}, FieldCase{2, "8.5x", false, "fast"},
    FieldCase{2, "x8", false, "fast"}, FieldCase{2, "nan", false, "fast"}));

INSTANTIATE_TEST_SUITE_P(Loop, CFileMultiplexDefinitionFields, ::testing::Values(
    FieldCase{3, "on", true, "on"}, FieldCase{3, "ON", true, "on"}, FieldCase{3, "yes", true, "on"},
    FieldCase{3, "loop", true, "on"}, FieldCase{3, "off", true, "off"}, FieldCase{3, "no", true, "off"},
    FieldCase{3, "", true, "off"}, FieldCase{3, "maybe", false, "on"}));

INSTANTIATE_TEST_SUITE_P(Text, CFileMultiplexDefinitionFields, ::testing::Values(
    FieldCase{0, "Sport HD", true, "Sport HD"}, FieldCase{1, "/srv/a b.ts", true, "/srv/a b.ts"}));

TEST_F(CFileMultiplexDefinitionTest, CopiesAnotherFileDefinitionWhole)
{
    CDVBMultiplexDefinition* source = Define("Film, film.ts, 8.5, on");
    CDVBMultiplexDefinition* copy = Define("Other, other.ts, pcr, off");
    copy->CopyFrom(source);
    CString line;
    copy->WriteToString(line);
    EXPECT_EQ("Film, film.ts, 8.5, on", line.Str());
}

}  // namespace
