#pragma once
// A folder of a test's own, removed with everything in it when the test ends: plug-in
// libraries are copied into it and the plug-in manager pointed at it. The manager is one
// object per process and loaded libraries stay, so each plug-in test runs in a process of
// its own (ctest does that).
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
    CTestPluginFolder()   // a new empty folder under the test temporary folder
    {
        std::string name = ::testing::TempDir() + "lumplugins.XXXXXX";
        if (::mkdtemp(name.data()) == nullptr)
            ADD_FAILURE() << "cannot make a folder from " << name;
        else   // paths the plug-ins build from it are compared with realpath() results
            m_path = std::filesystem::canonical(name).string();
    }
    ~CTestPluginFolder()
    {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    CTestPluginFolder(const CTestPluginFolder&) = delete;
    CTestPluginFolder& operator=(const CTestPluginFolder&) = delete;

    // Absolute, free of symbolic links, without a trailing '/'.
    const std::string& Path() const { return m_path; }
    std::string PathOf(const std::string& name) const { return m_path + "/" + name; }

    // Each returns the file's full path.
    std::string Write(const std::string& name, const std::vector<BYTE>& bytes) const
    {
        std::ofstream file(PathOf(name), std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        EXPECT_TRUE(file.good()) << "cannot write " << PathOf(name);
        return PathOf(name);
    }
    std::string WriteText(const std::string& name, const std::string& text) const
    {
        return Write(name, std::vector<BYTE>(text.begin(), text.end()));
    }
    std::string CopyIn(const std::string& source, const std::string& name) const
    {
        std::error_code error;
        std::filesystem::copy_file(source, PathOf(name), std::filesystem::copy_options::overwrite_existing, error);
        EXPECT_FALSE(error) << "cannot copy " << source << ": " << error.message();
        return PathOf(name);
    }
    std::string ReadText(const std::string& name) const
    {
        std::ostringstream text;
        text << std::ifstream(PathOf(name), std::ios::binary).rdbuf();
        return text.str();
    }

    // Copies LUMFileInput.so in, points the manager here and loads; the file input plug-in,
    // or null when it did not register.
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
