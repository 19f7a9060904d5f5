// Load-time registration of the PulseAudio output plug-in.
#include "CPulseAudioOutputPlugin.h"
#include "plugins/CLUMPluginManager.h"

namespace {

class CRegisteredPulseAudioOutputPlugin : public CPulseAudioOutputPlugin
{
public:
    CRegisteredPulseAudioOutputPlugin() { CLUMPluginManager::GetPluginManager()->AddPlugin(this); }
};

CRegisteredPulseAudioOutputPlugin g_plugin;

}  // namespace
