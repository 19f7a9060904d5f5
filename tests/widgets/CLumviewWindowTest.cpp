// lumview's window over the file input plug-in, offscreen: a file that does not loop is
// said to have ended, not to be silent.
#include "apps/lumview/CLumviewWindow.h"
#include "tests/plugins/CFileInputFixture.h"

#include <QEventLoop>
#include <QLabel>
#include <QTimer>

namespace {

using LumviewWindowTest = CFileInputFixture;

TEST_F(LumviewWindowTest, AFilePlayedOnceIsSaidToHaveEnded)
{
    CLumviewWindow window;
    window.show();
    ASSERT_TRUE(window.Open(m_plugin, Define("Once, " LUM_SAMPLE ", fast, off")));
    auto* message = window.findChild<QLabel*>(QStringLiteral("message"));
    ASSERT_NE(message, nullptr);
    QEventLoop loop;   // the window's own refresh timer runs in it; the first message ends it
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (!message->text().isEmpty())
            loop.quit();
    });
    look.start(50);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(message->text().toStdString(), "Once has been played to its end.");
}

}  // namespace
