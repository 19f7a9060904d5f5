#pragma once
// A folder of a test's own, removed with everything in it when the test ends, for plug-in
// libraries to be copied into and the manager pointed at. The manager is one object per process
// and loaded libraries stay, so each plug-in test runs in a process of its own (ctest does that).
#include "platform/LUMTypes.h"
#include "plugins/CLUMInputPlugin.h"
#include "plugins/CLUMPluginManager.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

class CTestPluginFolder
{
public:
    CTestPluginFolder()   // canonical: paths the plug-ins build from it are compared with realpath() results
    {
        std::string name = ::testing::TempDir() + "lumplugins.XXXXXX";
        EXPECT_NE(::mkdtemp(name.data()), nullptr) << name;
        m_path = std::filesystem::canonical(name).string();
    }
    ~CTestPluginFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }

    const std::string& Path() const { return m_path; }   // without a trailing '/'
    std::string PathOf(const std::string& name) const { return m_path + "/" + name; }

    void Write(const std::string& name, const std::vector<BYTE>& bytes) const
    {
        std::ofstream file(PathOf(name), std::ios::binary | std::ios::trunc);
        EXPECT_TRUE(file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()))) << name;
    }
    void WriteText(const std::string& name, const std::string& text) const { Write(name, {text.begin(), text.end()}); }
    void CopyIn(const std::string& from, const std::string& name) const
    {
        std::filesystem::copy_file(from, PathOf(name), std::filesystem::copy_options::overwrite_existing);
    }
    std::string ReadText(const std::string& name) const
    {
        std::ostringstream text;
        text << std::ifstream(PathOf(name), std::ios::binary).rdbuf();
        return text.str();
    }

    // Copies LUMFileInput.so in, points the manager here and loads; null when the file input
    // plug-in did not register.
    CLUMInputPlugin* LoadFileInputPlugin() const
    {
        CopyIn(LUM_FILE_INPUT_LIBRARY, "LUMFileInput.so");
        CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
        manager->SetPluginFolderPath(m_path.c_str());
        if (manager->LoadPlugins() != 1)
            return nullptr;
        return dynamic_cast<CLUMInputPlugin*>(manager->GetPluginWithType(CLUMPlugin::TypeInput, 0));
    }
    // True while nothing is loaded or registered in this process: the tests' assumption.
    static bool IsManagerFresh() { return CLUMPluginManager::GetPluginManager()->GetPluginCount() == 0; }

private:
    std::string m_path;
};
