// One application for the widgets tests' process, made before the first test and destroyed
// after the last, before the exit handlers run (Qt's input devices must not outlive it).
// Settings go to a folder of the tests' own, not the user's.
#include <QApplication>

#include <gtest/gtest.h>

#include <unistd.h>

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
        // a folder for this process alone: what one run remembered (the volume it turned down)
        // is not the next one's start, and tests that run side by side do not share it
        m_settings = ::testing::TempDir() + "widgets_tests-config-" + std::to_string(::getpid());
        qputenv("XDG_CONFIG_HOME", m_settings.c_str());
        m_application = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override
    {
        m_application.reset();
        std::system(("rm -rf '" + m_settings + "'").c_str());
    }

private:
    std::unique_ptr<QApplication> m_application;
    std::string m_settings;
};

const auto* const g_qt = ::testing::AddGlobalTestEnvironment(new CQtEnvironment);

}  // namespace
