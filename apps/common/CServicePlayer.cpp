#include "CServicePlayer.h"

#include "apps/common/CTeletextSubtitles.h"
#include "core/CDVBPIDReceiver.h"
#include "decode/CDVBAudioOutput.h"
#include "decode/CDVBDisplay.h"
#include "decode/CDVBFrameSnapshot.h"
#include "decode/CDVBMediaDecoder.h"
#include "decode/CDVBSubtitleDecoder.h"
#include "decode/CDVBSubtitleLayer.h"
#include "decode/CDVBTeletextReceiver.h"
#include "model/CDVBComponentDefinition.h"
#include "model/CDVBProgram.h"
#include "platform/CClock.h"
#include "platform/CSingleLock.h"
#include "plugins/CLUMAudioOutputPlugin.h"
#include "plugins/CLUMDecoderPlugin.h"
#include "plugins/CLUMDisplayPlugin.h"
#include "plugins/CLUMPluginManager.h"
#include "receiver/CDVBTransportStreamReceiver.h"

#include <cstring>

namespace {

bool IsOneOf(const char* codec, std::initializer_list<const char*> names)
{
    for (const char* name : names)
        if (codec && !std::strcmp(codec, name))
            return true;
    return false;
}

// The first element of one of `codecs`.
WORD FirstPid(CDVBTransportStreamReceiver& receiver, WORD service, bool& mapped, std::initializer_list<const char*> codecs)
{
    CSingleLock guard(*receiver.GetProgramsSection());
    const CDVBProgram* program = receiver.GetProgram(service);
    mapped = program != nullptr && program->m_receivedPMT;
    if (!mapped)
        return 0xFFFF;
    for (const CDVBProgramElement* element : program->m_elements)
        if (IsOneOf(element->GetCodecName(), codecs))
            return element->m_elementaryPid;
    return 0xFFFF;
}

}  // namespace

CServicePlayer::~CServicePlayer()
{
    Stop();
    if (m_ownOutput && m_output)
        m_outputPlugin->CloseAudioOutput(m_output);
}

WORD CServicePlayer::VideoPid(CDVBTransportStreamReceiver& receiver, WORD service, bool& mapped)
{
    return FirstPid(receiver, service, mapped, {"mpeg2video", "h264", "hevc"});
}

bool CServicePlayer::FindVideo(CDVBTransportStreamReceiver& receiver, WORD service, CDVBComponentDefinition& video)
{
    bool mapped = false;
    const WORD pid = VideoPid(receiver, service, mapped);
    return pid != 0xFFFF && receiver.GetComponentDefinition(service, pid, &video);
}

bool CServicePlayer::OpenOutput()
{
    if (m_options.audioOutput) {
        m_output = m_options.audioOutput;
        return true;
    }
    if (m_outputTried)
        return m_output != nullptr;
    m_outputTried = true;
    m_outputPlugin = static_cast<CLUMAudioOutputPlugin*>(
        CLUMPluginManager::GetPluginManager()->GetPluginWithType(CLUMPlugin::TypeAudioOutput, 0));
    if (m_outputPlugin == nullptr) {
        m_soundProblem = "no audio output plug-in is installed";
        return false;
    }
    m_output = m_outputPlugin->OpenAudioOutput(48000, 2);
    m_ownOutput = m_output != nullptr;
    if (m_output == nullptr)
        m_soundProblem = m_outputPlugin->GetLastOpenFailureText().Str();
    return m_ownOutput;
}

CDVBPIDReceiver* CServicePlayer::OpenDecoder(CDVBTransportStreamReceiver& receiver, WORD service, WORD pid)
{
    CDVBComponentDefinition component;
    if (pid == 0xFFFF || !receiver.GetComponentDefinition(service, pid, &component))
        return nullptr;
    CDVBPIDReceiver* decoder = m_decoderPlugin->OpenComponent(&component);
    if (decoder == nullptr)
        return nullptr;
    if (auto* media = dynamic_cast<CDVBMediaDecoder*>(decoder)) {
        media->SetDeinterlacing(m_options.deinterlace);
        media->SetPresentation(m_options.timed ? m_presentation.get() : nullptr, &m_statistics);
        if (media->IsAudio())
            media->SetAudioOutput(m_output);
    }
    decoder->SetProgramClock(&m_clock);
    if (m_display)
        decoder->SetDisplay(m_display);
    decoder->SetCookie(&m_cookie);
    receiver.AddPIDReceiver(component.m_pid, decoder);
    return decoder;
}

CServicePlayer::State CServicePlayer::Play(CDVBTransportStreamReceiver& receiver, WORD service)
{
    if (&receiver != m_receiver || service != m_service) {
        Stop();
        m_receiver = &receiver;
        m_service = service;
        m_state = State::Waiting;
        m_statistics.Restart(receiver.GetClock()->GetMonotonicTime());   // the moment it was asked for
        m_soundTrack = m_subtitleTrack = CDVBTrackList::Track();
        m_subtitlesShown = 0;
    }
    if (m_state != State::Waiting)
        return m_state;
    CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
    m_decoderPlugin = static_cast<CLUMDecoderPlugin*>(manager->GetPluginWithType(CLUMPlugin::TypeDecoder, 0));
    m_displayPlugin = static_cast<CLUMDisplayPlugin*>(manager->GetPluginWithType(CLUMPlugin::TypeDisplay, 0));
    if (m_decoderPlugin == nullptr || (m_options.video && m_displayPlugin == nullptr))
        return m_state = State::NoPlugins;
    bool mapped = false;
    const WORD videoPid = m_options.video ? VideoPid(receiver, service, mapped) : 0xFFFF;
    {
        CSingleLock guard(*receiver.GetProgramsSection());
        const CDVBProgram* program = receiver.GetProgram(service);
        mapped = program != nullptr && program->m_receivedPMT;
        if (!mapped)
            return m_state;
        m_tracks.Read(*program);
    }
    const CDVBTrackList::Track* sound =
        m_options.sound ? m_tracks.FindSound({m_options.soundLanguage}) : nullptr;
    const WORD soundPid = sound ? sound->pid : 0xFFFF;
    if (videoPid == 0xFFFF && soundPid == 0xFFFF)
        return m_state = State::NoVideo;
    m_clock.SetTransportStreamReceiver(&receiver);
    m_clock.SetProgram(service);
    m_presentation = std::make_unique<CDVBPresentationClock>(m_clock, *receiver.GetClock());
    m_cookie.Data1 = 0x56494557;   // "VIEW": how the decoders are found again
    if (videoPid != 0xFFFF) {
        m_display = m_displayPlugin->OpenDisplay(0, 0);
        if (m_display) {
            m_display->SetProgramClock(&m_clock);
            if (CDVBFrameSnapshot* snapshot = GetSnapshot()) {
                snapshot->SetOutputSize(m_pictureWidth, m_pictureHeight);
                snapshot->SetPixels(m_pixels);
                snapshot->SetFrameCallback(m_pictureShown);
            }
            if (m_options.layer)
                m_display->AddDisplayLayer(m_options.layer);
        }
        m_video = m_display ? OpenDecoder(receiver, service, videoPid) : nullptr;
        if (m_video == nullptr) {
            Stop();
            m_receiver = &receiver;
            m_service = service;
            return m_state = State::NoDecoder;
        }
    }
    if (sound && OpenOutput())
        ChooseSound(*sound);
    CDVBTrackList::Track subtitles;
    if (!m_options.subtitleLanguage.empty() && m_tracks.FindSubtitles(m_options.subtitleLanguage, subtitles))
        ChooseSubtitles(&subtitles);
    if (const CDVBTrackList::Track* teletext = m_tracks.FindTeletext()) {
        m_pages = std::make_unique<CTeletextPages>();
        m_pagesPid = teletext->pid;
        m_pagesCookie.Data1 = 0x50414745;   // "PAGE"
        auto* lines = new CDVBTeletextReceiver([pages = m_pages.get()](const CDVBTeletextLine* got, int count, long long time) {
            pages->Advance(time);
            pages->Decode(got, count);
        });
        lines->SetCookie(&m_pagesCookie);
        receiver.AddPIDReceiver(m_pagesPid, lines);
    }
    return m_state = m_video ? State::Playing : State::Radio;
}

bool CServicePlayer::ChooseSound(const CDVBTrackList::Track& track)
{
    if (m_receiver == nullptr || !track.IsSound() || (m_output == nullptr && !OpenOutput()))
        return false;
    if (m_sound) {
        CloseDecoder(m_sound);
        m_output->Flush();   // the other track is not heard on
    }
    m_soundTrack = track;
    m_sound = OpenDecoder(*m_receiver, m_service, track.pid);
    if (m_sound && dynamic_cast<CDVBMediaDecoder*>(m_sound)) {
        m_presentation->SetAudioOutput(m_output);   // pictures follow the sound
        m_soundProblem.clear();
        return true;
    }
    m_soundTrack = CDVBTrackList::Track();
    m_soundProblem = "the decoder plug-in cannot decode this service's sound";
    return false;
}

bool CServicePlayer::ChooseSubtitles(const CDVBTrackList::Track* track)
{
    CloseSubtitles();
    m_subtitleTrack = CDVBTrackList::Track();
    if (track == nullptr || m_receiver == nullptr || !track->IsSubtitles())
        return track == nullptr;
    if (track->kind == CDVBTrackList::Kind::TeletextSubtitles) {
        m_teletext = std::make_unique<CTeletextSubtitles>(track->page);
        CDVBPIDReceiver* receiver = m_teletext->MakeReceiver();
        m_teletextCookie.Data1 = 0x54455854;   // "TEXT"
        receiver->SetCookie(&m_teletextCookie);
        m_receiver->AddPIDReceiver(track->pid, receiver);
        m_subtitleLayer = &m_teletext->GetLayer();
    } else {
        CDVBComponentDefinition component;
        if (!m_receiver->GetComponentDefinition(m_service, track->pid, &component) ||
            (m_subtitles = m_decoderPlugin->OpenComponent(&component)) == nullptr)
            return false;
        auto* decoder = dynamic_cast<CDVBSubtitleDecoder*>(m_subtitles);
        if (decoder == nullptr) {
            m_decoderPlugin->CloseComponent(m_subtitles);
            m_subtitles = nullptr;
            return false;
        }
        decoder->SetPages(track->compositionPage, track->ancillaryPage);
        m_subtitles->SetCookie(&m_cookie);
        m_receiver->AddPIDReceiver(track->pid, m_subtitles);
        m_subtitleLayer = &decoder->GetLayer();
    }
    m_subtitleTrack = *track;
    return true;
}

void CServicePlayer::CloseSubtitles()
{
    if (m_subtitleLayer)
        m_subtitlesShown += m_subtitleLayer->GetReceived();
    m_subtitleLayer = nullptr;
    CloseDecoder(m_subtitles);
    if (m_teletext && m_receiver)
        delete m_receiver->RemovePIDReceiverWithCookie(m_subtitleTrack.pid, &m_teletextCookie);
    m_teletext.reset();
}

std::uint64_t CServicePlayer::GetSubtitleErrors() const
{
    if (auto* decoder = dynamic_cast<CDVBSubtitleDecoder*>(m_subtitles))
        return decoder->GetErrors();
    return m_teletext ? m_teletext->GetRefused() : 0;
}

std::uint64_t CServicePlayer::GetSubtitlesShown() const
{
    return m_subtitlesShown + (m_subtitleLayer ? m_subtitleLayer->GetReceived() : 0);
}

void CServicePlayer::CloseDecoder(CDVBPIDReceiver*& decoder)
{
    if (decoder == nullptr)
        return;
    m_receiver->RemovePIDReceiverWithCookie(decoder->GetPID(), &m_cookie);
    decoder->Stop();
    decoder->UnsetDisplay(m_display);
    m_decoderPlugin->CloseComponent(decoder);
    decoder = nullptr;
}

void CServicePlayer::Stop()
{
    CloseDecoder(m_video);
    CloseDecoder(m_sound);
    CloseSubtitles();
    if (m_pages && m_receiver)
        delete m_receiver->RemovePIDReceiverWithCookie(m_pagesPid, &m_pagesCookie);
    m_pages.reset();
    if (m_output)
        m_output->Flush();   // the sound of this service is not heard over the next
    if (m_display && m_options.layer)
        m_display->RemoveDisplayLayer(m_options.layer);
    if (m_display)
        m_displayPlugin->CloseDisplay(m_display);
    m_display = nullptr;
    m_presentation.reset();
    m_receiver = nullptr;
    m_service = 0xFFFF;
    m_state = State::Waiting;
}

CDVBFrameSnapshot* CServicePlayer::GetSnapshot()
{
    return dynamic_cast<CDVBFrameSnapshot*>(m_display);
}

void CServicePlayer::SetPictureSize(int width, int height, CDVBFrameSnapshot::Pixels pixels)
{
    m_pictureWidth = width;
    m_pictureHeight = height;
    m_pixels = pixels;
    if (CDVBFrameSnapshot* snapshot = GetSnapshot()) {
        snapshot->SetOutputSize(width, height);
        snapshot->SetPixels(pixels);
    }
}

void CServicePlayer::SetPictureCallback(std::function<void()> shown)
{
    m_pictureShown = std::move(shown);
    if (CDVBFrameSnapshot* snapshot = GetSnapshot())
        snapshot->SetFrameCallback(m_pictureShown);
}

void CServicePlayer::GetDescription(CString& video, CString& sound)
{
    video.Empty();
    sound.Empty();
    if (auto* media = dynamic_cast<CDVBMediaDecoder*>(m_video))
        media->GetDescription(video);
    if (auto* media = dynamic_cast<CDVBMediaDecoder*>(m_sound))
        media->GetDescription(sound);
}
