#include "PluginsCommand.h"

#include "CLumrxHost.h"

#include "plugins/CLUMPlugin.h"
#include "plugins/CLUMPluginManager.h"

#include <iostream>

int PluginsCommand(CLumrxHost&, const CLumrxOptions&)
{
    CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
    if (manager->GetPluginCount() == 0)
        std::cout << "no plug-ins in " << manager->GetPluginFolderPath().Str() << "\n";
    for (int i = 0; i < manager->GetPluginCount(); ++i) {
        CLUMPlugin* plugin = manager->GetPluginAtIndex(i);
        std::cout << plugin->GetName().Str() << "  (" << CLumrxHost::PluginTypeText(plugin->GetType()) << ")  "
                  << plugin->GetDescription().Str() << "\n";
    }
    return ExitOk;
}
