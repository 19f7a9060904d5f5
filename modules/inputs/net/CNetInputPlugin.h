#pragma once
// The input plug-in of LUMNetInput.so: transport streams over UDP, RTP and HTTP. Its
// definitions name URLs (CNetMultiplexDefinition); a host also opens a URL a user types.
// HTTP goes through libcurl in libLUMNetInputBackend.so, loaded at the first HTTP stream.
#include "plugins/CLUMInputPlugin.h"
#include "plugins/CLUMInputPluginExtension.h"
#include "plugins/COpenedObjects.h"
#include "plugins/CPluginBackend.h"

class CNetInputPlugin : public CLUMInputPlugin, public CLUMInputPluginExtension
{
public:
    CNetInputPlugin();

    CString GetName() override { return "LUMNetInput"; }
    CString GetDescription() override { return "Receives transport streams over UDP, RTP and HTTP."; }

    // Null, with the reason kept, when the URL does not parse, the socket cannot be
    // opened or an HTTP server refuses or answers something else than a stream.
    CDVBTransportStreamSource* OpenMultiplex(CDVBMultiplexDefinition* definition) override;
    bool CloseMultiplex(CDVBTransportStreamSource* source) override;
    CDVBMultiplexDefinition* CreateMultiplexDefinition() override;
    // Name, URL and interface, checked as lumrx add checks them.
    bool ConfigureMultiplexDefinition(CDVBMultiplexDefinition* definition) override;

    // udp://, rtp://, http:// and https:// URLs.
    CDVBMultiplexDefinition* CreateDefinitionForLocation(const CString& location, bool realTime) override;
    int GetLastOpenFailure() override { return m_lastOpenFailure; }
    CString GetLastOpenFailureText() override { return m_lastOpenFailureText; }
    // Whether the URL parses; what is at the other end is known only once opened.
    int CheckMultiplexDefinition(CDVBMultiplexDefinition* definition, CString& problem) override;
    bool ScanFolder(const CString&) override { return false; }
    bool RemoveMultiplexDefinition(CDVBMultiplexDefinition* definition) override { return DeleteMultiplexDefinition(definition); }

private:
    CPluginBackend m_http;
    COpenedObjects<CDVBTransportStreamSource> m_open;
    int m_lastOpenFailure = OpenFailureNone;
    CString m_lastOpenFailureText;
};
