#include "CAVDecoderPlugin.h"

#include "AVDecoderBackend.h"
#include "core/CDVBPIDReceiver.h"
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
    CDVBPIDReceiver* decoder = component && create ? create(component->m_codecName) : nullptr;
    if (decoder) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_open.insert(decoder);
    }
    return decoder;
}

bool CAVDecoderPlugin::CloseComponent(CDVBPIDReceiver* receiver)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_open.erase(receiver) == 0)
            return false;
    }
    delete receiver;
    return true;
}
