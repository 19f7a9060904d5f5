// Load-time registration of the network input plug-in.
#include "modules/inputs/net/CNetInputPlugin.h"
#include "plugins/CLUMPluginManager.h"

namespace {

class CRegisteredNetInputPlugin : public CNetInputPlugin
{
public:
    CRegisteredNetInputPlugin() { CLUMPluginManager::GetPluginManager()->AddPlugin(this); }
};

CRegisteredNetInputPlugin g_plugin;

}  // namespace
