#include "ScanCommand.h"

#include "CLumrxHost.h"
#include "CLumrxOptions.h"

#include "plugins/CLUMInputPlugin.h"
#include "plugins/CLUMInputPluginExtension.h"

#include <iostream>

int ScanCommand(CLumrxHost& host, const CLumrxOptions& options)
{
    CLUMInputPlugin* plugin = host.FindInputPlugin(options.plugin);
    if (plugin == nullptr)
        return host.SayFailure();
    CLUMInputPluginExtension* extension = host.ExtensionFor(plugin, "scan a folder");
    if (extension == nullptr)
        return host.SayFailure();
    const std::string& folder = options.arguments[0];
    const int before = plugin->GetMultiplexDefinitionCount();
    if (!extension->ScanFolder(folder.c_str())) {
        if (extension->GetLastOpenFailure() == CLUMInputPluginExtension::OpenFailureUnreadable ||
            extension->GetLastOpenFailure() == CLUMInputPluginExtension::OpenFailureNone) {
            const std::string why = extension->GetLastOpenFailureText().Str();
            host.Fail(ExitFileUnreadable, folder + ": cannot be scanned" + (why.empty() ? "" : ": " + why));
        } else {
            host.FailToOpen(plugin, folder);   // no tuner, for instance
        }
        return host.SayFailure();
    }
    std::cout << plugin->GetMultiplexDefinitionCount() - before << " definitions added\n";
    const std::string skipped = extension->GetLastOpenFailureText().Str();   // entries the input cannot take
    if (!skipped.empty())
        std::cerr << "skipped:\n" << skipped;
    return host.Save(plugin);
}
