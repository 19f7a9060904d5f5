#pragma once
// The Qt dialogs, installed as the library's dialogs while libLUMCoreWidgets loads.
#include "plugins/CLUMDialogs.h"

class CWidgetDialogs : public CLUMDialogs
{
public:
    bool ConfigureMultiplexes(CLUMInputPlugin* plugin) override;
    bool TestMultiplex(CLUMInputPlugin* plugin, CDVBMultiplexDefinition* definition) override;
};
