#include "ListCommand.h"

#include "CLumrxHost.h"
#include "CLumrxOptions.h"

#include "plugins/CDVBMultiplexDefinition.h"
#include "plugins/CLUMInputPlugin.h"

#include <iostream>

int ListCommand(CLumrxHost& host, const CLumrxOptions& options)
{
    CLUMInputPlugin* plugin = host.FindInputPlugin(options.plugin);
    if (plugin == nullptr)
        return host.SayFailure();
    std::cout << "# " << plugin->GetMultiplexDefinitionsFilename().Str() << "\n";
    auto position = plugin->GetFirstMultiplexDefinitionPosition();
    while (CDVBMultiplexDefinition* definition = plugin->GetNextMultiplexDefinition(position)) {
        CString line;
        definition->WriteToString(line);
        int failure = 0;
        const std::string problem = CLumrxHost::DefinitionProblem(plugin, definition, failure);
        std::cout << line.Str() << (problem.empty() ? "" : "    # " + problem) << "\n";
    }
    return ExitOk;
}
