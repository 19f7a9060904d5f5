// The Configure Multiplexes dialog's behaviour against a scripted input plug-in whose
// definitions have four fields: column sizing, the selection rules, the copy the dialog
// edits until OK, cells cut to 255 characters, and a scan that replaces the rows.
#include "plugins/CConfigureMultiplexesBehaviour.h"
#include "plugins/CDVBMultiplexDefinition.h"
#include "plugins/CLUMInputPlugin.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

class CFourFields : public CDVBMultiplexDefinition
{
public:
    CString GetName() override { return m_fields[0]; }
    bool ReadFieldFromString(int index, const CString& text) override { return Set(index, text); }
    bool WriteFieldToString(int index, CString& text) override
    {
        if (index < 0 || index > 3)
            return false;
        text = m_fields[index];
        return true;
    }
    int GetRequiredFieldCount() override { return 2; }
    int GetOptionalFieldCount() override { return 2; }
    CString GetFieldName(int index) override { return index == 0 ? "Name" : index == 1 ? "File" : index == 2 ? "Pace" : "Loop"; }
    bool Set(int index, const CString& text)
    {
        if (index < 0 || index > 3)
            return false;
        m_fields[index] = text;
        return true;
    }

    CString m_fields[4];
};

class CScriptedInputPlugin : public CLUMInputPlugin
{
public:
    CString GetName() override { return "Scripted"; }
    CString GetDescription() override { return ""; }
    CDVBMultiplexDefinition* CreateMultiplexDefinition() override { return new CFourFields; }
    bool ConfigureMultiplexDefinition(CDVBMultiplexDefinition* definition) override
    {
        return m_configure && m_configure(static_cast<CFourFields*>(definition));
    }
    bool TestMultiplexDefinition(CDVBMultiplexDefinition* definition) override
    {
        m_tested.push_back(static_cast<CFourFields*>(definition)->m_fields[1].Str());
        return true;
    }
    bool ScanForMultiplexDefinitions() override
    {
        if (!m_scanFinds)
            return false;
        Add("Found", "found.ts");
        return true;
    }
    void Add(const char* name, const char* file)
    {
        auto* definition = new CFourFields;
        definition->Set(0, name);
        definition->Set(1, file);
        AddMultiplexDefinition(definition);
    }
    std::vector<std::string> Names()
    {
        std::vector<std::string> names;
        for (int i = 0; i < GetMultiplexDefinitionCount(); ++i)
            names.push_back(GetMultiplexDefinitionAtIndex(i)->GetName().Str());
        return names;
    }

    std::function<bool(CFourFields*)> m_configure;
    std::vector<std::string> m_tested;
    bool m_scanFinds = false;
};

class ConfigureMultiplexesBehaviourTest : public ::testing::Test
{
protected:
    ConfigureMultiplexesBehaviourTest()
    {
        m_plugin.Add("One", "one.ts");
        m_plugin.Add("Two", "two.ts");
        m_plugin.Add("Three", "three.ts");
        // headings drawn 7 units a character: 28 + 28 + 28 + 28 = 112 of 213
        m_dialog.Open([](const CString& heading) { return 7 * heading.GetLength(); }, 213);
    }
    ~ConfigureMultiplexesBehaviourTest() override { m_plugin.DeInitialise(); }

    std::vector<std::string> RowNames() const
    {
        std::vector<std::string> names;
        for (const auto& row : m_dialog.GetRows())
            names.push_back(row[0].Str());
        return names;
    }

    CScriptedInputPlugin m_plugin;
    CConfigureMultiplexesBehaviour m_dialog{&m_plugin};
};

TEST_F(ConfigureMultiplexesBehaviourTest, ColumnsShareTheSpareWidthEquallyAndRowsHoldEachField)
{
    ASSERT_EQ(m_dialog.GetColumns().size(), 4u);
    for (const auto& column : m_dialog.GetColumns())
        EXPECT_EQ(column.m_width, 28 + 25) << column.m_heading.Str();   // (213 - 112) / 4, remainder left over
    EXPECT_EQ(m_dialog.GetColumns()[2].m_heading.Str(), "Pace");
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"One", "Two", "Three"}));
    EXPECT_EQ(m_dialog.GetRows()[1][1].Str(), "two.ts");
    EXPECT_EQ(m_dialog.GetRows()[1].size(), 4u);

    CConfigureMultiplexesBehaviour narrow(&m_plugin);   // headings wider than the list: no extra
    narrow.Open([](const CString&) { return 100; }, 213);
    EXPECT_EQ(narrow.GetColumns()[0].m_width, 100);
}

TEST_F(ConfigureMultiplexesBehaviourTest, EditAndTestNeedOneRowWhileRemoveTakesEverySelectedRow)
{
    EXPECT_FALSE(m_dialog.IsSelectionActionEnabled());
    m_plugin.m_configure = [](CFourFields* definition) { return definition->Set(1, definition->m_fields[1] + ".edited"); };
    m_dialog.SetSelection({0, 2});
    EXPECT_TRUE(m_dialog.IsSelectionActionEnabled());
    m_dialog.Edit();
    m_dialog.Test();
    EXPECT_EQ(m_dialog.GetRows()[0][1].Str(), "one.ts");
    EXPECT_TRUE(m_plugin.m_tested.empty());

    m_dialog.SetSelection({1});
    m_dialog.Edit();
    m_dialog.Test();   // with the texts edited, not yet saved
    EXPECT_EQ(m_plugin.m_tested, (std::vector<std::string>{"two.ts.edited"}));

    m_dialog.SetSelection({2, 0});
    m_dialog.Remove();
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"Two"}));
    EXPECT_FALSE(m_dialog.IsSelectionActionEnabled());
    EXPECT_EQ(m_plugin.Names(), (std::vector<std::string>{"One", "Two", "Three"}));   // until OK

    m_plugin.m_configure = nullptr;   // a plug-in without an editor: Add does nothing
    m_dialog.Add();
    EXPECT_EQ(m_dialog.GetRows().size(), 1u);
    m_plugin.m_configure = [](CFourFields* definition) { return definition->Set(0, "Added"); };
    m_dialog.Add();
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"Two", "Added"}));

    m_dialog.Ok();
    EXPECT_EQ(m_plugin.Names(), (std::vector<std::string>{"Two", "Added"}));
}

TEST_F(ConfigureMultiplexesBehaviourTest, CellsReachADefinitionCutTo255CharactersAndNeverMidCharacter)
{
    const std::string e = "\xC3\xA9";   // é, two bytes
    std::string long_;
    for (int i = 0; i < 300; ++i)
        long_ += e;
    m_plugin.m_configure = [&](CFourFields* definition) { return definition->Set(1, long_.c_str()); };
    m_dialog.SetSelection({0});
    m_dialog.Edit();
    EXPECT_EQ(m_dialog.GetRows()[0][1].GetLength(), 600);   // the row keeps what it was given
    m_dialog.Ok();
    const auto* first = static_cast<CFourFields*>(m_plugin.GetMultiplexDefinitionAtIndex(0));
    EXPECT_EQ(first->m_fields[1].Str(), long_.substr(0, 2 * 255));
}

TEST_F(ConfigureMultiplexesBehaviourTest, ASuccessfulScanReplacesTheRowsAndAFailedOneChangesNothing)
{
    m_dialog.SetSelection({0});
    m_dialog.Remove();
    m_dialog.Scan();   // the plug-in finds nothing
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"Two", "Three"}));
    m_plugin.m_scanFinds = true;
    m_dialog.Scan();
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"One", "Two", "Three", "Found"}));   // the removal is gone
}

}  // namespace
