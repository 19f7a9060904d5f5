#include "CServicePlayer.h"

#include "core/CDVBPIDReceiver.h"
#include "receiver/CDVBTransportStreamReceiver.h"
#include "decode/CDVBDisplay.h"
#include "decode/CDVBFrameSnapshot.h"
#include "model/CDVBComponentDefinition.h"
#include "model/CDVBProgram.h"
#include "platform/CSingleLock.h"
#include "plugins/CLUMDecoderPlugin.h"
#include "plugins/CLUMDisplayPlugin.h"
#include "plugins/CLUMPluginManager.h"

#include <cstring>

WORD CServicePlayer::VideoPid(CDVBTransportStreamReceiver& receiver, WORD service, bool& mapped)
{
    CSingleLock guard(*receiver.GetProgramsSection());
    const CDVBProgram* program = receiver.GetProgram(service);
    mapped = program != nullptr && program->m_receivedPMT;
    if (!mapped)
        return 0xFFFF;
    for (const CDVBProgramElement* element : program->m_elements) {
        const char* codec = element->GetCodecName();
        if (codec && (!std::strcmp(codec, "mpeg2video") || !std::strcmp(codec, "h264") || !std::strcmp(codec, "hevc")))
            return element->m_elementaryPid;
    }
    return 0xFFFF;
}

bool CServicePlayer::FindVideo(CDVBTransportStreamReceiver& receiver, WORD service, CDVBComponentDefinition& video)
{
    bool mapped = false;
    const WORD pid = VideoPid(receiver, service, mapped);
    return pid != 0xFFFF && receiver.GetComponentDefinition(service, pid, &video);
}

CServicePlayer::State CServicePlayer::Play(CDVBTransportStreamReceiver& receiver, WORD service)
{
    if (&receiver != m_receiver || service != m_service) {
        Stop();
        m_receiver = &receiver;
        m_service = service;
        m_state = State::Waiting;
    }
    if (m_state != State::Waiting)
        return m_state;
    CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
    m_decoderPlugin = static_cast<CLUMDecoderPlugin*>(manager->GetPluginWithType(CLUMPlugin::TypeDecoder, 0));
    m_displayPlugin = static_cast<CLUMDisplayPlugin*>(manager->GetPluginWithType(CLUMPlugin::TypeDisplay, 0));
    if (m_decoderPlugin == nullptr || m_displayPlugin == nullptr)
        return m_state = State::NoPlugins;
    bool mapped = false;
    const WORD pid = VideoPid(receiver, service, mapped);
    CDVBComponentDefinition video;
    if (pid == 0xFFFF || !receiver.GetComponentDefinition(service, pid, &video))
        return m_state = mapped ? State::NoVideo : State::Waiting;
    m_display = m_displayPlugin->OpenDisplay(0, 0);
    m_decoder = m_display ? m_decoderPlugin->OpenComponent(&video) : nullptr;
    if (m_decoder == nullptr) {
        Stop();
        m_receiver = &receiver;
        m_service = service;
        return m_state = State::NoDecoder;
    }
    m_clock.SetTransportStreamReceiver(&receiver);
    m_clock.SetProgram(service);
    m_decoder->SetProgramClock(&m_clock);
    m_display->SetProgramClock(&m_clock);
    m_decoder->SetDisplay(m_display);
    m_cookie.Data1 = 0x56494557;   // "VIEW": how the decoder is found again
    m_decoder->SetCookie(&m_cookie);
    receiver.AddPIDReceiver(video.m_pid, m_decoder);
    return m_state = State::Playing;
}

void CServicePlayer::Stop()
{
    if (m_decoder) {
        m_receiver->RemovePIDReceiverWithCookie(m_decoder->GetPID(), &m_cookie);
        m_decoder->Stop();
        m_decoder->UnsetDisplay(m_display);
        m_decoderPlugin->CloseComponent(m_decoder);
        m_decoder = nullptr;
    }
    if (m_display)
        m_displayPlugin->CloseDisplay(m_display);
    m_display = nullptr;
    m_receiver = nullptr;
    m_service = 0xFFFF;
    m_state = State::Waiting;
}

bool CServicePlayer::GetLatestFrame(std::vector<std::uint8_t>& rgb, int& width, int& height, long long& presentationTime)
{
    auto* snapshot = dynamic_cast<CDVBFrameSnapshot*>(m_display);
    return snapshot && snapshot->GetLatestFrame(rgb, width, height, presentationTime);
}
