#pragma once
// What libLUMPulseAudioOutputBackend.so exports to the plug-in.
class CDVBAudioOutput;

// An open output, or null with `failure` (at least 256 bytes) saying why.
extern "C" CDVBAudioOutput* LUMPulseOpenOutput(int sampleRate, int channels, char* failure, int failureSize);
