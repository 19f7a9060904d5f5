#pragma once
// A plug-in that tunes: it keeps a list of multiplex definitions (owned) in a text file
// beside the application named after the plug-in, and opens a definition as a transport
// stream source. Input plug-ins derive from it and from CDVBMultiplexDefinition.
#include "plugins/CLUMPlugin.h"

#include <list>

class CDVBMultiplexDefinition;
class CDVBTransportStreamSource;

class CLUMInputPlugin : public CLUMPlugin
{
public:
    using Position = std::list<CDVBMultiplexDefinition*>::iterator;

    // The definitions themselves are deleted by DeInitialise, not here.
    ~CLUMInputPlugin() override = default;

    int GetType() override { return TypeInput; }
    void Initialise() override;     // loads the definitions file
    void DeInitialise() override;   // deletes every definition, unsaved

    virtual int GetMultiplexDefinitionCount();
    virtual CDVBMultiplexDefinition* GetMultiplexDefinitionAtIndex(int index);
    virtual Position GetFirstMultiplexDefinitionPosition();
    // The definition at `position`, moving it on; null, not moving, at the end.
    virtual CDVBMultiplexDefinition* GetNextMultiplexDefinition(Position& position);
    virtual bool IsValid(Position position);

    // A source the caller hands back to CloseMultiplex of this plug-in; the base one
    // delivers nothing.
    virtual CDVBTransportStreamSource* OpenMultiplex(CDVBMultiplexDefinition* definition);
    virtual bool CloseMultiplex(CDVBTransportStreamSource* source);

    // The two dialogs, modal, from the widgets library (CLUMDialogs); without it they
    // return false. ConfigureMultiplexDefinitions saves the list when it ends with OK.
    virtual bool ConfigureMultiplexDefinitions();
    virtual bool ScanForMultiplexDefinitions() { return false; }
    virtual bool ConfigureMultiplexDefinition(CDVBMultiplexDefinition*) { return false; }
    virtual bool TestMultiplexDefinition(CDVBMultiplexDefinition* definition);

    // A new, empty definition of the plug-in's own class, owned by the caller.
    virtual CDVBMultiplexDefinition* CreateMultiplexDefinition();
    // Appends the file's definitions to the list; false when it cannot be read.
    virtual bool LoadMultiplexDefinitions();
    virtual bool SaveMultiplexDefinitions();
    // The executable's folder, the plug-in's name, " Multiplexes.txt".
    virtual CString GetMultiplexDefinitionsFilename();
    virtual bool DeleteAllMultiplexDefinitions();

    // The list takes ownership.
    bool AddMultiplexDefinition(CDVBMultiplexDefinition* definition);

protected:
    // Unlinks the definition from the list and deletes it; false when the list does not hold it.
    bool DeleteMultiplexDefinition(CDVBMultiplexDefinition* definition);

    std::list<CDVBMultiplexDefinition*> m_definitions;
};
