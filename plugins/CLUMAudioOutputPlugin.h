#pragma once
// A plug-in that opens audio outputs for decoders to deliver sound to.
#include "plugins/CLUMPlugin.h"

class CDVBAudioOutput;

class CLUMAudioOutputPlugin : public CLUMPlugin
{
public:
    int GetType() override { return TypeAudioOutput; }
    // An output for sound decoded at `sampleRate` with `channels`; it may play another rate
    // or fewer channels (a stereo device for 5.1), which it tells. Null when there is no
    // sound to be had, GetLastOpenFailureText saying why ("no sound server").
    virtual CDVBAudioOutput* OpenAudioOutput(int /*sampleRate*/, int /*channels*/) { return nullptr; }
    virtual bool CloseAudioOutput(CDVBAudioOutput*) { return false; }
    virtual CString GetLastOpenFailureText() { return CString(); }
};
