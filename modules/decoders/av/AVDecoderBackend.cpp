#include "AVDecoderBackend.h"

#include "CAVDecoder.h"
#include "CAVSubtitleDecoder.h"

#include <cstring>

extern "C" {

__attribute__((visibility("default"))) bool LUMAVIsSupported(const char* codecName)
{
    return codecName != nullptr && (CAVDecoder::CodecIdFor(codecName) != 0 || !std::strcmp(codecName, "dvb_subtitle"));
}

__attribute__((visibility("default"))) CDVBPIDReceiver* LUMAVCreateDecoder(const char* codecName)
{
    if (codecName != nullptr && !std::strcmp(codecName, "dvb_subtitle"))
        return new CAVSubtitleDecoder;
    return LUMAVIsSupported(codecName) ? new CAVDecoder(codecName) : nullptr;
}
}
