// Load-time registration of the image display plug-in.
#include "CImageDisplayPlugin.h"
#include "plugins/CLUMPluginManager.h"

namespace {

class CRegisteredImageDisplayPlugin : public CImageDisplayPlugin
{
public:
    CRegisteredImageDisplayPlugin() { CLUMPluginManager::GetPluginManager()->AddPlugin(this); }
};

CRegisteredImageDisplayPlugin g_plugin;

}  // namespace
