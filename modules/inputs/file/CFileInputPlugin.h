#pragma once
// The input plug-in of LUMFileInput.so: plays transport stream files. Its definitions
// name files (CFileMultiplexDefinition); a scan adds one for every .ts file of a folder.
#include "plugins/CLUMInputPlugin.h"
#include "plugins/CLUMInputPluginExtension.h"
#include "plugins/COpenedObjects.h"

class CFileInputPlugin : public CLUMInputPlugin, public CLUMInputPluginExtension
{
public:
    CString GetName() override { return "LUMFileInput"; }
    CString GetDescription() override { return "Plays MPEG-2 transport stream files (.ts, .m2ts)."; }

    // Null when the file cannot be read or holds no transport packets.
    CDVBTransportStreamSource* OpenMultiplex(CDVBMultiplexDefinition* definition) override;
    bool CloseMultiplex(CDVBTransportStreamSource* source) override;
    CDVBMultiplexDefinition* CreateMultiplexDefinition() override;
    // Adds a definition for every .ts or .m2ts file of the scan folder that none names yet.
    bool ScanForMultiplexDefinitions() override;
    // Name, file (with a chooser), pacing and looping, checked as lumrx add checks them.
    bool ConfigureMultiplexDefinition(CDVBMultiplexDefinition* definition) override;

    // The folder a scan looks in; the current directory until set.
    void SetScanFolder(const CString& folder) { m_scanFolder = folder; }

    // A definition of a readable file, played in real time by its PCR or as fast as read.
    CDVBMultiplexDefinition* CreateDefinitionForLocation(const CString& location, bool realTime) override;
    int GetLastOpenFailure() override { return m_lastOpenFailure; }
    // The file exists, can be read and holds transport packets.
    int CheckMultiplexDefinition(CDVBMultiplexDefinition* definition, CString& problem) override;
    bool ScanFolder(const CString& folder) override;
    bool RemoveMultiplexDefinition(CDVBMultiplexDefinition* definition) override { return DeleteMultiplexDefinition(definition); }
    // A definition's path made absolute: relative paths start at the definitions file's
    // folder.
    CString ResolvePath(const CString& path);

private:
    CString m_scanFolder;
    COpenedObjects<CDVBTransportStreamSource> m_open;
    int m_lastOpenFailure = OpenFailureNone;
};
