#include "inputs/net/CNetInputPlugin.h"

#include "inputs/file/OpenedOrFailed.h"
#include "inputs/net/CNetInputSource.h"
#include "inputs/net/CNetMultiplexDefinition.h"

CDVBTransportStreamSource* CNetInputPlugin::OpenMultiplex(CDVBMultiplexDefinition* definition)
{
    m_lastOpenFailure = OpenFailureUnreadable;
    auto* net = dynamic_cast<CNetMultiplexDefinition*>(definition);
    if (net == nullptr)
        return nullptr;
    return OpenedOrFailed(new CNetInputSource(net->m_url.Str(), net->m_interface.Str()), m_lastOpenFailure,
                          m_lastOpenFailureText);
}

bool CNetInputPlugin::CloseMultiplex(CDVBTransportStreamSource* source)
{
    auto* net = dynamic_cast<CNetInputSource*>(source);
    delete net;
    return net != nullptr;
}

CDVBMultiplexDefinition* CNetInputPlugin::CreateMultiplexDefinition()
{
    return new CNetMultiplexDefinition;
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
