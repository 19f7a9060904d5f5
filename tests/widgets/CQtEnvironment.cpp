// One application for the widgets tests' process, made before the first test and destroyed
// after the last, before the exit handlers run (Qt's input devices must not outlive it).
// Settings go to a folder of the tests' own, not the user's.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

class CQtEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "widgets_tests";
        static char* argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // empty at each run: what one run remembered (the volume it turned down) is not the next one's start
        const std::string settings = ::testing::TempDir() + "widgets_tests-config";
        std::system(("rm -rf '" + settings + "'").c_str());
        qputenv("XDG_CONFIG_HOME", settings.c_str());
        m_application = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { m_application.reset(); }

private:
    std::unique_ptr<QApplication> m_application;
};

const auto* const g_qt = ::testing::AddGlobalTestEnvironment(new CQtEnvironment);

}  // namespace
