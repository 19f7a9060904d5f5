#include "CLumviewBehaviour.h"

#include "CLumviewSettings.h"
#include "apps/common/CDesktopLanguages.h"
#include "apps/common/CGuideReceiver.h"
#include "apps/common/CPlaybackReport.h"
#include "apps/common/CServiceReport.h"

#include "core/CDVBFiniteSource.h"
#include "core/CDVBRecoveringSource.h"
#include "core/CDVBTransportStreamSource.h"
#include "decode/CDVBAudioOutput.h"
#include "decode/CDVBSubtitleLayer.h"
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
    // the location given on the command line, listed last, is open already
    if (plugin && m_state.multiplex >= 0 && m_state.multiplex < plugin->GetMultiplexDefinitionCount())
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
    m_analyser.Reset();
    m_receiver->SetStreamAnalyser(&m_analyser);
    m_receiver->Initialise();
    m_receiver->Start();
    m_quietRefreshes = 0;
    m_state.message.clear();
    m_state.title = name + " - lumview";
    m_state.receiving = true;
    m_settings.SetSetting("input", plugin->GetName().Str());
    m_settings.SetSetting("multiplex", name);
    ShowInPickers(plugin, definition);
    return true;
}

// The pickers say what plays, a file or address given on the command line too, which no
// plug-in keeps: it is listed last, for this run.
void CLumviewBehaviour::ShowInPickers(CLUMInputPlugin* plugin, CDVBMultiplexDefinition* definition)
{
    const auto input = std::find(m_state.inputs.begin(), m_state.inputs.end(), plugin->GetName().Str());
    if (input == m_state.inputs.end())
        return;
    m_state.input = int(input - m_state.inputs.begin());
    FillMultiplexes();
    for (int i = 0; i < plugin->GetMultiplexDefinitionCount(); ++i)
        if (plugin->GetMultiplexDefinitionAtIndex(i) == definition) {
            m_state.multiplex = i;
            return;
        }
    m_state.multiplexes.push_back(definition->GetName().Str());
    m_state.multiplex = int(m_state.multiplexes.size()) - 1;
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
    const int playing = m_state.service >= 0 ? m_state.services[std::size_t(m_state.service)].id : -1;
    m_state.services.clear();
    for (const CServiceReport::Service& service : report.Services()) {
        std::string number;
        if (service.lcn)
            number = std::to_string(*service.lcn) + (service.visible ? "" : " (hidden)");
        m_state.services.push_back({service.id, service.transportStreamId,
                                    service.name.empty() ? "Service " + std::to_string(service.id) : service.name,
                                    number, EventText(service.now), EventText(service.next)});
    }
    // the service played keeps playing when channel numbers reorder the list; one that went
    // leaves its row to the next, as a list keeps its current row
    const int rows = int(m_state.services.size());
    const auto same = std::find_if(m_state.services.begin(), m_state.services.end(),
                                   [playing](const CLumviewState::Service& s) { return s.id == playing; });
    m_state.service = same != m_state.services.end() ? int(same - m_state.services.begin()) : std::min(m_state.service, rows - 1);
    if (m_state.service < 0 && rows > 0) {   // plays it
        const auto wanted = std::find_if(m_state.services.begin(), m_state.services.end(),
                                         [this](const CLumviewState::Service& s) { return s.id == m_wantedService; });
        m_state.service = wanted != m_state.services.end() ? int(wanted - m_state.services.begin()) : 0;
    }
    Play();   // again until its program map has come
    RefreshGuide();
    RefreshTeletext();

    CString sourceStatus;
    m_source->GetStatus(sourceStatus);
    const bool receiving = m_receiver->IsDataBeingReceived();
    m_quietRefreshes = receiving ? 0 : m_quietRefreshes + 1;
    auto* finite = dynamic_cast<CDVBFiniteSource*>(m_source);
    const std::string& name = m_name;
    const auto* recovering = dynamic_cast<const CDVBRecoveringSource*>(m_source);
    if (finite && finite->HasEnded())   // a file played once is silent because it is over
        m_state.message = name + " has been played to its end.";
    else if (recovering && recovering->IsRecovering())
        m_state.message = "reception lost, retuning...";
    else if (m_quietRefreshes >= kQuietRefreshes)
        m_state.message = "Nothing is being received from " + name + ".";
    else if (receiving || recovering)
        m_state.message.clear();
    const std::uint64_t gaps = m_analyser.GetCount(CDVBStreamAnalysis::ContinuityCountError);
    // the stream's own state before the source's, which is long and may be cut
    m_state.status = DescribePlaying() + Megabits(m_receiver->GetBitrate()) + "  ·  " + std::to_string(gaps) +
                     (gaps == 1 ? " continuity error  ·  " : " continuity errors  ·  ") +
                     m_analyser.GetAnalysis().FirstPriorityState() +
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
        m_tracksService = -1;
        m_state.soundTracks.clear();
        m_state.subtitleTracks.clear();
        m_state.soundTrack = m_state.subtitleTrack = -1;
        m_teletextSeen = -1;
    }
    const CServicePlayer::State state = m_player.Play(*m_receiver, service);
    if ((state == CServicePlayer::State::Playing || state == CServicePlayer::State::Radio) && m_tracksService != service)
        ReadTracks();
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
    CDVBSubtitleLayer* subtitles = m_player.GetSubtitleLayer();
    m_state.subtitle = subtitles ? subtitles->GetShown(time) : nullptr;
    ++m_state.pictureChanges;
}

void CLumviewBehaviour::ClearPicture()
{
    m_state.rgb.clear();
    m_state.width = m_state.height = 0;
    m_state.pictureTime = -1;
    m_state.subtitle.reset();
    ++m_state.pictureChanges;
}

std::string CLumviewBehaviour::TrackKey(const char* kind) const
{
    return "tracks/" + std::to_string(m_tracksService) + "/" + kind;
}

// The tracks remembered for the service, else those in the desktop's languages: its sound,
// and subtitles only where the sound is not in one of them.
void CLumviewBehaviour::ReadTracks()
{
    m_tracksService = m_player.GetService();
    m_sounds.clear();
    m_subtitles.clear();
    for (const CDVBTrackList::Track& track : m_player.GetTracks().GetTracks()) {
        if (track.IsSound())
            m_sounds.push_back(track);
        else if (track.IsSubtitles())
            m_subtitles.push_back(track);
    }
    m_state.soundTracks.clear();
    m_state.subtitleTracks.clear();
    for (const auto& track : m_sounds)
        m_state.soundTracks.push_back(track.Describe());
    for (const auto& track : m_subtitles)
        m_state.subtitleTracks.push_back(track.Describe());
    const std::vector<std::string> languages = CDesktopLanguages::Get();
    const auto find = [](const std::vector<std::string>& names, const std::string& name) {
        const auto found = std::find(names.begin(), names.end(), name);
        return found == names.end() ? -1 : int(found - names.begin());
    };
    int sound = find(m_state.soundTracks, m_settings.GetSetting(TrackKey("sound").c_str()));
    if (sound < 0) {
        const CDVBTrackList::Track* wanted = m_player.GetTracks().FindSound(languages);
        for (std::size_t i = 0; wanted && i < m_sounds.size(); ++i)
            if (m_sounds[i].pid == wanted->pid && m_sounds[i].kind == wanted->kind)
                sound = int(i);
    }
    const std::string rememberedSubtitles = m_settings.GetSetting(TrackKey("subtitles").c_str());
    int subtitles = find(m_state.subtitleTracks, rememberedSubtitles);
    if (subtitles < 0 && rememberedSubtitles.empty() && sound >= 0 &&
        std::none_of(languages.begin(), languages.end(), [&](const std::string& language) {
            return CDVBTrackList::SameLanguage(language, m_sounds[std::size_t(sound)].language);
        })) {
        const CDVBTrackList::Track* wanted = m_player.GetTracks().FindSubtitles(languages);
        for (std::size_t i = 0; wanted && i < m_subtitles.size(); ++i)
            if (m_subtitles[i].Describe() == wanted->Describe())
                subtitles = int(i);
    }
    if (!m_askedSubtitles.empty()) {   // as the user chose: remembered
        CDVBTrackList::Track asked;
        subtitles = -1;
        if (m_askedSubtitles != "off" && m_player.GetTracks().FindSubtitles(m_askedSubtitles, asked)) {
            const auto known = std::find_if(m_subtitles.begin(), m_subtitles.end(),
                                            [&](const CDVBTrackList::Track& t) { return t.Describe() == asked.Describe(); });
            if (known == m_subtitles.end()) {   // a teletext page the service does not name
                m_subtitles.push_back(asked);
                m_state.subtitleTracks.push_back(asked.Describe());
            }
            subtitles = find(m_state.subtitleTracks, asked.Describe());
        }
        m_settings.SetSetting(TrackKey("subtitles").c_str(), subtitles >= 0 ? m_state.subtitleTracks[std::size_t(subtitles)] : "off");
        m_askedSubtitles.clear();
    }
    const CDVBTrackList::Track* playing = m_player.GetSoundTrack();
    m_state.soundTrack = playing ? find(m_state.soundTracks, playing->Describe()) : -1;
    if (sound >= 0 && sound != m_state.soundTrack && m_player.ChooseSound(m_sounds[std::size_t(sound)]))
        m_state.soundTrack = sound;
    m_state.subtitleTrack = subtitles >= 0 && m_player.ChooseSubtitles(&m_subtitles[std::size_t(subtitles)]) ? subtitles : -1;
}

void CLumviewBehaviour::Ask(const std::string& subtitles, int teletextPage)
{
    m_askedSubtitles = subtitles;
    if (teletextPage >= 100 && teletextPage <= 899) {
        m_state.teletext = true;
        m_state.teletextPage = teletextPage;
    }
}

void CLumviewBehaviour::ChooseSoundTrack(int index)
{
    if (index < 0 || index >= int(m_sounds.size()) || !m_player.ChooseSound(m_sounds[std::size_t(index)]))
        return;
    m_state.soundTrack = index;
    m_settings.SetSetting(TrackKey("sound").c_str(), m_state.soundTracks[std::size_t(index)]);
}

void CLumviewBehaviour::ChooseSubtitleTrack(int index)
{
    if (index >= int(m_subtitles.size()) || m_tracksService < 0)
        return;
    const CDVBTrackList::Track* track = index >= 0 ? &m_subtitles[std::size_t(index)] : nullptr;
    m_state.subtitleTrack = m_player.ChooseSubtitles(track) && track ? index : -1;
    m_state.subtitle.reset();
    m_settings.SetSetting(TrackKey("subtitles").c_str(),
                          m_state.subtitleTrack >= 0 ? m_state.subtitleTracks[std::size_t(index)] : "off");
}

void CLumviewBehaviour::NextSoundTrack()
{
    if (!m_sounds.empty())
        ChooseSoundTrack((m_state.soundTrack + 1) % int(m_sounds.size()));
}

void CLumviewBehaviour::NextSubtitleTrack()
{
    const int count = int(m_subtitles.size());
    if (count > 0)   // none, then each track in turn
        ChooseSubtitleTrack(m_state.subtitleTrack + 1 < count ? m_state.subtitleTrack + 1 : -1);
}

void CLumviewBehaviour::ToggleTeletext()
{
    m_state.teletext = !m_state.teletext;
    m_state.teletextTyped.clear();
    m_teletextSeen = -1;
    RefreshTeletext();
}

void CLumviewBehaviour::ShowTeletextPage(int page)
{
    if (page < 100 || page > 899)
        return;
    m_state.teletextPage = page;
    m_state.teletextSubpage = 0;
    m_state.teletextTyped.clear();
    m_teletextSeen = -1;
    RefreshTeletext();
}

void CLumviewBehaviour::TeletextDigit(int digit)
{
    if (!m_state.teletext || digit < 0 || digit > 9 || (m_state.teletextTyped.empty() && (digit < 1 || digit > 8)))
        return;   // pages are 100 to 899
    m_state.teletextTyped += char('0' + digit);
    if (m_state.teletextTyped.size() == 3)
        ShowTeletextPage(std::atoi(m_state.teletextTyped.c_str()));
    else
        RefreshTeletext();
}

void CLumviewBehaviour::TeletextPage(int step)
{
    if (m_state.teletext)
        ShowTeletextPage(std::clamp(m_state.teletextPage + step, 100, 899));
}

void CLumviewBehaviour::TeletextSubpage(int step)
{
    CTeletextPages* pages = m_player.GetTeletextPages();
    if (!m_state.teletext || pages == nullptr)
        return;
    const std::vector<int> subpages = pages->GetSubpages(m_state.teletextPage);
    if (subpages.empty())
        return;
    auto at = std::find(subpages.begin(), subpages.end(), m_state.teletextSubpage);
    const int index = at == subpages.end() ? (step > 0 ? -1 : 0) : int(at - subpages.begin());
    const int count = int(subpages.size());
    m_state.teletextSubpage = subpages[std::size_t(((index + step) % count + count) % count)];
    m_teletextSeen = -1;
    RefreshTeletext();
}

void CLumviewBehaviour::TeletextLink(int colour)
{
    CTeletextPages* pages = m_player.GetTeletextPages();
    int links[4];
    if (m_state.teletext && pages && colour >= 0 && colour < 4 && pages->GetLinks(m_state.teletextPage, links) && links[colour])
        ShowTeletextPage(links[colour]);
}

// The page drawn again when it came again, or when another is asked for.
void CLumviewBehaviour::RefreshTeletext()
{
    if (!m_state.teletext)
        return;
    CTeletextPages* pages = m_player.GetTeletextPages();
    const int transmissions = pages ? pages->GetTransmissions(m_state.teletextPage) : 0;
    if (transmissions == m_teletextSeen && !m_state.teletextRgba.empty())
        return;
    m_teletextSeen = transmissions;
    const std::string asked = m_state.teletextTyped.empty() ? std::to_string(m_state.teletextPage) : m_state.teletextTyped;
    if (pages == nullptr) {
        m_state.teletextText = "This service has no teletext.";
        m_state.teletextRgba.clear();
    } else if (!pages->DrawPage(m_state.teletextPage, m_state.teletextSubpage, false, m_state.teletextRgba,
                                m_state.teletextWidth, m_state.teletextHeight)) {
        m_state.teletextText = "Page " + asked + " has not come yet.";
        m_state.teletextRgba.clear();
    } else {
        m_state.teletextText = m_state.teletextTyped.empty() ? std::string() : "Page " + asked + std::string(3 - asked.size(), '-');
    }
    ++m_state.teletextChanges;
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
