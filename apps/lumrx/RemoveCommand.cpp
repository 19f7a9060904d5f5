#include "RemoveCommand.h"

#include "CLumrxHost.h"
#include "CLumrxOptions.h"

#include "plugins/CDVBMultiplexDefinition.h"
#include "plugins/CLUMInputPlugin.h"
#include "plugins/CLUMInputPluginExtension.h"

#include <iostream>
#include <vector>

int RemoveCommand(CLumrxHost& host, const CLumrxOptions& options)
{
    CLUMInputPlugin* plugin = host.FindInputPlugin(options.plugin);
    if (plugin == nullptr)
        return host.SayFailure();
    CLUMInputPluginExtension* extension = host.ExtensionFor(plugin, "remove definitions");
    if (extension == nullptr)
        return host.SayFailure();
    const std::string& name = options.arguments[0];
    std::vector<CDVBMultiplexDefinition*> named;
    auto position = plugin->GetFirstMultiplexDefinitionPosition();
    while (CDVBMultiplexDefinition* definition = plugin->GetNextMultiplexDefinition(position))
        if (definition->GetName() == name.c_str())
            named.push_back(definition);
    if (named.empty()) {
        host.Fail(ExitUnknownDefinition, "no multiplex definition is called \"" + name + "\"");
        return host.SayFailure();
    }
    // an old file may name two alike: one goes at a time, so that the user sees which is left
    CString line;
    named.front()->WriteToString(line);
    extension->RemoveMultiplexDefinition(named.front());
    if (const int saved = host.Save(plugin); saved != ExitOk)
        return saved;
    std::cout << "removed from " << plugin->GetMultiplexDefinitionsFilename().Str() << ": " << line.Str() << "\n";
    if (named.size() > 1)
        std::cout << named.size() - 1 << " more called \"" << name << "\" remain" << (named.size() > 2 ? "" : "s")
                  << "; lumrx remove " << name << " again removes the next\n";
    return ExitOk;
}
