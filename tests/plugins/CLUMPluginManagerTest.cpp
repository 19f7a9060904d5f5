#include "plugins/CLUMPluginManager.h"

#include "plugins/CLUMPlugin.h"
#include "tests/plugins/CTestPluginFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

namespace {

class CLUMPluginManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!CTestPluginFolder::IsManagerFresh())
            GTEST_SKIP() << "needs a process of its own (run it through ctest or --gtest_filter)";
        m_manager->SetPluginFolderPath(m_folder.Path().c_str());
    }
    void TearDown() override { m_manager->SetPluginFolderPath(""); }

    std::vector<std::string> Names() const   // of every plug-in, in registration order
    {
        std::vector<std::string> names;
        for (int i = 0; i < m_manager->GetPluginCount(); ++i)
            names.push_back(m_manager->GetPluginAtIndex(i)->GetName().Str());
        return names;
    }

    CLUMPluginManager* m_manager = CLUMPluginManager::GetPluginManager();
    CTestPluginFolder m_folder;
};

TEST_F(CLUMPluginManagerTest, RegistersLibrariesInNameOrderAndFindsTheNthOfAType)
{
    // copied out of order: the order on disk must not decide
    m_folder.CopyIn(LUM_TEST_ONE_LIBRARY, "LUMTestZ.so");
    m_folder.CopyIn(LUM_TEST_TWO_LIBRARY, "LUMTestTwo.so");
    m_folder.CopyIn(LUM_TEST_ONE_LIBRARY, "LUMTestOne.so");
    ASSERT_EQ(3, m_manager->LoadPlugins());
    EXPECT_EQ(Names(), (std::vector<std::string>{"Test One", "Test Two decoder", "Test Two display",
                                                 "Test Two audio output", "Test One"}));
    EXPECT_EQ(nullptr, m_manager->GetPluginAtIndex(5));
    // the type, which of that type, and the plug-in's index (-1: none)
    const std::tuple<int, int, int> lookups[] = {{CLUMPlugin::TypeInput, 1, 4}, {CLUMPlugin::TypeInput, 2, -1},
        {CLUMPlugin::TypeInput, -1, -1}, {CLUMPlugin::TypeDisplay, 0, 2}, {CLUMPlugin::TypeAudioOutput, 0, 3},
        {CLUMPlugin::TypePlain, 0, -1}};
    for (const auto& [type, n, index] : lookups)
        EXPECT_EQ(m_manager->GetPluginAtIndex(index), m_manager->GetPluginWithType(type, n)) << type << " " << n;
}

TEST_F(CLUMPluginManagerTest, LoadsEachLibraryOnceAndForgetsItsPluginsOnUnload)
{
    EXPECT_EQ(1, m_manager->UnloadPlugins());   // nothing loaded
    m_folder.CopyIn(LUM_TEST_ONE_LIBRARY, "LUMTestOne.so");
    EXPECT_EQ(1, m_manager->LoadPlugins());
    EXPECT_EQ(2, m_manager->LoadPlugins());
    EXPECT_EQ(1, m_manager->GetPluginCount()) << "a library already loaded was initialised again";
    // a host that loads again after an unload is never handed a plug-in whose code is gone
    EXPECT_EQ(1, m_manager->UnloadPlugins());
    EXPECT_EQ(nullptr, m_manager->GetPluginWithType(CLUMPlugin::TypeInput, 0));
    // a file that does not load counts as a library held and registers nothing
    m_folder.WriteText("LUMBroken.so", "This is text, not a shared object.\n");
    ASSERT_EQ(2, m_manager->LoadPlugins());
    EXPECT_EQ(Names(), std::vector<std::string>{"Test One"});
}

TEST(CLUMPluginManagerLimitTest, StopsAtThirtyTwoPluginsAndSaysSo)
{
    CLUMPluginManager manager;   // one of its own, not the process's
    CLUMPlugin plugins[CLUMPluginManager::MaximumPlugins + 1];
    for (CLUMPlugin& plugin : plugins)
        EXPECT_EQ(manager.AddPlugin(&plugin), &plugin != &plugins[CLUMPluginManager::MaximumPlugins]);
    EXPECT_EQ(manager.GetPluginCount(), CLUMPluginManager::MaximumPlugins);
    EXPECT_EQ(manager.GetPluginAtIndex(CLUMPluginManager::MaximumPlugins), nullptr);
}

// Each file tried counts as a library held, loadable or not.
TEST_F(CLUMPluginManagerTest, LoadsOnlyFilesNamedLikePluginLibrariesUpToThirtyTwo)
{
    for (const char* name : {"LUMCore.so", "lumcore.SO", "LUMCORE.so", "LUMcore.so", "libLUMTestOne.so",
                             "LUMTestOne.so.1", "TestLUM.so", "LUMTestOne.SO"})
        m_folder.CopyIn(LUM_TEST_ONE_LIBRARY, name);
    std::filesystem::create_directory(m_folder.PathOf("folder"));
    EXPECT_EQ(0, m_manager->LoadPlugins());
    for (int i = 0; i < CLUMPluginManager::MaximumLibraries + 1; ++i)
        m_folder.WriteText("LUMBroken" + std::to_string(100 + i) + ".so", "not a library\n");
    EXPECT_EQ(CLUMPluginManager::MaximumLibraries, m_manager->LoadPlugins());
    EXPECT_EQ(CLUMPluginManager::MaximumLibraries, m_manager->LoadPlugins());
}

TEST_F(CLUMPluginManagerTest, FolderPathIsTheTestProgramsUnlessSetAndEndsInASlash)
{
    for (const char* folder : {"/somewhere/else", "/somewhere/else/"}) {
        m_manager->SetPluginFolderPath(folder);
        EXPECT_EQ("/somewhere/else/", std::string(m_manager->GetPluginFolderPath().Str())) << folder;
    }
    m_manager->SetPluginFolderPath("");
    EXPECT_EQ(std::filesystem::canonical(LUM_TEST_PROGRAM_FOLDER).string() + "/", m_manager->GetPluginFolderPath().Str());
    m_folder.CopyIn(LUM_TEST_ONE_LIBRARY, "LUMTestOne.so");
    m_manager->SetPluginFolderPath(m_folder.PathOf("missing").c_str());
    EXPECT_EQ(0, m_manager->LoadPlugins()) << "a missing folder loads nothing, not the folder before it";
}

}  // namespace
