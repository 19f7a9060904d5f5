// Add and Edit of the Configure Multiplexes dialog over each of our input plug-ins, loaded
// as a host loads them: the editor is filled in as a person would (offscreen), a wrong
// value is named while the editor stays open, and the row shows what was accepted. A
// screenshot of each editor, with its message, is saved in the build folder.
#include "plugins/CLUMInputPlugin.h"
#include "plugins/CLUMPluginManager.h"
#include "tests/plugins/CTestPluginFolder.h"
#include "widgets/CConfigureMultiplexesDialog.h"
#include "widgets/CDefinitionEditorDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <string>

namespace {

class DefinitionEditorViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!CTestPluginFolder::IsManagerFresh())
            GTEST_SKIP() << "needs a process of its own (run it through ctest or --gtest_filter)";
        for (const char* library : {LUM_FILE_INPUT_LIBRARY, LUMNETINPUT_LIBRARY, LUMLINUXDVBINPUT_LIBRARY})
            if (*library)
                m_folder.CopyIn(library, std::filesystem::path(library).filename());
        CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
        manager->SetPluginFolderPath(m_folder.Path().c_str());
        manager->LoadPlugins();
    }
    void TearDown() override
    {
        CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
        for (int i = 0; auto* plugin = static_cast<CLUMInputPlugin*>(manager->GetPluginWithType(CLUMPlugin::TypeInput, i)); ++i)
            plugin->DeInitialise();
        manager->SetPluginFolderPath("");
    }
    static CLUMInputPlugin* Plugin(const char* name)
    {
        CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
        for (int i = 0; auto* plugin = static_cast<CLUMInputPlugin*>(manager->GetPluginWithType(CLUMPlugin::TypeInput, i)); ++i)
            if (plugin->GetName() == name)
                return plugin;
        return nullptr;
    }

    // Presses `button` of the dialog and runs `steps` on the editor it shows, which is
    // cancelled after them if still open, so that a failed step never leaves it waiting.
    static void WithEditor(QWidget* dialog, const char* button, const std::function<void(CDefinitionEditorDialog&)>& steps)
    {
        bool shown = false;
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, [&] {
            auto* editor = dynamic_cast<CDefinitionEditorDialog*>(QApplication::activeModalWidget());
            if (editor == nullptr || shown)
                return;
            shown = true;
            look.stop();
            steps(*editor);
            if (editor->isVisible())
                editor->reject();
        });
        look.start(10);
        dialog->findChild<QPushButton*>(button)->click();
        EXPECT_TRUE(shown) << "no editor";
    }
    static void Type(CDefinitionEditorDialog& editor, std::size_t field, const QString& text)
    {
        if (auto* box = qobject_cast<QComboBox*>(editor.GetEditor(field))) {
            if (box->isEditable())
                box->setCurrentText(text);
            else
                box->setCurrentIndex(box->findText(text));
            EXPECT_EQ(box->currentText(), text) << "offered";
        } else {
            static_cast<QLineEdit*>(editor.GetEditor(field))->setText(text);
        }
    }
    // OK: the message shown, empty when the editor closed.
    static QString PressOK(CDefinitionEditorDialog& editor)
    {
        editor.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        return editor.isVisible() ? editor.GetMessage()->text() : QString();
    }
    static QStringList Row(CConfigureMultiplexesDialog& dialog, int row)
    {
        QStringList texts;
        for (int i = 0; i < dialog.GetList()->columnCount(); ++i)
            texts << dialog.GetList()->topLevelItem(row)->text(i);
        return texts;
    }
    static void Screenshot(QWidget& editor, const char* name)
    {
        editor.grab().save(QStringLiteral(LUM_SCREENSHOT_FOLDER "/") + QString::fromUtf8(name));
    }

    CTestPluginFolder m_folder;
};

TEST_F(DefinitionEditorViewTest, AFileIsChosenAndAPacingThatIsNoneIsNamed)
{
    CLUMInputPlugin* plugin = Plugin("LUMFileInput");
    ASSERT_NE(plugin, nullptr);
    CConfigureMultiplexesDialog dialog(plugin);
    dialog.show();
    WithEditor(&dialog, "2001", [](CDefinitionEditorDialog& editor) {
        EXPECT_EQ(editor.windowTitle(), QStringLiteral("Add Multiplex"));
        Type(editor, 0, QStringLiteral("Clip"));
        QTimer answer;   // the file chooser is modal too
        QObject::connect(&answer, &QTimer::timeout, [&] {
            if (auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                chooser->selectFile(QStringLiteral(LUM_SAMPLE));
                static_cast<QDialog*>(chooser)->accept();   // public there
            }
        });
        answer.start(10);
        editor.findChild<QPushButton*>(QStringLiteral("browse1"))->click();
        answer.stop();
        EXPECT_EQ(static_cast<QLineEdit*>(editor.GetEditor(1))->text(), QStringLiteral(LUM_SAMPLE));
        Type(editor, 2, QStringLiteral("sometimes"));
        EXPECT_TRUE(PressOK(editor).startsWith(QStringLiteral("Pacing: \"sometimes\" cannot be used")));
        Screenshot(editor, "definition_editor_file.png");
        Type(editor, 2, QStringLiteral("fast"));
        EXPECT_EQ(PressOK(editor), QString());
    });
    ASSERT_EQ(dialog.GetList()->topLevelItemCount(), 1);
    EXPECT_EQ(Row(dialog, 0), (QStringList{"Clip", LUM_SAMPLE, "fast", "off"}));

    dialog.GetList()->topLevelItem(0)->setSelected(true);
    WithEditor(&dialog, "2002", [](CDefinitionEditorDialog& editor) {
        EXPECT_EQ(editor.windowTitle(), QStringLiteral("Edit Multiplex [Clip]"));
        Type(editor, 3, QStringLiteral("on"));
        Type(editor, 1, QStringLiteral("/no/such/clip.ts"));
        EXPECT_EQ(PressOK(editor), QStringLiteral("The file \"/no/such/clip.ts\" does not exist."));
        Type(editor, 1, QStringLiteral(LUM_SAMPLE));
        EXPECT_EQ(PressOK(editor), QString());
    });
    EXPECT_EQ(Row(dialog, 0), (QStringList{"Clip", LUM_SAMPLE, "fast", "on"}));
    dialog.findChild<QPushButton*>(QStringLiteral("1"))->click();
    EXPECT_EQ(plugin->GetMultiplexDefinitionCount(), 1);
}

TEST_F(DefinitionEditorViewTest, AURLThatDoesNotParseAndANameTakenAreNamed)
{
    CLUMInputPlugin* plugin = Plugin("LUMNetInput");
    if (plugin == nullptr)
        GTEST_SKIP() << "LUMNetInput is not built (no libcurl)";
    CConfigureMultiplexesDialog dialog(plugin);
    dialog.show();
    for (const char* name : {"News", "Sport"})
        WithEditor(&dialog, "2001", [name](CDefinitionEditorDialog& editor) {
            Type(editor, 0, QString::fromUtf8(name));
            Type(editor, 1, QStringLiteral("udp://239.1.1.1"));
            EXPECT_EQ(PressOK(editor), QStringLiteral("URL: \"udp://239.1.1.1\" cannot be used "
                                                      "(udp://[source@]address:port, rtp://..., http://... or https://...)."));
            Screenshot(editor, "definition_editor_net.png");
            Type(editor, 1, QStringLiteral("udp://239.1.1.1:1234"));
            EXPECT_EQ(PressOK(editor), QString());
        });
    ASSERT_EQ(dialog.GetList()->topLevelItemCount(), 2);
    EXPECT_EQ(Row(dialog, 1), (QStringList{"Sport", "udp://239.1.1.1:1234", ""}));
    dialog.GetList()->topLevelItem(1)->setSelected(true);
    WithEditor(&dialog, "2002", [](CDefinitionEditorDialog& editor) {
        Type(editor, 0, QStringLiteral("News"));
        EXPECT_EQ(PressOK(editor), QStringLiteral("The name \"News\" is already used by another multiplex."));
        Type(editor, 0, QStringLiteral("Sport 2"));
        Type(editor, 2, QStringLiteral("eth0"));
        EXPECT_EQ(PressOK(editor), QString());
    });
    EXPECT_EQ(Row(dialog, 1), (QStringList{"Sport 2", "udp://239.1.1.1:1234", "eth0"}));
}

TEST_F(DefinitionEditorViewTest, ATuningValueOutOfRangeIsNamed)
{
    CLUMInputPlugin* plugin = Plugin("LUMLinuxDVBInput");
    if (plugin == nullptr)
        GTEST_SKIP() << "LUMLinuxDVBInput is not built (no libdvbv5)";
    CConfigureMultiplexesDialog dialog(plugin);
    dialog.show();
    WithEditor(&dialog, "2001", [](CDefinitionEditorDialog& editor) {
        Type(editor, 0, QStringLiteral("Astra"));
        Type(editor, 1, QStringLiteral("DVBS2"));
        Type(editor, 2, QStringLiteral("11362"));   // MHz, where kHz is wanted
        Type(editor, 3, QStringLiteral("22000000"));
        Type(editor, 7, QStringLiteral("H"));
        EXPECT_EQ(PressOK(editor), QStringLiteral("The frequency 11362 is out of range for DVBS2: 950000 to 13000000 kHz."));
        Screenshot(editor, "definition_editor_dvb.png");
        Type(editor, 2, QStringLiteral("11362000"));
        EXPECT_EQ(PressOK(editor), QString());
    });
    ASSERT_EQ(dialog.GetList()->topLevelItemCount(), 1);
    EXPECT_EQ(Row(dialog, 0), (QStringList{"Astra", "DVBS2", "11362000", "22000000", "0", "0", "-1", "H", "UNIVERSAL"}));
    dialog.GetList()->topLevelItem(0)->setSelected(true);
    WithEditor(&dialog, "2002", [](CDefinitionEditorDialog& editor) {
        Type(editor, 4, QStringLiteral("1"));
        EXPECT_EQ(PressOK(editor), QString());
    });
    EXPECT_EQ(Row(dialog, 0)[4], QStringLiteral("1"));
}

}  // namespace
