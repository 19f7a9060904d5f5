#include "CAVDecoderPlugin.h"

#include "CAVDecoder.h"
#include "model/CDVBComponentDefinition.h"

bool CAVDecoderPlugin::SupportsComponent(CDVBComponentDefinition* component)
{
    return component != nullptr && CAVDecoder::CodecIdFor(component->m_codecName) != 0;
}

CDVBPIDReceiver* CAVDecoderPlugin::OpenComponent(CDVBComponentDefinition* component)
{
    return SupportsComponent(component) ? new CAVDecoder(component->m_codecName) : nullptr;
}

bool CAVDecoderPlugin::CloseComponent(CDVBPIDReceiver* receiver)
{
    auto* decoder = dynamic_cast<CAVDecoder*>(receiver);
    delete decoder;
    return decoder != nullptr;
}
