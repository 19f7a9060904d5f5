// The widgets library in a program with only a QCoreApplication (a service, a command-line
// host): it shows no dialog, where a widget would abort the program, and says false.
#include "plugins/CDVBMultiplexDefinition.h"
#include "plugins/CDefinitionEditorBehaviour.h"
#include "plugins/CLUMDialogs.h"
#include "plugins/CLUMInputPlugin.h"
#include "widgets/CWidgetDialogs.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

namespace {

TEST(WidgetDialogsCoreTest, AProgramWithoutWidgetsGetsNoDialog)
{
    CWidgetDialogs::Install();
    ASSERT_NE(CLUMDialogs::Installed(), nullptr);
    int argc = 1;
    char name[] = "widgets_core_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    CLUMInputPlugin plugin;
    CDVBMultiplexDefinition definition;
    EXPECT_FALSE(plugin.ConfigureMultiplexDefinitions());
    EXPECT_FALSE(plugin.TestMultiplexDefinition(&definition));
    CDefinitionEditorBehaviour editor(&plugin, &definition);
    EXPECT_FALSE(editor.Run());
}

}  // namespace
