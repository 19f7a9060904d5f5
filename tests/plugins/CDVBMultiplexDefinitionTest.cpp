#include "plugins/CDVBMultiplexDefinition.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

using Fields = std::vector<std::string>;

// Four text fields, two of them required, each kept as read: what the reading rules hand a
// plug-in's fields, untouched by any meaning the plug-in gives them.
class CFourFieldDefinition : public CDVBMultiplexDefinition
{
public:
    bool ReadFieldFromString(int index, const CString& text) override
    {
        if (index < 4)   // ReadFromString counts from 0
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
    // the line, ReadFromString's answer, and what each of the four fields holds afterwards
    const std::tuple<const char*, bool, Fields> cases[] = {
        {"  a ,b,, c  ", true, {"a", "b", "", "c"}}, {"\ta\t,\r b \n", true, {"a", "b", "unset", "unset"}},
        // too few fields: what was read stays set, and the caller hears of it
        {"only a name", false, {"only a name", "unset", "unset", "unset"}},
        {"", false, {"", "unset", "unset", "unset"}},
        // fields beyond the fourth are offered to the definition, which ignores them
        {"a, b, c, d, e, f", true, {"a", "b", "c", "d"}}, {",,,", true, {"", "", "", ""}},
    };
    for (const auto& [line, complete, fields] : cases) {
        CFourFieldDefinition definition;
        EXPECT_EQ(complete, definition.ReadFromString(line)) << '"' << line << '"';
        EXPECT_EQ(fields, definition.m_fields) << '"' << line << '"';
    }
}
