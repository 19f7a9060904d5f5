#pragma once
// The audio output plug-in of LUMPulseAudioOutput.so. Its outputs live in
// libLUMPulseAudioOutputBackend.so (with libpulse), loaded when the first is opened.
#include "decode/CDVBAudioOutput.h"
#include "plugins/CLUMAudioOutputPlugin.h"
#include "plugins/COpenedObjects.h"
#include "plugins/CPluginBackend.h"

#include <mutex>

class CPulseAudioOutputPlugin : public CLUMAudioOutputPlugin
{
public:
    CPulseAudioOutputPlugin();

    CString GetName() override { return "LUMPulseAudioOutput"; }
    CString GetDescription() override { return "Plays sound through PulseAudio or PipeWire."; }
    CDVBAudioOutput* OpenAudioOutput(int sampleRate, int channels) override;
    bool CloseAudioOutput(CDVBAudioOutput* output) override;
    CString GetLastOpenFailureText() override;

private:
    CPluginBackend m_backend;
    COpenedObjects<CDVBAudioOutput> m_open;
    std::mutex m_lock;
    CString m_failure;
};
