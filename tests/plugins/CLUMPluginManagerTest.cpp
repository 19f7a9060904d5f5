#include "plugins/CLUMPluginManager.h"

#include "plugins/CLUMPlugin.h"
#include "tests/plugins/CTestPluginFolder.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

// Each test loads real plug-in libraries built beside the test program, copied into a
// folder of its own.
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

    // The name of the plug-in at `index`, or "(none)", for messages that say what loaded.
    std::string NameAt(int index) const
    {
        CLUMPlugin* plugin = m_manager->GetPluginAtIndex(index);
        return plugin ? plugin->GetName().Str() : "(none)";
    }

    CLUMPluginManager* m_manager = CLUMPluginManager::GetPluginManager();
    CTestPluginFolder m_folder;
};

TEST_F(CLUMPluginManagerTest, RegistersLibrariesInNameOrderAndFindsTheNthOfAType)
{
    // Copied out of order: the order on disk must not decide the order of plug-ins.
    m_folder.CopyIn(LUM_TEST_ONE_LIBRARY, "LUMTestZ.so");
    m_folder.CopyIn(LUM_TEST_TWO_LIBRARY, "LUMTestTwo.so");
    m_folder.CopyIn(LUM_TEST_ONE_LIBRARY, "LUMTestOne.so");
    ASSERT_EQ(3, m_manager->LoadPlugins());

    ASSERT_EQ(4, m_manager->GetPluginCount());
    EXPECT_EQ("Test One", NameAt(0));
    EXPECT_EQ("Test Two decoder", NameAt(1));
    EXPECT_EQ("Test Two display", NameAt(2));
    EXPECT_EQ("Test One", NameAt(3));
    EXPECT_EQ(nullptr, m_manager->GetPluginAtIndex(-1));
    EXPECT_EQ(nullptr, m_manager->GetPluginAtIndex(4));
    EXPECT_EQ(m_manager->GetPluginAtIndex(0), m_manager->GetPluginWithType(CLUMPlugin::TypeInput, 0));
    EXPECT_EQ(m_manager->GetPluginAtIndex(3), m_manager->GetPluginWithType(CLUMPlugin::TypeInput, 1));
    EXPECT_EQ(nullptr, m_manager->GetPluginWithType(CLUMPlugin::TypeInput, 2));
    EXPECT_EQ(nullptr, m_manager->GetPluginWithType(CLUMPlugin::TypeInput, -1));
    EXPECT_EQ(m_manager->GetPluginAtIndex(1), m_manager->GetPluginWithType(CLUMPlugin::TypeDecoder, 0));
    EXPECT_EQ(nullptr, m_manager->GetPluginWithType(CLUMPlugin::TypeDecoder, 1));
    EXPECT_EQ(m_manager->GetPluginAtIndex(2), m_manager->GetPluginWithType(CLUMPlugin::TypeDisplay, 0));
    EXPECT_EQ(nullptr, m_manager->GetPluginWithType(CLUMPlugin::TypePlain, 0));
}

TEST_F(CLUMPluginManagerTest, LoadsEachLibraryOnceAndForgetsItsPluginsOnUnload)
{
    EXPECT_EQ(1, m_manager->UnloadPlugins());   // nothing loaded
    m_folder.CopyIn(LUM_TEST_ONE_LIBRARY, "LUMTestOne.so");
    EXPECT_EQ(1, m_manager->LoadPlugins());
    // a library already loaded is not initialised again, so its plug-in is not added twice
    EXPECT_EQ(2, m_manager->LoadPlugins());
    EXPECT_EQ(1, m_manager->GetPluginCount());

    // A host that unloads and loads again, to pick up a new library, must not be handed a
    // plug-in whose code is gone; the libraries held start again from none.
    EXPECT_EQ(1, m_manager->UnloadPlugins());
    EXPECT_EQ(0, m_manager->GetPluginCount());
    EXPECT_EQ(nullptr, m_manager->GetPluginWithType(CLUMPlugin::TypeInput, 0));
    // a file that does not load counts as a library held and registers nothing
    m_folder.WriteText("LUMBroken.so", "This is text, not a shared object.\n");
    ASSERT_EQ(2, m_manager->LoadPlugins());
    ASSERT_EQ(1, m_manager->GetPluginCount());
    EXPECT_EQ("Test One", NameAt(0));
}

TEST_F(CLUMPluginManagerTest, StopsAtThirtyTwoPlugins)
{
    // LUMTestMany sorts first: its 33 plug-ins fill the table, LUMTestOne's finds no room.
    const std::string many = m_folder.CopyIn(LUM_TEST_MANY_LIBRARY, "LUMTestMany.so");
    m_folder.CopyIn(LUM_TEST_ONE_LIBRARY, "LUMTestOne.so");
    EXPECT_EQ(2, m_manager->LoadPlugins());

    EXPECT_EQ(CLUMPluginManager::MaximumPlugins, m_manager->GetPluginCount());
    EXPECT_EQ("Many 32", NameAt(31));
    EXPECT_EQ(nullptr, m_manager->GetPluginAtIndex(32));
    EXPECT_EQ(nullptr, m_manager->GetPluginWithType(CLUMPlugin::TypeInput, 0));

    void* library = ::dlopen(many.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(nullptr, library) << "LUMTestMany.so is not loaded";
    auto wasAccepted = reinterpret_cast<bool (*)(int)>(::dlsym(library, "LUMTestManyWasAccepted"));
    ASSERT_NE(nullptr, wasAccepted);
    EXPECT_TRUE(wasAccepted(1));
    EXPECT_TRUE(wasAccepted(32));
    EXPECT_FALSE(wasAccepted(33));
    ::dlclose(library);   // the reference RTLD_NOLOAD took
}

TEST_F(CLUMPluginManagerTest, StopsAtThirtyTwoLibraries)
{
    for (int i = 0; i < CLUMPluginManager::MaximumLibraries + 1; ++i)
        m_folder.WriteText("LUMBroken" + std::to_string(100 + i) + ".so", "not a library\n");
    EXPECT_EQ(CLUMPluginManager::MaximumLibraries, m_manager->LoadPlugins());
    EXPECT_EQ(CLUMPluginManager::MaximumLibraries, m_manager->LoadPlugins());
}

TEST_F(CLUMPluginManagerTest, LoadsOnlyFilesNamedLikePluginLibraries)
{
    // Each would count as a library held had it been tried, loadable or not.
    for (const char* name : {"LUMCore.so", "lumcore.SO", "LUMCORE.so", "LUMcore.so", "libLUMTestOne.so",
                             "LUMTestOne.so.1", "TestLUM.so", "LUMTestOne.SO"})
        m_folder.CopyIn(LUM_TEST_ONE_LIBRARY, name);
    std::filesystem::create_directory(m_folder.PathOf("folder"));
    EXPECT_EQ(0, m_manager->LoadPlugins());
    EXPECT_EQ(0, m_manager->GetPluginCount());
    m_manager->SetPluginFolderPath(m_folder.PathOf("missing").c_str());
    EXPECT_EQ(0, m_manager->LoadPlugins());
}

TEST(CLUMPluginManagerFolderTest, IsTheTestProgramsFolderUntilSetOtherwise)
{
    if (!CTestPluginFolder::IsManagerFresh())
        GTEST_SKIP() << "needs a process of its own (run it through ctest or --gtest_filter)";
    CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
    const std::string expected = std::filesystem::canonical(LUM_TEST_PROGRAM_FOLDER).string() + "/";
    EXPECT_EQ(expected, manager->GetPluginFolderPath().Str());
    manager->SetPluginFolderPath("/somewhere/else");
    EXPECT_EQ("/somewhere/else/", manager->GetPluginFolderPath().Str());
    manager->SetPluginFolderPath("/somewhere/else/");
    EXPECT_EQ("/somewhere/else/", manager->GetPluginFolderPath().Str());
    manager->SetPluginFolderPath("");
    EXPECT_EQ(expected, manager->GetPluginFolderPath().Str());
}

}  // namespace
