#pragma once
// What lumview's window does, without Qt: which input, multiplex and service are chosen,
// receiving the multiplex with its guide, playing the service with its sound, what the
// message and the status say (a file played to its end, a silent input, what plays) and
// what is remembered for the next run (the multiplex, the volume). The view forwards its
// events and its timer here and draws State(); a new picture wakes it. The plug-ins
// and their definitions are borrowed; the source is the plug-in's, asked for back at Close.
#include "CLumviewState.h"
#include "apps/common/CServicePlayer.h"
#include "si/CDVBStreamAnalyser.h"

#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <utility>

class CDVBAudioOutput;
class CDVBMultiplexDefinition;
class CDVBTransportStreamSource;
class CGuideReceiver;
class CLUMInputPlugin;
class CLumviewSettings;

class CLumviewBehaviour
{
public:
    static constexpr int kRefreshMs = 500;
    static constexpr int kVolumeStep = 5;   // percent

    explicit CLumviewBehaviour(CLumviewSettings& settings);
    ~CLumviewBehaviour();
    CLumviewBehaviour(const CLumviewBehaviour&) = delete;
    CLumviewBehaviour& operator=(const CLumviewBehaviour&) = delete;

    // Receives `definition` of `plugin`; false, with the reason in the message, when it
    // does not open.
    bool Open(CLUMInputPlugin* plugin, CDVBMultiplexDefinition* definition);
    // The multiplex remembered from the last run, or the first there is.
    void OpenRemembered();
    void Close();

    void ChooseInput(int index);
    void ChooseMultiplex(int index);
    void ChooseService(int row);
    void NextService(int step);   // -1 for the previous; round the list
    // The input's dialogs: after a change to its definitions the list is read again.
    void Configure();
    void TestMultiplex();

    // Asked on the command line, for the service played first: subtitles ("deu", a teletext
    // page "888", "off"; empty: as remembered) and the teletext view at a page (0: not).
    void Ask(const std::string& subtitles, int teletextPage);
    // The service's tracks (CLumviewState's lists): the one chosen is remembered for it.
    void ChooseSoundTrack(int index);
    void ChooseSubtitleTrack(int index);   // -1: none
    void NextSoundTrack();
    void NextSubtitleTrack();   // round the list and none

    // The teletext view: a page number typed digit by digit, the next or previous page and
    // subpage, the page a colour link (0 red to 3 blue) leads to.
    void ToggleTeletext();
    void TeletextDigit(int digit);
    void TeletextPage(int step);
    void TeletextSubpage(int step);
    void TeletextLink(int colour);

    void SetVolume(int percent);
    void ToggleMute();
    void ToggleFullScreen();
    void LeaveFullScreen();

    // Pictures are made at the size the view shows them; `wake` is called on a decoder's
    // thread when there is a new one, and the view then calls OnPicture on its own.
    void SetPictureSize(int width, int height);
    void SetPictureWake(std::function<void()> wake);
    void OnPicture();
    void OnRefresh();   // every kRefreshMs while receiving

    // The statistics of the service played (`lumview --stats`); false when it cannot be written.
    bool WriteStatistics(const std::string& path) const;

    const CLumviewState& State() const { return m_state; }

private:
    void ShowInPickers(CLUMInputPlugin* plugin, CDVBMultiplexDefinition* definition);
    CLUMInputPlugin* CurrentPlugin() const;
    void FillMultiplexes();
    void OpenSelected();
    void Play();
    void RefreshGuide();
    void ClearPicture();
    void ApplyVolume();
    std::string DescribePlaying();
    void ReadTracks();
    void ShowTeletextPage(int page);
    void RefreshTeletext();
    std::string TrackKey(const char* kind) const;

    CLumviewSettings& m_settings;
    CLumviewState m_state;
    int m_quietRefreshes = 0;
    int m_wantedService = -1;   // remembered from the last run
    std::vector<std::tuple<WORD, std::int64_t, DWORD>> m_guideShown;   // event, start, duration
    std::pair<std::uint64_t, int> m_guideSeen{0, -1};   // the store's revision, the service
    CServicePlayer m_player;
    int m_tracksService = -1;   // whose tracks are in the state
    std::vector<CDVBTrackList::Track> m_sounds;
    std::vector<CDVBTrackList::Track> m_subtitles;
    int m_teletextSeen = -1;   // transmissions of the page shown
    std::string m_askedSubtitles;
    CDVBAudioOutput* m_volumeSet = nullptr;   // the output the volume was given to
    std::vector<std::uint8_t> m_frame;   // the picture shown before the one in m_state.rgb
    std::string m_name;   // of the multiplex received, as its definition has it
    CLUMInputPlugin* m_plugin = nullptr;
    CDVBTransportStreamSource* m_source = nullptr;
    CDVBStreamAnalyser m_analyser;   // the receiver's, for the status bar: made before it, gone after it
    std::unique_ptr<CGuideReceiver> m_receiver;
};
