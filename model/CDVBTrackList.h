#pragma once
// The sound and subtitle tracks of one program, as a viewer chooses among them: every sound
// component with its language and whether it is audio description, every entry of the
// subtitling and teletext descriptors (one PID can carry several), the teletext subtitle
// pages among them. Read under the receiver's programs lock; the list is a copy.
#include "platform/LUMTypes.h"

#include <string>
#include <vector>

class CDVBProgram;

class CDVBTrackList
{
public:
    enum class Kind
    {
        Sound,
        AudioDescription,
        Subtitles,          // DVB subtitles
        TeletextSubtitles,  // a teletext subtitle page
        Teletext,           // a teletext service: its pages, not subtitles
    };
    struct Track
    {
        Kind kind = Kind::Sound;
        WORD pid = 0xFFFF;
        std::string language;   // ISO 639, lower case; empty when not said
        std::string codec;      // as ffprobe names it
        bool hardOfHearing = false;
        int compositionPage = -1;   // DVB subtitles
        int ancillaryPage = -1;
        int page = 0;               // teletext: 100-899

        bool IsSound() const { return kind == Kind::Sound || kind == Kind::AudioDescription; }
        bool IsSubtitles() const { return kind == Kind::Subtitles || kind == Kind::TeletextSubtitles; }
        // "deu", "deu, audio description", "fra, hard of hearing, teletext 888"
        std::string Describe() const;
    };

    void Read(const CDVBProgram& program);
    const std::vector<Track>& GetTracks() const { return m_tracks; }
    // Sound in the first of `languages` (ISO 639 codes) the program has, audio description
    // only when asked for by name; else the first sound. nullptr: no sound.
    const Track* FindSound(const std::vector<std::string>& languages) const;
    // Subtitles in the first of `languages` the program has them in, DVB before teletext and
    // plain before those for the hard of hearing; nullptr: none in those languages.
    const Track* FindSubtitles(const std::vector<std::string>& languages) const;
    // What a user asks for by name: subtitles in a language (as above), or a teletext page
    // ("888"), named by the program or not. False when there are none such.
    bool FindSubtitles(const std::string& asked, Track& found) const;
    // The first teletext service's track (pages to read), nullptr without one.
    const Track* FindTeletext() const;
    // Whether two ISO 639-2 codes name one language (either of its two codes: deu, ger).
    static bool SameLanguage(const std::string& a, const std::string& b);

private:
    std::vector<Track> m_tracks;
};
