// Load-time registration of the file input plug-in: the plug-in manager lists it as soon
// as the library is loaded.
#include "modules/inputs/file/CFileInputPlugin.h"
#include "plugins/CLUMPluginManager.h"

namespace {

class CRegisteredFileInputPlugin : public CFileInputPlugin
{
public:
    CRegisteredFileInputPlugin() { CLUMPluginManager::GetPluginManager()->AddPlugin(this); }
};

CRegisteredFileInputPlugin g_plugin;

}  // namespace
