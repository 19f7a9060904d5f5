// Load-time registration of the libavcodec decoder plug-in.
#include "CAVDecoderPlugin.h"
#include "plugins/CLUMPluginManager.h"

#include <dlfcn.h>

namespace {

class CRegisteredAVDecoderPlugin : public CAVDecoderPlugin
{
public:
    CRegisteredAVDecoderPlugin()
    {
        // FFmpeg's libraries keep what their initialisers set up and are not made to be
        // unloaded: this library, and so they, stay loaded for the life of the process.
        Dl_info self{};
        if (dladdr(reinterpret_cast<void*>(&Pin), &self) && self.dli_fname)
            dlopen(self.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
        CLUMPluginManager::GetPluginManager()->AddPlugin(this);
    }

private:
    static void Pin() {}
};

CRegisteredAVDecoderPlugin g_plugin;

}  // namespace
