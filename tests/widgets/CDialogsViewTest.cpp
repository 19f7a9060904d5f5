// The two Qt dialogs driven as a person would (offscreen), over the real file input
// plug-in playing the bundled sample; a screenshot of each is saved in the build folder.
// The application is CQtEnvironment's.
#include "plugins/CLUMDialogs.h"
#include "tests/plugins/CFileInputFixture.h"
#include "tests/plugins/CHangingSource.h"
#include "widgets/CConfigureMultiplexesDialog.h"
#include "widgets/CTestMultiplexDialog.h"

#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <memory>

namespace {

class DialogsViewTest : public CFileInputFixture
{
protected:
    void SetUp() override
    {
        CFileInputFixture::SetUp();
        Define("Sample, " LUM_SAMPLE ", fast, on");
        Define("Second, " LUM_SAMPLE ", pcr, off");
    }
    static QPushButton* Button(QWidget* dialog, const char* id) { return dialog->findChild<QPushButton*>(id); }
    static void Press(QWidget* widget, int key)
    {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(widget, &press);
    }
};

TEST_F(DialogsViewTest, ConfigureShowsOneColumnPerFieldAndKeepsThePluginsListUntilOK)
{
    CConfigureMultiplexesDialog dialog(m_plugin);
    dialog.show();
    QTreeWidget* list = dialog.GetList();
    std::unique_ptr<CDVBMultiplexDefinition> sample{m_plugin->CreateMultiplexDefinition()};
    EXPECT_EQ(list->columnCount(), sample->GetTotalFieldCount());
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(1)->text(0), QStringLiteral("Second"));
    EXPECT_FALSE(Button(&dialog, "2002")->isEnabled());
    list->topLevelItem(0)->setSelected(true);
    EXPECT_TRUE(Button(&dialog, "2003")->isEnabled());
    dialog.grab().save(QStringLiteral(LUM_SCREENSHOT_FOLDER "/configure_multiplexes.png"));
    Button(&dialog, "2003")->click();   // Remove
    EXPECT_EQ(list->topLevelItemCount(), 1);
    Button(&dialog, "2")->click();      // Cancel
    EXPECT_EQ(m_plugin->GetMultiplexDefinitionCount(), 2);

    CConfigureMultiplexesDialog again(m_plugin);
    again.GetList()->topLevelItem(1)->setSelected(true);
    Button(&again, "2003")->click();
    Button(&again, "1")->click();       // OK
    ASSERT_EQ(m_plugin->GetMultiplexDefinitionCount(), 1);
    EXPECT_EQ(m_plugin->GetMultiplexDefinitionAtIndex(0)->GetName().Str(), "Sample");
}

TEST_F(DialogsViewTest, ConfigureEscapeLeavesTheListAloneAndEnterCutsLongCells)
{
    Define((std::string(300, 'x') + ", " LUM_SAMPLE ", pcr, off").c_str());
    CConfigureMultiplexesDialog dialog(m_plugin);
    dialog.show();
    dialog.GetList()->topLevelItem(0)->setSelected(true);
    Button(&dialog, "2003")->click();
    Press(&dialog, Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(m_plugin->GetMultiplexDefinitionCount(), 3);

    CConfigureMultiplexesDialog again(m_plugin);
    again.show();
    Press(&again, Qt::Key_Return);
    EXPECT_EQ(again.result(), QDialog::Accepted);
    ASSERT_EQ(m_plugin->GetMultiplexDefinitionCount(), 3);
    EXPECT_EQ(m_plugin->GetMultiplexDefinitionAtIndex(2)->GetName().Str(), std::string(255, 'x'));
}

TEST_F(DialogsViewTest, TestShowsTheSampleServicesAndTheRateFromItsTimer)
{
    CTestMultiplexDialog dialog(m_plugin, m_plugin->GetMultiplexDefinitionAtIndex(0));
    dialog.show();
    // the dialog's own 250 ms timer ticks in this loop; it ends once a tick shows it all
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (dialog.GetServices()->topLevelItemCount() > 0 && dialog.GetStatusText()->text().startsWith("Data is being received"))
            loop.quit();
    });
    look.start(50);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    QLabel* status = dialog.GetStatusText();
    EXPECT_TRUE(status->toolTip().startsWith("Data is being received at ")) << status->toolTip().toStdString();
    EXPECT_TRUE(status->toolTip().contains("played, as fast as it is read] (")) << "the file's own status, whole: " << status->toolTip().toStdString();
    EXPECT_TRUE(status->toolTip().contains(", TR 101 290 first priority: ")) << status->toolTip().toStdString();
    EXPECT_LE(status->fontMetrics().horizontalAdvance(status->text()), status->width()) << "not cut at the edge";
    ASSERT_GT(dialog.GetServices()->topLevelItemCount(), 0);
    EXPECT_FALSE(dialog.GetServices()->topLevelItem(0)->text(0).isEmpty());
    dialog.grab().save(QStringLiteral(LUM_SCREENSHOT_FOLDER "/test_multiplex.png"));
    Button(&dialog, "1")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

// The close box over a receiver stuck in a read: the message box, then the dialog closes.
TEST_F(DialogsViewTest, TestSaysWhenItsReceiverWillNotStop)
{
    struct CHangingPlugin : CLUMInputPlugin
    {
        CDVBTransportStreamSource* OpenMultiplex(CDVBMultiplexDefinition*) override { return &m_source; }
        bool CloseMultiplex(CDVBTransportStreamSource*) override { return m_closed = true; }
        CHangingSource m_source;
        bool m_closed = false;
    } plugin;
    CTestMultiplexDialog dialog(&plugin, m_plugin->GetMultiplexDefinitionAtIndex(0));
    dialog.show();
    dialog.Tick();
    ASSERT_EQ(plugin.m_source.m_inRead.Wait(20000), WAIT_OBJECT_0);
    QString said;
    bool closedFirst = false;
    QTimer answer;   // the message box is modal: answered from the event loop it runs
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            said = box->text();
            closedFirst = plugin.m_closed;
            box->accept();
        }
    });
    answer.start(20);
    dialog.close();
    EXPECT_EQ(said, QStringLiteral("Failed to stop transport stream receiver."));
    EXPECT_FALSE(closedFirst) << "said before the multiplex is closed";
    EXPECT_TRUE(plugin.m_closed);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(DialogsViewTest, ThePluginShowsTheInstalledDialogsModally)
{
    ASSERT_NE(CLUMDialogs::Installed(), nullptr);
    QTimer::singleShot(500, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            static_cast<QDialog*>(modal)->accept();
    });
    EXPECT_TRUE(m_plugin->TestMultiplexDefinition(m_plugin->GetMultiplexDefinitionAtIndex(0)));
    QTimer::singleShot(100, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            static_cast<QDialog*>(modal)->reject();
    });
    EXPECT_FALSE(m_plugin->ConfigureMultiplexDefinitions());
}

}  // namespace
