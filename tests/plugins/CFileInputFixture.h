#pragma once
// A test with the real file input plug-in loaded from a copy of LUMFileInput.so in a
// folder of the test's own, reached only through CLUMInputPlugin as a host reaches it.
#include "plugins/CDVBMultiplexDefinition.h"
#include "plugins/CLUMInputPlugin.h"
#include "plugins/CLUMPluginManager.h"
#include "tests/plugins/CTestPluginFolder.h"

#include <gtest/gtest.h>

class CFileInputFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!CTestPluginFolder::IsManagerFresh())
            GTEST_SKIP() << "needs a process of its own (run it through ctest or --gtest_filter)";
        m_plugin = m_folder.LoadFileInputPlugin();
        ASSERT_NE(nullptr, m_plugin) << "LUMFileInput.so did not register its plug-in";
    }
    void TearDown() override
    {
        if (m_plugin)
            m_plugin->DeInitialise();   // the plug-in does not delete its definitions itself
        CLUMPluginManager::GetPluginManager()->SetPluginFolderPath("");
    }

    // A definition read from `line`, added to the plug-in's list, which owns it.
    CDVBMultiplexDefinition* Define(const char* line)
    {
        CDVBMultiplexDefinition* definition = m_plugin->CreateMultiplexDefinition();
        definition->ReadFromString(line);
        m_plugin->AddMultiplexDefinition(definition);
        return definition;
    }
    static std::string FieldOf(CDVBMultiplexDefinition* definition, int index)
    {
        CString text;
        definition->WriteFieldToString(index, text);
        return text.Str();
    }

    CTestPluginFolder m_folder;
    CLUMInputPlugin* m_plugin = nullptr;
};
