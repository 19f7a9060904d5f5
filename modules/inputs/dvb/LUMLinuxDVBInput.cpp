// Load-time registration of the Linux DVB input plug-in.
#include "modules/inputs/dvb/CLinuxDVBInputPlugin.h"
#include "plugins/CLUMPluginManager.h"

namespace {

class CRegisteredLinuxDVBInputPlugin : public CLinuxDVBInputPlugin
{
public:
    CRegisteredLinuxDVBInputPlugin() { CLUMPluginManager::GetPluginManager()->AddPlugin(this); }
};

CRegisteredLinuxDVBInputPlugin g_plugin;

}  // namespace
