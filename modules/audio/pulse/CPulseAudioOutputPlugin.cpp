#include "CPulseAudioOutputPlugin.h"

#include "PulseAudioBackend.h"

namespace {

void Anchor() {}   // an address in this library: the backend is beside it

}  // namespace

CPulseAudioOutputPlugin::CPulseAudioOutputPlugin()
    : m_backend("libLUMPulseAudioOutputBackend.so", reinterpret_cast<const void*>(&Anchor), true)
{
}

CDVBAudioOutput* CPulseAudioOutputPlugin::OpenAudioOutput(int sampleRate, int channels)
{
    char failure[256] = "";
    auto* open = m_backend.Get<decltype(LUMPulseOpenOutput)>("LUMPulseOpenOutput");
    CDVBAudioOutput* output = open ? open(sampleRate, channels, failure, int(sizeof failure)) : nullptr;
    std::lock_guard<std::mutex> guard(m_lock);
    m_failure = open ? failure : "libpulse cannot be loaded: ";
    if (!open)
        m_failure += m_backend.GetError();
    return m_open.Keep(output);
}

bool CPulseAudioOutputPlugin::CloseAudioOutput(CDVBAudioOutput* output)
{
    return m_open.Delete(output);
}

CString CPulseAudioOutputPlugin::GetLastOpenFailureText()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_failure;
}
