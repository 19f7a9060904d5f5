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
#include <utility>
#include <vector>

namespace {

using Texts = std::vector<std::pair<std::size_t, QString>>;   // field, text

struct Case
{
    const char *name, *library, *plugin;   // name: the screenshot's too; library: "" where not built
    Texts add;   // the last text is refused with `message` until `fix` is typed
    QString message;
    std::pair<std::size_t, QString> fix;
    QStringList added;
    Texts edit;   // each shown in the column of its field
};

const Case g_cases[] = {
    {"file", LUM_FILE_INPUT_LIBRARY, "LUMFileInput", {{0, "Clip"}, {1, LUM_SAMPLE}, {2, "sometimes"}},
     "Pacing: \"sometimes\" cannot be used (pcr: in real time; fast: as fast as it is read; or a rate in Mbit/s such as 8.5).",
     {2, "fast"}, {"Clip", LUM_SAMPLE, "fast", "off"}, {{3, "on"}}},
    {"net", LUMNETINPUT_LIBRARY, "LUMNetInput", {{0, "News"}, {1, "udp://239.1.1.1"}},
     "URL: \"udp://239.1.1.1\" cannot be used (udp://[source@]address:port, rtp://..., http://... or https://...).",
     {1, "udp://239.1.1.1:1234"}, {"News", "udp://239.1.1.1:1234", ""}, {{0, "Sport"}, {2, "eth0"}}},
    {"dvb", LUMLINUXDVBINPUT_LIBRARY, "LUMLinuxDVBInput",
     {{0, "Astra"}, {1, "DVBS2"}, {3, "22000000"}, {7, "H"}, {2, "11362"}},   // MHz, where kHz is wanted
     "The frequency 11362 is out of range for DVBS2: 950000 to 13000000 kHz.", {2, "11362000"},
     {"Astra", "DVBS2", "11362000", "22000000", "0", "0", "-1", "H", "UNIVERSAL", "-1", ""}, {{4, "1"}, {10, "ROLLOFF=20"}}},
};
void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

// Runs `open`, which shows a modal `Dialog`, and `steps` on that dialog, which is rejected
// after them if still open, so that a failed step never leaves it waiting.
template <class Dialog>
bool WhenShown(const std::function<void()>& open, const std::function<void(Dialog&)>& steps)
{
    bool shown = false;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (auto* dialog = dynamic_cast<Dialog*>(QApplication::activeModalWidget())) {
            look.stop();
            shown = true;
            steps(*dialog);
            if (dialog->isVisible())
                static_cast<QDialog*>(dialog)->reject();
        }
    });
    look.start(10);
    open();
    return shown;
}

// A file is chosen with the file chooser, a list's entry picked, other text typed.
void Type(CDefinitionEditorDialog& editor, const std::pair<std::size_t, QString>& text)
{
    const std::size_t field = text.first;   // not a structured binding: lambdas capture it
    const QString& value = text.second;
    if (auto* browse = editor.findChild<QPushButton*>(QStringLiteral("browse%1").arg(field))) {
        EXPECT_TRUE(WhenShown<QFileDialog>([browse] { browse->click(); }, [&](QFileDialog& chooser) {
            // typed, as a user may: a selection made before the chooser has read its folder
            // (on a thread of its own) is lost on a busy machine
            if (auto* name = chooser.findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                name->setText(value);
            else
                chooser.selectFile(value);
            static_cast<QDialog&>(chooser).accept();   // public there
        })) << "no file chooser";
        EXPECT_EQ(static_cast<QLineEdit*>(editor.GetEditor(field))->text(), value);
    } else if (auto* box = qobject_cast<QComboBox*>(editor.GetEditor(field))) {
        box->isEditable() ? box->setCurrentText(value) : box->setCurrentIndex(box->findText(value));
        EXPECT_EQ(box->currentText(), value) << "offered";
    } else {
        static_cast<QLineEdit*>(editor.GetEditor(field))->setText(value);
    }
}

// OK: the message shown, empty when the editor closed.
QString PressOK(CDefinitionEditorDialog& editor)
{
    editor.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    return editor.isVisible() ? editor.GetMessage()->text() : QString();
}

class DefinitionEditorViewTest : public ::testing::TestWithParam<Case>
{
protected:
    void TearDown() override
    {
        if (m_plugin)
            m_plugin->DeInitialise();
        CLUMPluginManager::GetPluginManager()->SetPluginFolderPath("");
    }

    CTestPluginFolder m_folder;
    CLUMInputPlugin* m_plugin = nullptr;
};

TEST_P(DefinitionEditorViewTest, AddAndEditInConfigureMultiplexes)
{
    const Case& c = GetParam();
    if (!CTestPluginFolder::IsManagerFresh())
        GTEST_SKIP() << "needs a process of its own (run it through ctest or --gtest_filter)";
    if (!*c.library)
        GTEST_SKIP() << c.plugin << " is not built";
    m_folder.CopyIn(c.library, std::filesystem::path(c.library).filename());
    CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
    manager->SetPluginFolderPath(m_folder.Path().c_str());
    ASSERT_EQ(manager->LoadPlugins(), 1);
    m_plugin = static_cast<CLUMInputPlugin*>(manager->GetPluginWithType(CLUMPlugin::TypeInput, 0));
    ASSERT_EQ(m_plugin->GetName().Str(), c.plugin);

    CConfigureMultiplexesDialog dialog(m_plugin);
    dialog.show();
    // `button` opens the editor titled `title`; `texts` are refused with `message` unless it is empty
    auto run = [&](const char* button, const QString& title, const Texts& texts, const QString& message) {
        EXPECT_TRUE(WhenShown<CDefinitionEditorDialog>([&] { dialog.findChild<QPushButton*>(button)->click(); },
                                                       [&](CDefinitionEditorDialog& editor) {
            EXPECT_EQ(editor.windowTitle(), title);
            for (const auto& text : texts)
                Type(editor, text);
            if (!message.isEmpty()) {
                EXPECT_EQ(PressOK(editor), message);
                editor.grab().save(QStringLiteral(LUM_SCREENSHOT_FOLDER "/definition_editor_%1.png").arg(c.name));
                Type(editor, c.fix);
            }
            EXPECT_EQ(PressOK(editor), QString());
        })) << "no editor: " << title.toStdString();
    };
    auto row = [&] {
        QStringList texts;
        for (int i = 0; i < dialog.GetList()->columnCount(); ++i)
            texts << dialog.GetList()->topLevelItem(0)->text(i);
        return texts;
    };
    run("2001", "Add Multiplex", c.add, c.message);
    ASSERT_EQ(dialog.GetList()->topLevelItemCount(), 1);
    EXPECT_EQ(row(), c.added);
    dialog.GetList()->topLevelItem(0)->setSelected(true);
    run("2002", "Edit Multiplex [" + c.added[0] + "]", c.edit, QString());
    QStringList edited = c.added;
    for (const auto& [field, text] : c.edit)
        edited[int(field)] = text;
    EXPECT_EQ(row(), edited);
    dialog.findChild<QPushButton*>(QStringLiteral("1"))->click();   // OK: the rows become the plug-in's
    EXPECT_EQ(m_plugin->GetMultiplexDefinitionCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(Inputs, DefinitionEditorViewTest, ::testing::ValuesIn(g_cases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
