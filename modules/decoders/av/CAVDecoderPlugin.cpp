#include "CAVDecoderPlugin.h"

#include "AVDecoderBackend.h"
#include "model/CDVBComponentDefinition.h"

namespace {

void Anchor() {}   // an address in this library: the backend is beside it

}  // namespace

CAVDecoderPlugin::CAVDecoderPlugin()
    : m_backend("libLUMAVDecoderBackend.so", reinterpret_cast<const void*>(&Anchor), true)
{
}

bool CAVDecoderPlugin::SupportsComponent(CDVBComponentDefinition* component)
{
    auto* supported = m_backend.Get<decltype(LUMAVIsSupported)>("LUMAVIsSupported");
    return component != nullptr && supported && supported(component->m_codecName);
}

CDVBPIDReceiver* CAVDecoderPlugin::OpenComponent(CDVBComponentDefinition* component)
{
    auto* create = m_backend.Get<decltype(LUMAVCreateDecoder)>("LUMAVCreateDecoder");
    return m_open.Keep(component && create ? create(component->m_codecName) : nullptr);
}

bool CAVDecoderPlugin::CloseComponent(CDVBPIDReceiver* receiver)
{
    return m_open.Delete(receiver);
}
