#pragma once
// Plays one service through the first decoder, display and audio output plug-ins loaded:
// its first video, its sound track and its subtitle track (the languages asked for, else
// the first sound and no subtitles), each on a decoder of its own, presented by one clock
// (the sound heard, else the program clock). Sound and subtitles can be changed while it
// plays; the picture goes on. The display keeps the latest
// picture for the host to take (CDVBFrameSnapshot). Play is called again until the
// service's program map has come; Stop hands the decoders back before the receiver goes.
// The audio output stays open from one service to the next.
#include "apps/common/CTeletextSubtitles.h"
#include "decode/CDVBFrameSnapshot.h"
#include "decode/CDVBPresentationClock.h"
#include "decode/CDVBPresentationStatistics.h"
#include "decode/CDVBProgramClock.h"
#include "model/CDVBTrackList.h"
#include "platform/CString.h"
#include "platform/GUID.h"
#include "platform/LUMTypes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CDVBAudioOutput;
class CDVBComponentDefinition;
class CDVBDisplay;
class CDVBDisplayLayer;
class CDVBPIDReceiver;
class CDVBTransportStreamReceiver;
class CLUMAudioOutputPlugin;
class CLUMDecoderPlugin;
class CLUMDisplayPlugin;

class CServicePlayer
{
public:
    enum class State
    {
        Waiting,     // for the program map
        Playing,     // its picture (and its sound)
        Radio,       // sound without a picture
        NoVideo,     // a data service: neither
        NoPlugins,   // no decoder or display plug-in loaded
        NoDecoder,   // none for that video's codec
    };
    struct Options
    {
        bool video = true;
        bool sound = true;
        bool deinterlace = true;
        bool timed = true;   // pictures at their time; otherwise as soon as decoded
        std::string soundLanguage;   // ISO 639 ("fra"): the sound in it, else the first
        std::string subtitleLanguage;   // ISO 639, or a teletext page: those subtitles where there are; empty: none
        // The host's own output (a file, none); nullptr: the audio output plug-in's.
        CDVBAudioOutput* audioOutput = nullptr;
        CDVBDisplayLayer* layer = nullptr;   // drawn into every picture (not owned)
    };

    CServicePlayer() = default;
    explicit CServicePlayer(const Options& options) : m_options(options) {}
    CServicePlayer(const CServicePlayer&) = delete;
    CServicePlayer& operator=(const CServicePlayer&) = delete;
    ~CServicePlayer();

    State Play(CDVBTransportStreamReceiver& receiver, WORD service);
    void Stop();
    WORD GetService() const { return m_service; }
    // The display's snapshot side, nullptr before there is one.
    CDVBFrameSnapshot* GetSnapshot();
    // Pictures made to fit this size in their shape (0 x 0: as seen) in these pixels, and
    // `shown` called on a decoder's thread at each new one: a view takes it from
    // GetSnapshot. Both are kept for the services played next.
    void SetPictureSize(int width, int height, CDVBFrameSnapshot::Pixels pixels);
    void SetPictureCallback(std::function<void()> shown);
    // The output sound goes to (for volume and mute), nullptr when there is none.
    CDVBAudioOutput* GetAudioOutput() const { return m_output; }
    // Why there is no sound ("no sound server: ..."), empty when there is.
    const std::string& GetSoundProblem() const { return m_soundProblem; }
    // "H.264 1920x1080i 25 fps", "E-AC-3 48 kHz 5.1(side)": what is decoded.
    void GetDescription(CString& video, CString& sound);
    const CDVBPresentationStatistics& GetStatistics() const { return m_statistics; }

    // The service's sound and subtitle tracks, once it plays, and those chosen (nullptr:
    // none); after Stop, those it played.
    const CDVBTrackList& GetTracks() const { return m_tracks; }
    const CDVBTrackList::Track* GetSoundTrack() const { return m_soundTrack.pid == 0xFFFF ? nullptr : &m_soundTrack; }
    const CDVBTrackList::Track* GetSubtitleTrack() const { return m_subtitleTrack.pid == 0xFFFF ? nullptr : &m_subtitleTrack; }
    // Another of its tracks while it plays; nullptr turns subtitles off.
    bool ChooseSound(const CDVBTrackList::Track& track);
    bool ChooseSubtitles(const CDVBTrackList::Track* track);
    // Where the chosen subtitles are shown, to draw into pictures; nullptr without any.
    CDVBSubtitleLayer* GetSubtitleLayer() const { return m_subtitleLayer; }
    // Subtitles decoded since the service was chosen (cues that clear included).
    std::uint64_t GetSubtitlesShown() const;
    // Subtitle packets that could not be read (garbage, segments cut short) on the track played.
    std::uint64_t GetSubtitleErrors() const;
    // The pages of the service's teletext, collected from when it plays; nullptr without teletext.
    CTeletextPages* GetTeletextPages() const { return m_pages.get(); }

    // The first video component of a service, once its program map has come: 0xFFFF for
    // none; `mapped` says whether the program map has come.
    static WORD VideoPid(CDVBTransportStreamReceiver& receiver, WORD service, bool& mapped);
    static bool FindVideo(CDVBTransportStreamReceiver& receiver, WORD service, CDVBComponentDefinition& video);

private:
    bool OpenOutput();
    CDVBPIDReceiver* OpenDecoder(CDVBTransportStreamReceiver& receiver, WORD service, WORD pid);
    void CloseDecoder(CDVBPIDReceiver*& decoder);
    void CloseSubtitles();

    Options m_options;
    CDVBTransportStreamReceiver* m_receiver = nullptr;
    WORD m_service = 0xFFFF;
    State m_state = State::Waiting;
    CLUMDecoderPlugin* m_decoderPlugin = nullptr;
    CLUMDisplayPlugin* m_displayPlugin = nullptr;
    CLUMAudioOutputPlugin* m_outputPlugin = nullptr;
    CDVBDisplay* m_display = nullptr;
    CDVBPIDReceiver* m_video = nullptr;
    CDVBPIDReceiver* m_sound = nullptr;
    CDVBTrackList m_tracks;
    CDVBTrackList::Track m_soundTrack;
    CDVBTrackList::Track m_subtitleTrack;
    CDVBPIDReceiver* m_subtitles = nullptr;   // a DVB subtitle decoder
    std::unique_ptr<CTeletextSubtitles> m_teletext;
    CDVBSubtitleLayer* m_subtitleLayer = nullptr;
    std::uint64_t m_subtitlesShown = 0;   // by the layers closed
    GUID m_teletextCookie{};
    std::unique_ptr<CTeletextPages> m_pages;   // fed by a receiver with m_pagesCookie
    WORD m_pagesPid = 0xFFFF;
    GUID m_pagesCookie{};
    CDVBAudioOutput* m_output = nullptr;
    bool m_ownOutput = false;   // opened through the plug-in, closed here
    bool m_outputTried = false;
    std::string m_soundProblem;
    CDVBProgramClock m_clock;
    std::unique_ptr<CDVBPresentationClock> m_presentation;
    CDVBPresentationStatistics m_statistics;
    GUID m_cookie{};
    int m_pictureWidth = 0;
    int m_pictureHeight = 0;
    CDVBFrameSnapshot::Pixels m_pixels = CDVBFrameSnapshot::Pixels::RGB24;
    std::function<void()> m_pictureShown;
};
