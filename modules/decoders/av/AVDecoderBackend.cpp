#include "AVDecoderBackend.h"

#include "CAVDecoder.h"

extern "C" {

__attribute__((visibility("default"))) bool LUMAVIsSupported(const char* codecName)
{
    return codecName != nullptr && CAVDecoder::CodecIdFor(codecName) != 0;
}

__attribute__((visibility("default"))) CDVBPIDReceiver* LUMAVCreateDecoder(const char* codecName)
{
    return LUMAVIsSupported(codecName) ? new CAVDecoder(codecName) : nullptr;
}
}
