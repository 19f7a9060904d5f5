#include "CLumrxHost.h"

#include "plugins/CDVBMultiplexDefinition.h"
#include "plugins/CLUMInputPlugin.h"
#include "plugins/CLUMInputPluginExtension.h"
#include "plugins/CLUMPluginManager.h"

#include <sys/stat.h>
#include <unistd.h>

#include <iostream>

bool CLumrxHost::LooksLikeAPath(const std::string& name)
{
    auto endsWith = [&name](const char* suffix) {
        const std::string s(suffix);
        return name.size() >= s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0;
    };
    return name.find('/') != std::string::npos || endsWith(".ts") || endsWith(".m2ts") || endsWith(".TS");
}

CLumrxHost::CLumrxHost()
{
    CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
    manager->LoadPlugins();
    for (int i = 0; i < manager->GetPluginCount(); ++i)
        manager->GetPluginAtIndex(i)->Initialise();
}

CLumrxHost::~CLumrxHost()
{
    m_locationDefinition.reset();
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

int CLumrxHost::SayFailure() const
{
    std::cerr << "lumrx: " << m_message << "\n";
    return m_error;
}

void CLumrxHost::FailToOpen(CLUMInputPlugin* plugin, const std::string& name, CDVBMultiplexDefinition* definition)
{
    CLUMInputPluginExtension* extension = ExtensionOf(plugin);
    std::string why = extension ? extension->GetLastOpenFailureText().Str() : std::string();
    CString problem;
    if (why.empty() && extension && definition &&
        extension->CheckMultiplexDefinition(definition, problem) != CLUMInputPluginExtension::OpenFailureNone)
        why = problem.Str();
    switch (extension ? extension->GetLastOpenFailure() : CLUMInputPluginExtension::OpenFailureNone) {
    case CLUMInputPluginExtension::OpenFailureNotTransportStream:
        Fail(ExitNotTransportStream, name + ": not a transport stream" + (why.empty() ? " (no packets of 188 or 192 bytes)" : ": " + why));
        break;
    case CLUMInputPluginExtension::OpenFailureNoSignal:
        Fail(ExitNoSignal, name + ": " + (why.empty() ? "no signal" : why));
        break;
    case CLUMInputPluginExtension::OpenFailureUnreadable:
        Fail(ExitFileUnreadable, name + ": cannot be read" + (why.empty() ? "" : ": " + why));
        break;
    default:
        Fail(ExitOpenFailed, name + ": the input plug-in could not open this multiplex" + (why.empty() ? "" : ": " + why));
    }
}

CLUMInputPluginExtension* CLumrxHost::ExtensionFor(CLUMInputPlugin* plugin, const char* what)
{
    CLUMInputPluginExtension* extension = ExtensionOf(plugin);
    if (extension == nullptr)
        Fail(ExitUsage, plugin->GetName().Str() + " cannot " + what);
    return extension;
}

int CLumrxHost::Save(CLUMInputPlugin* plugin)
{
    if (plugin->SaveMultiplexDefinitions())
        return ExitOk;
    Fail(ExitSaveFailed, "cannot write " + plugin->GetMultiplexDefinitionsFilename().Str());
    return SayFailure();
}

std::string CLumrxHost::DefinitionProblem(CLUMInputPlugin* plugin, CDVBMultiplexDefinition* definition, int& failure)
{
    failure = CLUMInputPluginExtension::OpenFailureNone;
    if (definition->m_firstFieldNotRead >= 0) {
        failure = CLUMInputPluginExtension::OpenFailureInvalid;
        return "its field " + definition->GetFieldName(definition->m_firstFieldNotRead).Str() + " does not read";
    }
    CString problem;
    if (CLUMInputPluginExtension* extension = ExtensionOf(plugin))
        failure = extension->CheckMultiplexDefinition(definition, problem);
    return failure == CLUMInputPluginExtension::OpenFailureNone ? std::string()
                                                                 : problem.IsEmpty() ? std::string("it cannot be opened") : problem.Str();
}

std::string CLumrxHost::PluginTypeText(int type)
{
    switch (type) {
    case CLUMPlugin::TypeInput:
        return "input";
    case CLUMPlugin::TypeDecoder:
        return "decoder";
    case CLUMPlugin::TypeDisplay:
        return "display";
    case CLUMPlugin::TypeAudioOutput:
        return "audio output";
    default:
        return "plain";
    }
}

CLUMInputPluginExtension* CLumrxHost::ExtensionOf(CLUMInputPlugin* plugin)
{
    return dynamic_cast<CLUMInputPluginExtension*>(plugin);
}

CLUMInputPlugin* CLumrxHost::FindInputPlugin(const std::string& name)
{
    CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
    for (int i = 0; CLUMPlugin* plugin = manager->GetPluginWithType(CLUMPlugin::TypeInput, i); ++i)
        if (name.empty() || plugin->GetName().CompareNoCase(name.c_str()) == 0)
            return static_cast<CLUMInputPlugin*>(plugin);
    const std::string folder = manager->GetPluginFolderPath().Str();
    Fail(ExitUnknownPlugin, name.empty() ? "no input plug-in in " + folder
                                         : "unknown input plug-in \"" + name + "\" (lumrx plugins lists them; plug-ins are LUM*.so files in " + folder + ")");
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
    if (name.find("://") == std::string::npos) {   // a path, not an address
        struct stat info{};
        const bool exists = ::stat(name.c_str(), &info) == 0;
        if (!exists && !LooksLikeAPath(name))
            return Fail(ExitUnknownDefinition, "no multiplex definition is called \"" + name +
                                                   "\" (lumrx list shows them), and no file has that name");
        if (!exists)
            return Fail(ExitFileUnreadable, name + ": no such file");
        if (S_ISDIR(info.st_mode) || ::access(name.c_str(), R_OK) != 0)
            return Fail(ExitFileUnreadable, name + ": cannot be read");
    }
    for (int i = 0; CLUMPlugin* candidate = manager->GetPluginWithType(CLUMPlugin::TypeInput, i); ++i) {
        if (!pluginName.empty() && candidate->GetName().CompareNoCase(pluginName.c_str()) != 0)
            continue;
        auto* input = static_cast<CLUMInputPlugin*>(candidate);
        CLUMInputPluginExtension* extension = ExtensionOf(input);
        if (extension == nullptr)
            continue;
        m_locationDefinition.reset(extension->CreateDefinitionForLocation(name.c_str(), realTime));
        if (m_locationDefinition) {
            plugin = input;
            definition = m_locationDefinition.get();
            return true;
        }
    }
    if (!pluginName.empty() && FindInputPlugin(pluginName) == nullptr)
        return false;
    return Fail(ExitUnknownPlugin, name + ": no input plug-in plays it (lumrx plugins lists them)");
}
