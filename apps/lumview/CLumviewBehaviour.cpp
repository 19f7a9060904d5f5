#include "CLumviewBehaviour.h"

#include "CLumviewSettings.h"
#include "apps/common/CGuideReceiver.h"
#include "apps/common/CPlaybackReport.h"
#include "apps/common/CServiceReport.h"

#include "core/CDVBFiniteSource.h"
#include "core/CDVBTransportStreamSource.h"
#include "decode/CDVBAudioOutput.h"
#include "plugins/CDVBMultiplexDefinition.h"
#include "plugins/CLUMInputPlugin.h"
#include "plugins/CLUMInputPluginExtension.h"
#include "plugins/CLUMPluginManager.h"
#include "si/CDVBText.h"

#include <algorithm>
#include <cstdlib>
#include <iomanip>
#include <locale>
#include <sstream>

namespace {

constexpr int kQuietRefreshes = 6;   // three seconds without data: say so

std::string EventText(const std::optional<CServiceReport::Event>& event)
{
    if (!event)
        return std::string();
    const std::string start = event->start.size() > 11 ? event->start.substr(11, 5) : std::string();   // HH:MM of the ISO time
    return start.empty() ? event->title : start + "  " + event->title;
}

// "2.41 Mbit/s" whatever the user's locale
std::string Megabits(double bitsPerSecond)
{
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << std::fixed << std::setprecision(2) << bitsPerSecond / 1e6 << " Mbit/s";
    return text.str();
}

}  // namespace

CLumviewBehaviour::CLumviewBehaviour(CLumviewSettings& settings) : m_settings(settings)
{
    const std::string volume = m_settings.GetSetting("volume");
    if (!volume.empty())
        m_state.volume = std::clamp(std::atoi(volume.c_str()), 0, 100);
    m_state.muted = m_settings.GetSetting("muted") == "true";
    CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
    for (int i = 0; CLUMPlugin* plugin = manager->GetPluginWithType(CLUMPlugin::TypeInput, i); ++i)
        m_state.inputs.push_back(plugin->GetName().Str());
    m_state.input = m_state.inputs.empty() ? -1 : 0;
    FillMultiplexes();
}

CLumviewBehaviour::~CLumviewBehaviour()
{
    Close();
}

CLUMInputPlugin* CLumviewBehaviour::CurrentPlugin() const
{
    return static_cast<CLUMInputPlugin*>(
        CLUMPluginManager::GetPluginManager()->GetPluginWithType(CLUMPlugin::TypeInput, m_state.input));
}

void CLumviewBehaviour::FillMultiplexes()
{
    m_state.multiplexes.clear();
    if (CLUMInputPlugin* plugin = CurrentPlugin())
        for (int i = 0; i < plugin->GetMultiplexDefinitionCount(); ++i)
            m_state.multiplexes.push_back(plugin->GetMultiplexDefinitionAtIndex(i)->GetName().Str());
    m_state.multiplex = m_state.multiplexes.empty() ? -1 : 0;
}

void CLumviewBehaviour::OpenSelected()
{
    CLUMInputPlugin* plugin = CurrentPlugin();
    if (plugin && m_state.multiplex >= 0)
        Open(plugin, plugin->GetMultiplexDefinitionAtIndex(m_state.multiplex));
}

void CLumviewBehaviour::OpenRemembered()
{
    const auto& inputs = m_state.inputs;
    const auto input = std::find(inputs.begin(), inputs.end(), m_settings.GetSetting("input"));
    if (input != inputs.end()) {
        m_state.input = int(input - inputs.begin());
        FillMultiplexes();
    }
    const auto& multiplexes = m_state.multiplexes;
    const auto multiplex = std::find(multiplexes.begin(), multiplexes.end(), m_settings.GetSetting("multiplex"));
    if (multiplex != multiplexes.end())
        m_state.multiplex = int(multiplex - multiplexes.begin());
    OpenSelected();
}

void CLumviewBehaviour::ChooseInput(int index)
{
    m_state.input = index;
    FillMultiplexes();
    OpenSelected();
}

void CLumviewBehaviour::ChooseMultiplex(int index)
{
    m_state.multiplex = index;
    OpenSelected();
}

void CLumviewBehaviour::ChooseService(int row)
{
    m_state.service = row >= 0 && row < int(m_state.services.size()) ? row : -1;
    Play();
    RefreshGuide();
}

void CLumviewBehaviour::NextService(int step)
{
    const int rows = int(m_state.services.size());
    if (rows > 0)
        ChooseService(((std::max(m_state.service, 0) + step) % rows + rows) % rows);
}

void CLumviewBehaviour::SetVolume(int percent)
{
    m_state.volume = std::clamp(percent, 0, 100);
    m_state.muted = false;   // turning it up is meant to be heard
    m_settings.SetSetting("volume", std::to_string(m_state.volume));
    m_settings.SetSetting("muted", "false");
    ApplyVolume();
}

void CLumviewBehaviour::ToggleMute()
{
    m_state.muted = !m_state.muted;
    m_settings.SetSetting("muted", m_state.muted ? "true" : "false");
    ApplyVolume();
}

void CLumviewBehaviour::ApplyVolume()
{
    m_volumeSet = m_player.GetAudioOutput();
    if (m_volumeSet) {
        m_volumeSet->SetVolume(m_state.volume / 100.0);
        m_volumeSet->SetMute(m_state.muted);
    }
}

void CLumviewBehaviour::ToggleFullScreen()
{
    m_state.fullScreen = !m_state.fullScreen;
}

void CLumviewBehaviour::LeaveFullScreen()
{
    m_state.fullScreen = false;
}

void CLumviewBehaviour::Configure()
{
    if (CLUMInputPlugin* plugin = CurrentPlugin(); plugin && plugin->ConfigureMultiplexDefinitions()) {
        Close();
        FillMultiplexes();
        OpenSelected();
    }
}

void CLumviewBehaviour::TestMultiplex()
{
    CLUMInputPlugin* plugin = CurrentPlugin();
    if (plugin && m_state.multiplex >= 0)
        plugin->TestMultiplexDefinition(plugin->GetMultiplexDefinitionAtIndex(m_state.multiplex));
}

bool CLumviewBehaviour::Open(CLUMInputPlugin* plugin, CDVBMultiplexDefinition* definition)
{
    Close();
    m_name = definition->GetName().Str();
    const std::string& name = m_name;
    m_source = plugin->OpenMultiplex(definition);
    if (m_source == nullptr) {
        auto* extension = dynamic_cast<CLUMInputPluginExtension*>(plugin);
        const std::string why = extension ? extension->GetLastOpenFailureText().Str() : std::string();
        m_state.message = name + " could not be opened" + (why.empty() ? "." : ": " + why);
        return false;
    }
    m_plugin = plugin;
    // the service watched last in this multiplex is chosen again when it comes
    const std::string remembered = m_settings.GetSetting("service");
    m_wantedService = m_settings.GetSetting("multiplex") == name && !remembered.empty() ? std::atoi(remembered.c_str()) : -1;
    m_receiver = std::make_unique<CGuideReceiver>(m_source, nullptr);
    m_receiver->Initialise();
    m_receiver->Start();
    m_quietRefreshes = 0;
    m_state.message.clear();
    m_state.title = name + " - lumview";
    m_state.receiving = true;
    m_settings.SetSetting("input", plugin->GetName().Str());
    m_settings.SetSetting("multiplex", name);
    return true;
}

void CLumviewBehaviour::Close()
{
    m_state.receiving = false;
    m_player.Stop();   // the decoder goes before its receiver
    if (m_receiver) {
        m_receiver->Stop();
        m_receiver->WaitForStop(1000);
        m_receiver->DeInitialise();
        m_receiver.reset();
    }
    if (m_source)
        m_plugin->CloseMultiplex(m_source);
    m_source = nullptr;
    m_state.services.clear();
    m_state.service = -1;
    m_state.guide.clear();
    ++m_state.guideChanges;
    m_guideShown.clear();
    m_guideSeen = {~std::uint64_t(0), -1};   // a new receiver counts its revisions afresh
    m_state.videoText.clear();
    ClearPicture();
    m_state.status.clear();
}

void CLumviewBehaviour::OnRefresh()
{
    if (!m_receiver)
        return;
    CServiceReport report;
    report.Take(*m_receiver);
    m_state.services.clear();
    for (const CServiceReport::Service& service : report.Services())
        m_state.services.push_back({service.id, service.transportStreamId,
                                    service.name.empty() ? "Service " + std::to_string(service.id) : service.name,
                                    EventText(service.now), EventText(service.next)});
    // rows are kept by their place, as a list keeps its current row
    const int rows = int(m_state.services.size());
    m_state.service = std::min(m_state.service, rows - 1);
    if (m_state.service < 0 && rows > 0) {   // plays it
        const auto wanted = std::find_if(m_state.services.begin(), m_state.services.end(),
                                         [this](const CLumviewState::Service& s) { return s.id == m_wantedService; });
        m_state.service = wanted != m_state.services.end() ? int(wanted - m_state.services.begin()) : 0;
    }
    Play();   // again until its program map has come
    RefreshGuide();

    CString sourceStatus;
    m_source->GetStatus(sourceStatus);
    const bool receiving = m_receiver->IsDataBeingReceived();
    m_quietRefreshes = receiving ? 0 : m_quietRefreshes + 1;
    auto* finite = dynamic_cast<CDVBFiniteSource*>(m_source);
    const std::string& name = m_name;
    if (finite && finite->HasEnded())   // a file played once is silent because it is over
        m_state.message = name + " has been played to its end.";
    else if (m_quietRefreshes >= kQuietRefreshes)
        m_state.message = "Nothing is being received from " + name + ".";
    else if (receiving)
        m_state.message.clear();
    m_state.status = DescribePlaying() + Megabits(m_receiver->GetBitrate()) +
                     (sourceStatus.IsEmpty() ? "" : "  —  " + sourceStatus.Str());
}

// "H.264 1920x1080i 25 fps  ·  E-AC-3 48 kHz 5.1(side)  ·  3 dropped  ·  ", empty before
// anything is decoded
std::string CLumviewBehaviour::DescribePlaying()
{
    CString video, sound;
    m_player.GetDescription(video, sound);
    std::string text;
    if (!video.IsEmpty())
        text += video.Str() + "  ·  ";
    if (!sound.IsEmpty())
        text += sound.Str() + (m_state.muted ? " (muted)" : "") + "  ·  ";
    else if (!m_player.GetSoundProblem().empty())
        text += "no sound: " + m_player.GetSoundProblem() + "  ·  ";
    if (!video.IsEmpty())
        text += std::to_string(m_player.GetStatistics().Get().dropped) + " dropped  ·  ";
    return text;
}

bool CLumviewBehaviour::WriteStatistics(const std::string& path) const
{
    return CPlaybackReport::Write(path, m_player);
}

void CLumviewBehaviour::Play()
{
    if (!m_receiver || m_state.service < 0)
        return;
    const CLumviewState::Service& chosen = m_state.services[std::size_t(m_state.service)];
    const WORD service = WORD(chosen.id);
    if (service != m_player.GetService()) {
        ClearPicture();
        m_settings.SetSetting("service", std::to_string(service));
    }
    const CServicePlayer::State state = m_player.Play(*m_receiver, service);
    if (m_player.GetAudioOutput() != m_volumeSet)
        ApplyVolume();   // the output opened with the first sound
    switch (state) {
    case CServicePlayer::State::Waiting:
    case CServicePlayer::State::Playing:
        m_state.videoText = "Waiting for the service's picture...";
        break;
    case CServicePlayer::State::Radio:
        m_state.videoText = chosen.name + "\n\n" + (chosen.now.empty() ? "" : "Now:  " + chosen.now + "\n") +
                            (chosen.next.empty() ? "" : "Next:  " + chosen.next);
        break;
    case CServicePlayer::State::NoVideo:
        m_state.videoText = "This service has no picture.";
        break;
    case CServicePlayer::State::NoPlugins:
        m_state.videoText = "No decoder or display plug-in is installed.";
        break;
    case CServicePlayer::State::NoDecoder:
        m_state.videoText = "The decoder plug-in cannot decode this service's video.";
        break;
    }
}

void CLumviewBehaviour::SetPictureSize(int width, int height)
{
    m_player.SetPictureSize(width, height, CDVBFrameSnapshot::Pixels::XRGB32);
}

void CLumviewBehaviour::SetPictureWake(std::function<void()> wake)
{
    m_player.SetPictureCallback(std::move(wake));
}

void CLumviewBehaviour::OnPicture()
{
    int width = 0, height = 0;
    long long time = -1;
    CDVBFrameSnapshot* snapshot = m_player.GetSnapshot();
    // taken into the buffer no longer shown: the view draws from m_state.rgb until it has the next
    if (snapshot == nullptr || !snapshot->TakeLatestFrame(m_frame, width, height, time))
        return;
    m_state.rgb.swap(m_frame);
    m_state.width = width;
    m_state.height = height;
    m_state.pictureTime = time;
    ++m_state.pictureChanges;
}

void CLumviewBehaviour::ClearPicture()
{
    m_state.rgb.clear();
    m_state.width = m_state.height = 0;
    m_state.pictureTime = -1;
    ++m_state.pictureChanges;
}

void CLumviewBehaviour::RefreshGuide()
{
    const int row = m_state.service;
    const CLumviewState::Service* current = row >= 0 ? &m_state.services[std::size_t(row)] : nullptr;
    const std::pair<std::uint64_t, int> seen{m_receiver ? m_receiver->Guide().GetRevision() : 0, current ? current->id : -1};
    if (seen == m_guideSeen && m_receiver)
        return;   // nothing new for this service: the store is not copied
    m_guideSeen = seen;
    std::vector<CDVBGuideStore::Event> events;
    if (m_receiver && current) {
        for (CDVBGuideStore::Event& event : m_receiver->Guide().GetEvents())
            if (std::get<2>(event.service) == current->id &&
                (current->transportStreamId == 0xFFFF || std::get<1>(event.service) == current->transportStreamId))
                events.push_back(std::move(event));
    }
    std::vector<std::tuple<WORD, std::int64_t, DWORD>> shown;
    for (const auto& event : events)
        shown.emplace_back(event.eventId, event.start, event.duration);
    if (shown == m_guideShown)
        return;   // as it is: the reader's place in the list is kept
    m_guideShown = std::move(shown);
    m_state.guide.clear();
    for (const auto& event : events)
        m_state.guide.push_back({event.start, event.duration, CDVBText::ToUTF8(event.title),
                                 CDVBText::ToUTF8(event.shortText.IsEmpty() ? event.extendedText : event.shortText),
                                 CDVBText::ToUTF8(event.extendedText.IsEmpty() ? event.shortText : event.extendedText)});
    ++m_state.guideChanges;
}
