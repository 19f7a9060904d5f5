#include "PulseAudioBackend.h"

#include "CPulseAudioOutput.h"

#include <cstdio>
#include <memory>

extern "C" __attribute__((visibility("default"))) CDVBAudioOutput* LUMPulseOpenOutput(int sampleRate, int channels,
                                                                                      char* failure, int failureSize)
{
    auto output = std::make_unique<CPulseAudioOutput>();
    if (output->Open(sampleRate, channels))
        return output.release();
    std::snprintf(failure, std::size_t(failureSize), "%s", output->GetFailure().c_str());
    return nullptr;
}
