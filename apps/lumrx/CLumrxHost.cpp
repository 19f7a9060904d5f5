#include "CLumrxHost.h"

#include "plugins/CDVBMultiplexDefinition.h"
#include "plugins/CLUMInputPlugin.h"
#include "plugins/CLUMPluginManager.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace {

const char* const kFilePlugin = "LUMFileInput";

bool LooksLikeAPath(const std::string& name)
{
    auto endsWith = [&name](const char* suffix) {
        const std::string s(suffix);
        return name.size() >= s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0;
    };
    return name.find('/') != std::string::npos || endsWith(".ts") || endsWith(".m2ts") || endsWith(".TS");
}

}  // namespace

CLumrxHost::CLumrxHost()
{
    CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
    manager->LoadPlugins();
    for (int i = 0; i < manager->GetPluginCount(); ++i)
        manager->GetPluginAtIndex(i)->Initialise();
}

CLumrxHost::~CLumrxHost()
{
    m_fileDefinition.reset();
    CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
    for (int i = 0; i < manager->GetPluginCount(); ++i)
        manager->GetPluginAtIndex(i)->DeInitialise();
    manager->UnloadPlugins();
}

bool CLumrxHost::Fail(ExitCode code, const std::string& message)
{
    m_error = code;
    m_message = message;
    return false;
}

std::string CLumrxHost::PluginTypeText(int type)
{
    switch (type) {
    case 1:
        return "input";
    case 2:
        return "decoder";
    case 3:
        return "display";
    default:
        return "plain";
    }
}

CLUMInputPlugin* CLumrxHost::FindInputPlugin(const std::string& name)
{
    const std::string wanted = name.empty() ? kFilePlugin : name;
    CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
    for (int i = 0; CLUMPlugin* plugin = manager->GetPluginWithType(CLUMPlugin::TypeInput, i); ++i)
        if (plugin->GetName().CompareNoCase(wanted.c_str()) == 0)
            return static_cast<CLUMInputPlugin*>(plugin);
    Fail(ExitUnknownPlugin, "unknown input plug-in \"" + wanted + "\" (lumrx plugins lists them; plug-ins are LUM*.so files in " +
                                manager->GetPluginFolderPath().Str() + ")");
    return nullptr;
}

bool CLumrxHost::ResolveMultiplex(const std::string& name, const std::string& pluginName, bool realTime,
                                  CLUMInputPlugin*& plugin, CDVBMultiplexDefinition*& definition)
{
    // a definition of that name, in the plug-in named or in any input plug-in
    CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
    for (int i = 0; CLUMPlugin* candidate = manager->GetPluginWithType(CLUMPlugin::TypeInput, i); ++i) {
        if (!pluginName.empty() && candidate->GetName().CompareNoCase(pluginName.c_str()) != 0)
            continue;
        auto* input = static_cast<CLUMInputPlugin*>(candidate);
        for (int d = 0; d < input->GetMultiplexDefinitionCount(); ++d) {
            CDVBMultiplexDefinition* found = input->GetMultiplexDefinitionAtIndex(d);
            if (found->GetName() == name.c_str()) {
                plugin = input;
                definition = found;
                return true;
            }
        }
    }
    struct stat info{};
    const bool exists = ::stat(name.c_str(), &info) == 0;
    if (!exists && !LooksLikeAPath(name))
        return Fail(ExitUnknownDefinition, "no multiplex definition is called \"" + name +
                                               "\" (lumrx list shows them), and no file has that name");
    if (!exists)
        return Fail(ExitFileUnreadable, name + ": no such file");
    if (S_ISDIR(info.st_mode) || ::access(name.c_str(), R_OK) != 0)
        return Fail(ExitFileUnreadable, name + ": cannot be read");
    plugin = FindInputPlugin(pluginName.empty() ? kFilePlugin : pluginName);
    if (plugin == nullptr)
        return false;
    char absolute[PATH_MAX];
    if (::realpath(name.c_str(), absolute) == nullptr)
        return Fail(ExitFileUnreadable, name + ": cannot be read");
    m_fileDefinition.reset(plugin->CreateMultiplexDefinition());
    std::string line = std::string(absolute);
    const std::size_t slash = line.rfind('/');
    std::string stem = line.substr(slash + 1);
    for (char& c : stem)
        if (c == ',')
            c = ' ';   // a comma would split the definition's line
    const std::string text = stem + ", " + line + ", " + (realTime ? "pcr" : "fast") + ", off";
    if (line.find(',') != std::string::npos)
        return Fail(ExitFileUnreadable, name + ": a path with a comma cannot be named in a definition");
    m_fileDefinition->ReadFromString(text.c_str());
    definition = m_fileDefinition.get();
    return true;
}
