#pragma once
// What libLUMAVDecoderBackend.so offers the LUMAVDecoder plug-in, which looks the functions
// up by name when it first needs them.
class CDVBPIDReceiver;

extern "C" {
// Whether libavcodec has a decoder for a codec named as ffprobe names it.
bool LUMAVIsSupported(const char* codecName);
// A decoder for that codec, deleted by whoever closes it; null when there is none.
CDVBPIDReceiver* LUMAVCreateDecoder(const char* codecName);
}
