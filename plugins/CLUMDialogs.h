#pragma once
// Where the library's dialogs come from. The core knows no user interface toolkit: the
// widgets library (libLUMCoreWidgets) installs its dialogs here while it loads, and
// without it CLUMInputPlugin's ConfigureMultiplexDefinitions and TestMultiplexDefinition,
// and a plug-in's definition editor, return false.
class CDefinitionEditorBehaviour;
class CDVBMultiplexDefinition;
class CLUMInputPlugin;

class CLUMDialogs
{
public:
    virtual ~CLUMDialogs() = default;

    // Modal; true when the user ended the dialog with OK.
    virtual bool ConfigureMultiplexes(CLUMInputPlugin* plugin) = 0;
    virtual bool TestMultiplex(CLUMInputPlugin* plugin, CDVBMultiplexDefinition* definition) = 0;
    // The fields `editor` describes, until OK finds them good (Accept) or the person cancels.
    virtual bool EditMultiplexDefinition(CDefinitionEditorBehaviour&) { return false; }

    // Not owned; null takes them away again.
    static void Install(CLUMDialogs* dialogs);
    static CLUMDialogs* Installed();
};
