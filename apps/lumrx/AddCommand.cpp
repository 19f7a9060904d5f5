#include "AddCommand.h"

#include "CCommandTable.h"
#include "CLumrxHost.h"
#include "CLumrxOptions.h"

#include "plugins/CDVBMultiplexDefinition.h"
#include "plugins/CLUMInputPlugin.h"
#include "plugins/CLUMInputPluginExtension.h"
#include "plugins/CLUMPluginManager.h"

#include <cstdlib>
#include <iostream>
#include <memory>

namespace {

// The definition of that name in any input plug-in, or null.
CDVBMultiplexDefinition* DefinitionCalled(const std::string& name)
{
    CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
    for (int i = 0; CLUMPlugin* candidate = manager->GetPluginWithType(CLUMPlugin::TypeInput, i); ++i) {
        auto* input = static_cast<CLUMInputPlugin*>(candidate);
        for (int d = 0; d < input->GetMultiplexDefinitionCount(); ++d)
            if (input->GetMultiplexDefinitionAtIndex(d)->GetName() == name.c_str())
                return input->GetMultiplexDefinitionAtIndex(d);
    }
    return nullptr;
}

}  // namespace

int AddCommand(CLumrxHost& host, const CLumrxOptions& options)
{
    CLUMInputPlugin* plugin = host.FindInputPlugin(options.plugin);
    if (plugin == nullptr)
        return host.SayFailure();
    std::string line;
    for (std::size_t i = 0; i < options.arguments.size(); ++i) {
        std::string field = options.arguments[i];
        if (field.find(',') != std::string::npos)
            return CCommandTable::UsageError("a field cannot hold a comma: " + field);
        // a file named from here, not from the definitions file's folder
        char* absolute = i > 0 && CLumrxHost::LooksLikeAPath(field) && field[0] != '/' ? ::realpath(field.c_str(), nullptr) : nullptr;
        if (absolute) {
            field = absolute;
            std::free(absolute);
        }
        line += (line.empty() ? "" : ", ") + field;
    }
    if (line.size() > 510)   // the definitions file is read in lines of at most 510 characters
        return CCommandTable::UsageError("a definition's line cannot be longer than 510 characters");
    std::unique_ptr<CDVBMultiplexDefinition> definition(plugin->CreateMultiplexDefinition());
    if (!definition->ReadFromString(line.c_str())) {
        std::string fields;
        for (int i = 0; i < definition->GetRequiredFieldCount(); ++i)
            fields += " " + definition->GetFieldName(i).Str();
        return CCommandTable::UsageError("a definition needs at least these fields:" + fields);
    }
    const std::string name = definition->GetName().Str();
    if (DefinitionCalled(name) != nullptr)
        return CCommandTable::UsageError("a multiplex definition is already called \"" + name + "\" (lumrx remove " + name + " first)");
    if (definition->m_firstFieldNotRead >= 0) {
        const int index = definition->m_firstFieldNotRead;
        return CCommandTable::UsageError(definition->GetFieldName(index).Str() + " cannot be \"" +
                                         options.arguments[std::size_t(index)] + "\"");
    }
    int failure = 0;
    const std::string problem = CLumrxHost::DefinitionProblem(plugin, definition.get(), failure);
    switch (failure) {
    case CLUMInputPluginExtension::OpenFailureNone:
        break;
    case CLUMInputPluginExtension::OpenFailureUnreadable:
        host.Fail(ExitFileUnreadable, problem);
        return host.SayFailure();
    case CLUMInputPluginExtension::OpenFailureNotTransportStream:
        host.Fail(ExitNotTransportStream, problem);
        return host.SayFailure();
    case CLUMInputPluginExtension::OpenFailureInvalid:
        return CCommandTable::UsageError(problem);
    default:
        host.Fail(ExitOpenFailed, problem);
        return host.SayFailure();
    }
    CString written;
    definition->WriteToString(written);
    plugin->AddMultiplexDefinition(definition.release());
    if (const int saved = host.Save(plugin); saved != ExitOk)
        return saved;
    std::cout << "added to " << plugin->GetMultiplexDefinitionsFilename().Str() << ": " << written.Str() << "\n";
    return ExitOk;
}
