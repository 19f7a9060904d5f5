#pragma once
// Where the library's two dialogs come from. The core knows no user interface toolkit:
// the widgets library (libLUMCoreWidgets) installs its dialogs here while it loads, and
// without it CLUMInputPlugin's ConfigureMultiplexDefinitions and TestMultiplexDefinition
// return false.
class CDVBMultiplexDefinition;
class CLUMInputPlugin;

class CLUMDialogs
{
public:
    virtual ~CLUMDialogs() = default;

    // Modal; true when the user ended the dialog with OK.
    virtual bool ConfigureMultiplexes(CLUMInputPlugin* plugin) = 0;
    virtual bool TestMultiplex(CLUMInputPlugin* plugin, CDVBMultiplexDefinition* definition) = 0;

    // Not owned; null takes them away again.
    static void Install(CLUMDialogs* dialogs);
    static CLUMDialogs* Installed();
};
