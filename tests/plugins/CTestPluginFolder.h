#pragma once
// A folder of a test's own, made for it and removed with everything in it when the test
// ends: plug-in libraries are copied into it and the plug-in manager pointed at it, so
// that what loads and which definitions file is read is what the test put there.
// The manager is one object per process and loaded libraries stay; every test of the
// plug-in programs therefore runs in a process of its own (ctest does that).
#include "platform/LUMTypes.h"

#include <string>
#include <vector>

class CLUMInputPlugin;

class CTestPluginFolder
{
public:
    CTestPluginFolder();   // a new empty folder under the test temporary folder
    ~CTestPluginFolder();
    CTestPluginFolder(const CTestPluginFolder&) = delete;
    CTestPluginFolder& operator=(const CTestPluginFolder&) = delete;

    // Absolute, free of symbolic links, without a trailing '/'.
    const std::string& Path() const { return m_path; }
    std::string PathOf(const std::string& name) const { return m_path + "/" + name; }

    // Each returns the file's full path.
    std::string Write(const std::string& name, const std::vector<BYTE>& bytes) const;
    std::string WriteText(const std::string& name, const std::string& text) const;
    std::string CopyIn(const std::string& source, const std::string& name) const;
    std::string ReadText(const std::string& name) const;

    // Copies LUMFileInput.so in, points the manager here and loads; the file input
    // plug-in, or null when it did not register.
    CLUMInputPlugin* LoadFileInputPlugin() const;

    // True while nothing is loaded or registered in this process: the tests' assumption.
    static bool IsManagerFresh();

private:
    std::string m_path;
};
