#include "tests/plugins/CTestPluginFolder.h"

#include "plugins/CLUMInputPlugin.h"
#include "plugins/CLUMPluginManager.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

CTestPluginFolder::CTestPluginFolder()
{
    std::string pattern = ::testing::TempDir() + "lumplugins.XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) {
        ADD_FAILURE() << "cannot make a folder from " << pattern;
        return;
    }
    // Paths the plug-ins build from it are compared with realpath() results.
    m_path = std::filesystem::canonical(name.data()).string();
}

CTestPluginFolder::~CTestPluginFolder()
{
    std::error_code ignored;
    if (!m_path.empty())
        std::filesystem::remove_all(m_path, ignored);
}

std::string CTestPluginFolder::Write(const std::string& name, const std::vector<BYTE>& bytes) const
{
    const std::string path = PathOf(name);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    EXPECT_TRUE(file.good()) << "cannot write " << path;
    return path;
}

std::string CTestPluginFolder::WriteText(const std::string& name, const std::string& text) const
{
    return Write(name, std::vector<BYTE>(text.begin(), text.end()));
}

std::string CTestPluginFolder::CopyIn(const std::string& source, const std::string& name) const
{
    const std::string path = PathOf(name);
    std::error_code error;
    std::filesystem::copy_file(source, path, std::filesystem::copy_options::overwrite_existing, error);
    EXPECT_FALSE(error) << "cannot copy " << source << ": " << error.message();
    return path;
}

std::string CTestPluginFolder::ReadText(const std::string& name) const
{
    std::ifstream file(PathOf(name), std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

CLUMInputPlugin* CTestPluginFolder::LoadFileInputPlugin() const
{
    CopyIn(LUM_FILE_INPUT_LIBRARY, "LUMFileInput.so");
    CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
    manager->SetPluginFolderPath(m_path.c_str());
    if (manager->LoadPlugins() != 1)
        return nullptr;
    return dynamic_cast<CLUMInputPlugin*>(manager->GetPluginWithType(CLUMPlugin::TypeInput, 0));
}

bool CTestPluginFolder::IsManagerFresh()
{
    return CLUMPluginManager::GetPluginManager()->GetPluginCount() == 0;
}
