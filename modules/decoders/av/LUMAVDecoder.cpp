// Load-time registration of the libavcodec decoder plug-in.
#include "CAVDecoderPlugin.h"
#include "plugins/CLUMPluginManager.h"

namespace {

class CRegisteredAVDecoderPlugin : public CAVDecoderPlugin
{
public:
    CRegisteredAVDecoderPlugin() { CLUMPluginManager::GetPluginManager()->AddPlugin(this); }
};

CRegisteredAVDecoderPlugin g_plugin;

}  // namespace
