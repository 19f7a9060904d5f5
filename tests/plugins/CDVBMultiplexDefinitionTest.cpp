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

struct LineCase
{
    const char* line;
    bool complete;                     // ReadFromString's answer
    std::vector<std::string> fields;   // what each of the four fields holds afterwards
};

void PrintTo(const LineCase& c, std::ostream* os)
{
    *os << ::testing::PrintToString(std::string(c.line));
}

class CDVBMultiplexDefinitionLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(CDVBMultiplexDefinitionLines, SplitsAtCommasAndTrimsEachField)
{
    CFourFieldDefinition definition;
    EXPECT_EQ(GetParam().complete, definition.ReadFromString(GetParam().line));
    EXPECT_EQ(GetParam().fields, definition.m_fields);
}

INSTANTIATE_TEST_SUITE_P(Lines, CDVBMultiplexDefinitionLines, ::testing::Values(
    LineCase{"  a ,b,, c  ", true, {"a", "b", "", "c"}},
    LineCase{"\ta\t,\r b \n", true, {"a", "b", "unset", "unset"}},
    // Too few fields: what was read stays set, and the caller hears of it.
    LineCase{"only a name", false, {"only a name", "unset", "unset", "unset"}},
    LineCase{"", false, {"", "unset", "unset", "unset"}},
    // Fields beyond the fourth are offered to the definition, which ignores them.
    LineCase{"a, b, c, d, e, f", true, {"a", "b", "c", "d"}},
    LineCase{",,,", true, {"", "", "", ""}}));

}  // namespace
