// Over the real file input plug-in, with a scripted editor installed as the dialogs.
#include "plugins/CConfigureMultiplexesBehaviour.h"
#include "plugins/CDefinitionEditorBehaviour.h"
#include "plugins/CLUMDialogs.h"
#include "tests/plugins/CFileInputFixture.h"

#include <memory>
#include <string>
#include <vector>

namespace {

// Types the texts it is given into the editor and presses OK once.
class CScriptedEditor : public CLUMDialogs
{
public:
    bool ConfigureMultiplexes(CLUMInputPlugin*) override { return false; }
    bool TestMultiplex(CLUMInputPlugin*, CDVBMultiplexDefinition*) override { return false; }
    bool EditMultiplexDefinition(CDefinitionEditorBehaviour& editor) override
    {
        m_fields = editor.GetFields();
        for (std::size_t i = 0; i < m_texts.size(); ++i)
            editor.SetText(i, m_texts[i].c_str());
        const bool accepted = editor.Accept();
        m_message = editor.GetMessage().Str();
        return accepted;
    }

    std::vector<std::string> m_texts;
    std::vector<CDefinitionEditorBehaviour::Field> m_fields;
    std::string m_message;
};

class CDefinitionEditorBehaviourTest : public CFileInputFixture
{
protected:
    void SetUp() override
    {
        CFileInputFixture::SetUp();
        m_folder.Write("news.ts", std::vector<BYTE>(188 * 6, 0x47));   // sync bytes all through: packets
        m_folder.WriteText("notes.ts", "Good evening. This is text, not a transport stream.\n");
        CLUMDialogs::Install(&m_editor);
    }
    void TearDown() override
    {
        CLUMDialogs::Install(nullptr);
        CFileInputFixture::TearDown();
    }
    std::string LineOf(CDVBMultiplexDefinition* definition)
    {
        CString line;
        definition->WriteToString(line);
        return line.Str();
    }

    CScriptedEditor m_editor;
};

// A value read from the file that no list offers is offered too, and kept by OK.
TEST_F(CDefinitionEditorBehaviourTest, AnEditorShowsTheDefinitionAsItIsAndNeedsTheWidgetsLibrary)
{
    CDVBMultiplexDefinition* definition = Define("News, news.ts, 8.5, on");
    EXPECT_TRUE(m_plugin->ConfigureMultiplexDefinition(definition));
    ASSERT_EQ(m_editor.m_fields.size(), 4u);
    EXPECT_EQ(m_editor.m_fields[2].m_text.Str(), "8.5");
    ASSERT_EQ(m_editor.m_fields[2].m_choices.size(), 3u);
    EXPECT_EQ(m_editor.m_fields[2].m_choices[2].Str(), "8.5");
    EXPECT_EQ(LineOf(definition), "News, news.ts, 8.5, on");
    CLUMDialogs::Install(nullptr);
    EXPECT_FALSE(m_plugin->ConfigureMultiplexDefinition(definition));
}

// Each wrong value is refused with a message naming it, and the definition is left as it was.
TEST_F(CDefinitionEditorBehaviourTest, OKRefusesWhatLumrxAddRefusesAndSaysWhy)
{
    Define("Taken, news.ts");
    const std::string missing = m_folder.PathOf("missing.ts"), notes = m_folder.PathOf("notes.ts");
    const std::string pacing = " cannot be used (pcr: in real time; fast: as fast as it is read; or a rate in Mbit/s such as 8.5).";
    struct Case { std::size_t field; std::string text, message; };   // over a good definition
    const Case cases[] = {
        {0, "", "A name is needed."},
        {0, "Taken", "The name \"Taken\" is already used by another multiplex."},
        {0, "News, late", "Name: \"News, late\" holds a comma, which would split the definition in the definitions file."},
        {2, "sometimes", "Pacing: \"sometimes\"" + pacing},
        {2, "0", "Pacing: \"0\"" + pacing},
        {1, "missing.ts", "The file \"" + missing + "\" does not exist."},
        {1, notes, "The file \"" + notes + "\" is not a transport stream."},
        {1, "", "No file is named."},
    };
    std::unique_ptr<CDVBMultiplexDefinition> definition{m_plugin->CreateMultiplexDefinition()};
    for (const Case& c : cases) {
        m_editor.m_texts = {"News", "news.ts", "pcr", "off"};
        m_editor.m_texts[c.field] = c.text;
        EXPECT_FALSE(m_plugin->ConfigureMultiplexDefinition(definition.get())) << c.message;
        EXPECT_EQ(m_editor.m_message, c.message);
        EXPECT_EQ(LineOf(definition.get()), ", , pcr, off") << c.message;
    }
    m_editor.m_texts = {" News ", "news.ts", "12", "on"};
    EXPECT_TRUE(m_plugin->ConfigureMultiplexDefinition(definition.get())) << m_editor.m_message;
    EXPECT_EQ(LineOf(definition.get()), "News, news.ts, 12, on");
}

// The dialog's rows are the list a person sees: a name another row has is taken, even
// before OK; a row keeps its own name when edited.
TEST_F(CDefinitionEditorBehaviourTest, AddAndEditInTheConfigureDialogTakeTheNamesOfTheOtherRows)
{
    Define("Old, news.ts");
    CConfigureMultiplexesBehaviour configure(m_plugin);
    configure.Open([](const CString&) { return 10; }, 400);
    m_editor.m_texts = {"New", "news.ts", "fast", "off"};
    for (int i = 0; i < 2; ++i)   // the second refused
        configure.Add();
    EXPECT_EQ(configure.GetRows().size(), 2u);
    EXPECT_EQ(m_editor.m_message, "The name \"New\" is already used by another multiplex.");
    configure.SetSelection({1});
    m_editor.m_texts = {"New", "news.ts", "pcr", "on"};
    configure.Edit();
    EXPECT_EQ(configure.GetRows()[1][3].Str(), "on") << m_editor.m_message;
    m_editor.m_texts = {"Old"};
    configure.Edit();
    EXPECT_EQ(configure.GetRows()[1][0].Str(), "New") << "Old is the other row's";
    configure.SetSelection({0});
    configure.Remove();
    configure.SetSelection({0});
    configure.Edit();
    EXPECT_EQ(configure.GetRows()[0][0].Str(), "Old") << "a removed row's name is free: " << m_editor.m_message;
}

}  // namespace
