#pragma once
// The one plug-in manager: loads every LUM*.so beside the application (their plug-ins
// register themselves while they load) and lists the plug-ins by type. It owns neither
// the plug-ins nor the libraries in the sense of deleting them; UnloadPlugins forgets the
// plug-ins with their libraries. Used from the application's thread only.
#include "platform/CString.h"

class CLUMPlugin;

class CLUMPluginManager
{
public:
    static constexpr int MaximumPlugins = 32;
    static constexpr int MaximumLibraries = 32;

    CLUMPluginManager() = default;
    virtual ~CLUMPluginManager() = default;
    CLUMPluginManager(const CLUMPluginManager&) = delete;
    CLUMPluginManager& operator=(const CLUMPluginManager&) = delete;

    static CLUMPluginManager* GetPluginManager();

    // False, storing nothing, once 32 plug-ins are registered.
    bool AddPlugin(CLUMPlugin* plugin);
    int GetPluginCount() const { return m_pluginCount; }
    CLUMPlugin* GetPluginAtIndex(int index) const;
    // The index-th plug-in (from 0) of the given type, in registration order.
    CLUMPlugin* GetPluginWithType(int type, int index) const;

    // The executable's folder with its trailing '/', read once and kept.
    CString GetPluginFolderPath();
    // Loads the LUM*.so files of that folder (not LUMCore.so, in any case); returns how
    // many libraries are held, failed loads included.
    int LoadPlugins();
    int UnloadPlugins();

    // Where plug-ins are searched, for tests and hosts that keep them elsewhere; the empty
    // string goes back to the executable's folder.
    void SetPluginFolderPath(const CString& folder);

private:
    CLUMPlugin* m_plugins[MaximumPlugins] = {};
    int m_pluginCount = 0;
    void* m_libraries[MaximumLibraries] = {};
    int m_libraryCount = 0;
    CString m_pluginFolderPath;
    bool m_folderPathKnown = false;
};
