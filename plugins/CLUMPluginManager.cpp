#include "plugins/CLUMPluginManager.h"

#include "platform/ExecutablePath.h"
#include "plugins/CLUMPlugin.h"

#include <dirent.h>
#include <dlfcn.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Created during the library's static initialisation, before any plug-in library loads.
CLUMPluginManager g_manager;

bool IsPluginFileName(const std::string& name)
{
    const std::string prefix = "LUM", suffix = ".so";
    if (name.size() < prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    return CString(name.c_str()).CompareNoCase("LUMCore.so") != 0;   // the library itself
}

}  // namespace

CLUMPluginManager* CLUMPluginManager::GetPluginManager()
{
    return &g_manager;
}

bool CLUMPluginManager::AddPlugin(CLUMPlugin* plugin)
{
    if (m_pluginCount >= MaximumPlugins)
        return false;
    m_plugins[m_pluginCount++] = plugin;
    return true;
}

CLUMPlugin* CLUMPluginManager::GetPluginAtIndex(int index) const
{
    return index >= 0 && index < m_pluginCount ? m_plugins[index] : nullptr;
}

CLUMPlugin* CLUMPluginManager::GetPluginWithType(int type, int index) const
{
    if (index < 0)
        return nullptr;
    for (int i = 0; i < m_pluginCount; ++i)
        if (m_plugins[i]->GetType() == type && index-- == 0)
            return m_plugins[i];
    return nullptr;
}

CString CLUMPluginManager::GetPluginFolderPath()
{
    if (!m_folderPathKnown) {
        m_pluginFolderPath = GetExecutableFolder();
        m_folderPathKnown = true;
    }
    return m_pluginFolderPath;
}

void CLUMPluginManager::SetPluginFolderPath(const CString& folder)
{
    m_pluginFolderPath = folder;
    if (!folder.IsEmpty() && folder.Right(1) != "/")
        m_pluginFolderPath += "/";
    m_folderPathKnown = !folder.IsEmpty();
}

int CLUMPluginManager::LoadPlugins()
{
    const CString folder = GetPluginFolderPath();
    DIR* directory = ::opendir(folder.IsEmpty() ? "." : static_cast<const char*>(folder));
    if (directory == nullptr)
        return m_libraryCount;
    // Sorted, so that plug-ins register in the same order on every run.
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(directory))
        if (IsPluginFileName(entry->d_name))
            names.emplace_back(entry->d_name);
    ::closedir(directory);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        if (m_libraryCount >= MaximumLibraries)
            break;
        // dlopen searches the library path for a bare name: say where the file is
        const CString path = (folder.IsEmpty() ? CString("./") : folder) + name.c_str();
        // A file that does not load still takes its entry, with no handle.
        m_libraries[m_libraryCount++] = ::dlopen(path, RTLD_NOW);
    }
    return m_libraryCount;
}

int CLUMPluginManager::UnloadPlugins()
{
    for (int i = 0; i < m_libraryCount; ++i) {
        if (m_libraries[i])
            ::dlclose(m_libraries[i]);
        m_libraries[i] = nullptr;
    }
    m_libraryCount = 0;
    // Their plug-ins went with the libraries: an entry left would call into unloaded code
    // when the manager is asked again.
    for (int i = 0; i < m_pluginCount; ++i)
        m_plugins[i] = nullptr;
    m_pluginCount = 0;
    return 1;
}
