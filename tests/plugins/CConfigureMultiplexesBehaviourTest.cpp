// Against a scripted input plug-in whose definitions have four fields, as the file input's do.
#include "plugins/CConfigureMultiplexesBehaviour.h"
#include "plugins/CDVBMultiplexDefinition.h"
#include "plugins/CLUMInputPlugin.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

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
    bool ScanForMultiplexDefinitions() override { return m_scanFinds && Add("Found", "found.ts"); }
    bool Add(const char* name, const char* file)
    {
        auto* definition = new CFourFields;
        definition->Set(0, name);
        definition->Set(1, file);
        return AddMultiplexDefinition(definition);
    }
    Names List()
    {
        Names names;
        for (int i = 0; i < GetMultiplexDefinitionCount(); ++i)
            names.push_back(GetMultiplexDefinitionAtIndex(i)->GetName().Str());
        return names;
    }

    std::function<bool(CFourFields*)> m_configure;
    Names m_tested;
    bool m_scanFinds = false;
};

class CConfigureMultiplexesBehaviourTest : public ::testing::Test
{
protected:
    CConfigureMultiplexesBehaviourTest()
    {
        for (const char* name : {"One", "Two", "Three"})
            m_plugin.Add(name, (CString(name) + ".ts").Str().c_str());
        // headings drawn 7 units a character: 4 * 28 = 112 of 213
        m_dialog.Open([](const CString& heading) { return 7 * heading.GetLength(); }, 213);
    }
    ~CConfigureMultiplexesBehaviourTest() override { m_plugin.DeInitialise(); }
    Names Rows() const
    {
        Names names;
        for (const auto& row : m_dialog.GetRows())
            names.push_back(row[0].Str());
        return names;
    }

    CScriptedInputPlugin m_plugin;
    CConfigureMultiplexesBehaviour m_dialog{&m_plugin};
};

TEST_F(CConfigureMultiplexesBehaviourTest, ColumnsShareTheSpareWidthEquallyAndRowsHoldEachField)
{
    ASSERT_EQ(m_dialog.GetColumns().size(), 4u);
    for (const auto& column : m_dialog.GetColumns())
        EXPECT_EQ(column.m_width, 28 + 25) << column.m_heading.Str();   // (213 - 112) / 4, remainder left over
    EXPECT_EQ(m_dialog.GetColumns()[2].m_heading.Str(), "Pace");
    EXPECT_EQ(Rows(), (Names{"One", "Two", "Three"}));
    EXPECT_EQ(m_dialog.GetRows()[1], (std::vector<CString>{"Two", "Two.ts", "", ""}));
    CConfigureMultiplexesBehaviour narrow(&m_plugin);   // headings wider than the list: no extra
    narrow.Open([](const CString&) { return 100; }, 213);
    EXPECT_EQ(narrow.GetColumns()[0].m_width, 100);
}

// Edit and Test need one row, Remove takes every selected one; the plug-in's list changes at OK.
TEST_F(CConfigureMultiplexesBehaviourTest, EditAndTestNeedOneRowWhileRemoveTakesEverySelectedRow)
{
    EXPECT_FALSE(m_dialog.IsSelectionActionEnabled());
    m_plugin.m_configure = [](CFourFields* definition) { return definition->Set(1, definition->m_fields[1] + ".edited"); };
    m_dialog.SetSelection({0, 2});
    EXPECT_TRUE(m_dialog.IsSelectionActionEnabled());
    m_dialog.Edit();
    m_dialog.Test();
    EXPECT_EQ(m_dialog.GetRows()[0][1].Str(), "One.ts");
    EXPECT_TRUE(m_plugin.m_tested.empty());
    m_dialog.SetSelection({1});
    m_dialog.Edit();
    m_dialog.Test();   // with the texts edited, not yet saved
    EXPECT_EQ(m_plugin.m_tested, Names{"Two.ts.edited"});
    m_dialog.SetSelection({2, 0});
    m_dialog.Remove();
    EXPECT_EQ(Rows(), Names{"Two"});
    EXPECT_FALSE(m_dialog.IsSelectionActionEnabled());
    EXPECT_EQ(m_plugin.List(), (Names{"One", "Two", "Three"}));
    m_dialog.Ok();
    EXPECT_EQ(m_plugin.List(), Names{"Two"});
}

// A cell keeps what it was given; the definition gets 255 characters, none cut in two.
TEST_F(CConfigureMultiplexesBehaviourTest, CellsReachADefinitionCutTo255CharactersAndNeverMidCharacter)
{
    std::string accents;
    for (int i = 0; i < 300; ++i)
        accents += "\xC3\xA9";
    m_plugin.m_configure = [&](CFourFields* definition) { return definition->Set(1, accents.c_str()); };
    m_dialog.SetSelection({0});
    m_dialog.Edit();
    EXPECT_EQ(m_dialog.GetRows()[0][1].GetLength(), 600);
    m_dialog.Ok();
    EXPECT_EQ(static_cast<CFourFields*>(m_plugin.GetMultiplexDefinitionAtIndex(0))->m_fields[1].Str(), accents.substr(0, 510));
}

TEST_F(CConfigureMultiplexesBehaviourTest, ASuccessfulScanReplacesTheRowsAndAFailedOneChangesNothing)
{
    m_dialog.SetSelection({0});
    m_dialog.Remove();
    m_dialog.Scan();
    EXPECT_EQ(Rows(), (Names{"Two", "Three"}));
    m_plugin.m_scanFinds = true;
    m_dialog.Scan();
    EXPECT_EQ(Rows(), (Names{"One", "Two", "Three", "Found"})) << "the removal is gone";
}

}  // namespace
