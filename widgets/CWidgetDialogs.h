#pragma once
// The Qt dialogs, installed as the library's dialogs while libLUMCoreWidgets loads. A
// program without a QApplication (a QCoreApplication, or none) gets none: false.
#include "plugins/CLUMDialogs.h"

class CWidgetDialogs : public CLUMDialogs
{
public:
    bool ConfigureMultiplexes(CLUMInputPlugin* plugin) override;
    bool TestMultiplex(CLUMInputPlugin* plugin, CDVBMultiplexDefinition* definition) override;
    bool EditMultiplexDefinition(CDefinitionEditorBehaviour& editor) override;

    // Installs them. Loading the library does it already; an application that calls
    // nothing else of the library calls this, so that a linker with --as-needed keeps it.
    static void Install();
};
