#include "plugins/CDVBMultiplexDefinition.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

using Fields = std::vector<std::string>;

// Four fields, two required, kept exactly as the reading rules hand them over.
struct CFourFieldDefinition : CDVBMultiplexDefinition
{
    bool ReadFieldFromString(int index, const CString& text) override
    {
        if (index < 4)
            m_fields[std::size_t(index)] = text.Str();
        return index < 4;
    }
    int GetRequiredFieldCount() override { return 2; }
    int GetOptionalFieldCount() override { return 2; }
    Fields m_fields = Fields(4, "unset");
};

}  // namespace

TEST(CDVBMultiplexDefinitionTest, SplitsAtCommasAndTrimsEachField)
{
    // the line, ReadFromString's answer (false: too few fields, those read stay set), the fields
    const std::tuple<const char*, bool, Fields> cases[] = {
        {"  a ,b,, c  ", true, {"a", "b", "", "c"}}, {"\ta\t,\r b \n", true, {"a", "b", "unset", "unset"}},
        {"only a name", false, {"only a name", "unset", "unset", "unset"}}, {"", false, {"", "unset", "unset", "unset"}},
        {"a, b, c, d, e, f", true, {"a", "b", "c", "d"}}, {",,,", true, {"", "", "", ""}},
    };
    for (const auto& [line, complete, fields] : cases) {
        CFourFieldDefinition definition;
        EXPECT_EQ(complete, definition.ReadFromString(line)) << '"' << line << '"';
        EXPECT_EQ(fields, definition.m_fields) << '"' << line << '"';
    }
}
