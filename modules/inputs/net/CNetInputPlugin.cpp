#include "modules/inputs/net/CNetInputPlugin.h"

#include "modules/inputs/common/OpenedOrFailed.h"
#include "modules/inputs/net/CNetAddress.h"
#include "modules/inputs/net/CNetInputSource.h"
#include "modules/inputs/net/CNetMultiplexDefinition.h"
#include "plugins/CDefinitionEditorBehaviour.h"

namespace {

void Anchor() {}   // an address in this library: the backend is beside it

}  // namespace

// libcurl and the TLS libraries under it stay once loaded: they are not made to be unloaded.
CNetInputPlugin::CNetInputPlugin() : m_http("libLUMNetInputBackend.so", reinterpret_cast<const void*>(&Anchor), true) {}

CDVBTransportStreamSource* CNetInputPlugin::OpenMultiplex(CDVBMultiplexDefinition* definition)
{
    m_lastOpenFailure = OpenFailureUnreadable;
    auto* net = dynamic_cast<CNetMultiplexDefinition*>(definition);
    if (net == nullptr)
        return nullptr;
    return m_open.Keep(OpenedOrFailed(new CNetInputSource(net->m_url.Str(), net->m_interface.Str(), &m_http), m_lastOpenFailure,
                                      m_lastOpenFailureText));
}

int CNetInputPlugin::CheckMultiplexDefinition(CDVBMultiplexDefinition* definition, CString& problem)
{
    auto* net = dynamic_cast<CNetMultiplexDefinition*>(definition);
    if (net == nullptr) {
        problem = "not a definition of a network stream";
        return OpenFailureInvalid;
    }
    if (!CNetAddress().Parse(net->m_url.Str())) {
        problem = "the URL \"" + net->m_url + "\" does not parse: udp://[source@]address:port, rtp://..., http://... or https://...";
        return OpenFailureInvalid;
    }
    return OpenFailureNone;
}

bool CNetInputPlugin::CloseMultiplex(CDVBTransportStreamSource* source)
{
    return m_open.Delete(source);
}

CDVBMultiplexDefinition* CNetInputPlugin::CreateMultiplexDefinition()
{
    return new CNetMultiplexDefinition;
}

bool CNetInputPlugin::ConfigureMultiplexDefinition(CDVBMultiplexDefinition* definition)
{
    using Kind = CDefinitionEditorBehaviour::Kind;
    CDefinitionEditorBehaviour editor(this, definition);
    editor.AddField(0, Kind::Text);
    editor.AddField(1, Kind::Text, "udp://[source@]address:port, rtp://..., http://... or https://...");
    editor.AddField(2, Kind::Text, "optional: the network interface a multicast group is joined on");
    return editor.Run();
}

CDVBMultiplexDefinition* CNetInputPlugin::CreateDefinitionForLocation(const CString& location, bool)
{
    for (const char* scheme : {"udp://", "rtp://", "http://", "https://"}) {
        if (location.Left(int(std::char_traits<char>::length(scheme))) != scheme)
            continue;
        auto* definition = new CNetMultiplexDefinition;
        definition->m_name = location;
        definition->m_url = location;
        return definition;
    }
    return nullptr;
}
