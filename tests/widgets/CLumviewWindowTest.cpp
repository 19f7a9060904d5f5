// lumview's window over the file input plug-in, offscreen: the window's keys. What it says
// of a file played to its end is the behaviour's (CLumviewBehaviourTest).
#include "apps/lumview/CLumviewWindow.h"
#include "tests/plugins/CFileInputFixture.h"

#include <QEventLoop>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <functional>

namespace {

using LumviewWindowTest = CFileInputFixture;

// Runs the window's event loop (its refresh timer delivers) until `done`, at most 20 s.
void RunUntil(const std::function<bool()>& done)
{
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (done())
            loop.quit();
    });
    look.start(50);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
}

// P goes round to the last service and N back; F shows the picture alone and Escape the
// rest again; - and M are the volume's and the mute's, whichever widget has the focus.
TEST_F(LumviewWindowTest, KeysZapShowThePictureAloneAndSetTheVolume)
{
    CLumviewWindow window;
    window.show();
    ASSERT_TRUE(window.Open(m_plugin, Define("Sample, " LUM_SAMPLE ", fast, on")));
    auto* services = window.findChild<QTreeWidget*>(QStringLiteral("services"));
    auto* volume = window.findChild<QSlider*>(QStringLiteral("volume"));
    auto* mute = window.findChild<QToolButton*>(QStringLiteral("mute"));
    ASSERT_TRUE(services && volume && mute);
    RunUntil([&] { return services->topLevelItemCount() == 4; });
    ASSERT_EQ(services->topLevelItemCount(), 4);
    services->setFocus();
    QTest::keyClick(services, Qt::Key_P);
    EXPECT_EQ(services->indexOfTopLevelItem(services->currentItem()), 3);
    QTest::keyClick(services, Qt::Key_N);
    EXPECT_EQ(services->indexOfTopLevelItem(services->currentItem()), 0);
    QTest::keyClick(services, Qt::Key_F);
    EXPECT_FALSE(services->isVisible());
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_TRUE(services->isVisible());
    const int before = volume->value();
    QTest::keyClick(services, Qt::Key_Minus);
    EXPECT_EQ(volume->value(), before - 5);
    QTest::keyClick(services, Qt::Key_M);
    EXPECT_TRUE(mute->isChecked());
}

}  // namespace
