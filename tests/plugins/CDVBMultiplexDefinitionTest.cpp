#include "plugins/CDVBMultiplexDefinition.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

// Four text fields, two of them required, each kept as read: what the reading rules
// hand a plug-in's fields, untouched by any meaning the plug-in gives them.
class CFourFieldDefinition : public CDVBMultiplexDefinition
{
public:
    bool ReadFieldFromString(int index, const CString& text) override
    {
        if (index < 0 || index >= 4)
            return false;
        m_fields[std::size_t(index)] = text.Str();
        return true;
    }
    bool WriteFieldToString(int index, CString& text) override
    {
        if (index < 0 || index >= 4)
            return false;
        text = m_fields[std::size_t(index)].c_str();
        return true;
    }
    int GetRequiredFieldCount() override { return 2; }
    int GetOptionalFieldCount() override { return 2; }

    std::vector<std::string> m_fields = std::vector<std::string>(4, "unset");
};

TEST(CDVBMultiplexDefinitionTest, APlainDefinitionHasNoFields)
{
    CDVBMultiplexDefinition plain;
    CString line = "left over";
    EXPECT_TRUE(plain.WriteToString(line));
    EXPECT_EQ("", line.Str());
    EXPECT_EQ(0, plain.GetTotalFieldCount());
    EXPECT_EQ("Unknown", plain.GetName().Str());
    EXPECT_EQ("Name", plain.GetFieldName(0).Str());
    EXPECT_EQ("Unknown", plain.GetFieldName(1).Str());
    EXPECT_EQ("Unknown", plain.GetFieldName(-1).Str());
    EXPECT_TRUE(plain.ReadFromString("anything, at all"));
}

struct LineCase
{
    const char* line;
    bool complete;                     // ReadFromString's answer
    std::vector<std::string> fields;   // what each of the four fields holds afterwards
};

void PrintTo(const LineCase& c, std::ostream* os)
{
    *os << '"';
    for (const char* p = c.line; *p; ++p)
        *os << (*p == '\t' ? "\\t" : *p == '\r' ? "\\r" : *p == '\n' ? "\\n" : std::string(1, *p));
    *os << '"';
}

class CDVBMultiplexDefinitionLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(CDVBMultiplexDefinitionLines, SplitsAtCommasAndTrimsEachField)
{
    const LineCase& c = GetParam();
    CFourFieldDefinition definition;
    EXPECT_EQ(c.complete, definition.ReadFromString(c.line));
    EXPECT_EQ(c.fields, definition.m_fields);
}

INSTANTIATE_TEST_SUITE_P(Lines, CDVBMultiplexDefinitionLines, ::testing::Values(
    LineCase{"  a ,b,, c  ", true, {"a", "b", "", "c"}},
    LineCase{"\ta\t,\r b \n", true, {"a", "b", "unset", "unset"}},
    LineCase{"name with spaces, path/with spaces.ts", true, {"name with spaces", "path/with spaces.ts", "unset", "unset"}},
    // Too few fields: what was read stays set, and the caller hears of it.
    LineCase{"only a name", false, {"only a name", "unset", "unset", "unset"}},
    LineCase{"", false, {"", "unset", "unset", "unset"}},
    // Fields beyond the fourth are offered to the definition, which ignores them.
    LineCase{"a, b, c, d, e, f", true, {"a", "b", "c", "d"}},
    LineCase{",,,", true, {"", "", "", ""}}));

TEST(CDVBMultiplexDefinitionTest, WritesEveryFieldSeparatedByCommaAndSpace)
{
    CFourFieldDefinition definition;
    definition.m_fields = {"News", "news.ts", "", "on"};
    CString line;
    EXPECT_TRUE(definition.WriteToString(line));
    EXPECT_EQ("News, news.ts, , on", line.Str());

    CFourFieldDefinition read;
    EXPECT_TRUE(read.ReadFromString(line));
    EXPECT_EQ(definition.m_fields, read.m_fields);
}

TEST(CDVBMultiplexDefinitionTest, CopiesEveryFieldOfTheSource)
{
    CFourFieldDefinition source, copy;
    source.m_fields = {"a", "b", "c", "d"};
    copy.CopyFrom(&source);
    EXPECT_EQ(source.m_fields, copy.m_fields);

    // A source with no fields leaves every field as it was.
    CDVBMultiplexDefinition plain;
    copy.CopyFrom(&plain);
    EXPECT_EQ(source.m_fields, copy.m_fields);
}

}  // namespace
