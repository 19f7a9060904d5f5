// A minimal input plug-in: its one multiplex delivers null packets, 100 every millisecond.
#include "core/CDVBTransportStreamSource.h"
#include "plugins/CDVBMultiplexDefinition.h"
#include "plugins/CLUMInputPlugin.h"
#include "plugins/CLUMPluginManager.h"

#include <cstring>

class CNullSource : public CDVBTransportStreamSource
{
public:
    DWORD ReadBuffer(BYTE* buffer, DWORD size) override
    {
        const DWORD packets = size / 188 < 100 ? size / 188 : 100;
        for (DWORD i = 0; i < packets; ++i) {
            BYTE* p = buffer + i * 188;
            std::memset(p, 0xFF, 188);
            p[0] = 0x47, p[1] = 0x1F, p[2] = 0xFF, p[3] = 0x10;   // PID 0x1FFF
        }
        return packets * 188;
    }
};

class CNullInputPlugin : public CLUMInputPlugin
{
public:
    CNullInputPlugin() { CLUMPluginManager::GetPluginManager()->AddPlugin(this); }
    CString GetName() override { return "LUMNullInput"; }
    CDVBTransportStreamSource* OpenMultiplex(CDVBMultiplexDefinition*) override { return new CNullSource; }
};

static CNullInputPlugin g_plugin;   // registers when the library loads
