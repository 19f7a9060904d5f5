#include "model/CDVBTrackList.h"

#include "model/CDVBProgram.h"
#include "si/CDVBExtensionDescriptor.h"
#include "si/CDVBISO639LanguageDescriptor.h"
#include "si/CDVBSubtitlingDescriptor.h"
#include "si/CDVBTeletextDescriptor.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

std::string Language(const char* code)
{
    std::string text;
    for (int i = 0; i < 3 && code[i]; ++i)
        text += char(std::tolower(static_cast<unsigned char>(code[i])));
    return text;
}

bool IsSoundCodec(const char* codec)
{
    static const char* const kSound[] = {"mp2", "mp3", "aac", "aac_latm", "ac3", "eac3", "dts"};
    return codec && std::any_of(std::begin(kSound), std::end(kSound), [&](const char* name) { return !std::strcmp(codec, name); });
}

// ISO 639-2 has two codes for some languages, and broadcasts use either: the terminology one
std::string Terminology(const std::string& language)
{
    static const char* const kPairs[][2] = {{"deu", "ger"}, {"fra", "fre"}, {"nld", "dut"}, {"ces", "cze"},
                                            {"ell", "gre"}, {"fas", "per"}, {"slk", "slo"}, {"ron", "rum"},
                                            {"zho", "chi"}, {"sqi", "alb"}, {"hye", "arm"}, {"eus", "baq"},
                                            {"mkd", "mac"}, {"msa", "may"}, {"isl", "ice"}, {"cym", "wel"}};
    for (const auto& pair : kPairs)
        if (language == pair[0] || language == pair[1])
            return pair[0];
    return language;
}

}  // namespace

bool CDVBTrackList::SameLanguage(const std::string& a, const std::string& b)
{
    return !a.empty() && Terminology(a) == Terminology(b);
}

std::string CDVBTrackList::Track::Describe() const
{
    std::string text = language.empty() ? "und" : language;
    if (kind == Kind::AudioDescription)
        text += ", audio description";
    if (hardOfHearing)
        text += ", hard of hearing";
    if (kind == Kind::TeletextSubtitles || kind == Kind::Teletext)
        text += ", teletext " + std::to_string(page);
    return text;
}

void CDVBTrackList::Read(const CDVBProgram& program)
{
    m_tracks.clear();
    for (const CDVBProgramElement* element : program.m_elements) {
        const char* codec = element->GetCodecName();
        if (codec == nullptr)
            continue;
        Track track;
        track.pid = element->m_elementaryPid;
        track.codec = codec;
        if (IsSoundCodec(codec)) {
            const auto* said = static_cast<const CDVBISO639LanguageDescriptor*>(
                element->m_descriptors.FindDescriptor(CDVBISO639LanguageDescriptor::Tag));
            const auto* supplementary = static_cast<const CDVBExtensionDescriptor*>(
                element->m_descriptors.FindDescriptor(CDVBExtensionDescriptor::Tag));
            if (said)
                track.language = Language(said->m_languageCode);
            if (supplementary && supplementary->m_extensionTag == CDVBExtensionDescriptor::SupplementaryAudio &&
                supplementary->m_languageCode[0])
                track.language = Language(supplementary->m_languageCode);
            const bool described = (said && said->m_audioType == 3) || (supplementary && supplementary->IsAudioDescription());
            track.kind = described ? Kind::AudioDescription : Kind::Sound;
            m_tracks.push_back(track);
        } else if (!std::strcmp(codec, "dvb_subtitle")) {
            const auto* said = static_cast<const CDVBSubtitlingDescriptor*>(
                element->m_descriptors.FindDescriptor(CDVBSubtitlingDescriptor::Tag));
            track.kind = Kind::Subtitles;
            if (said == nullptr || said->m_entries.empty()) {
                m_tracks.push_back(track);
                continue;
            }
            for (const CDVBSubtitlingDescriptor::Entry& entry : said->m_entries) {
                track.language = Language(entry.languageCode);
                track.hardOfHearing = entry.ForHardOfHearing();
                track.compositionPage = entry.compositionPage;
                track.ancillaryPage = entry.ancillaryPage;
                m_tracks.push_back(track);
            }
        } else if (!std::strcmp(codec, "dvb_teletext")) {
            const auto* said = static_cast<const CDVBTeletextDescriptor*>(
                element->m_descriptors.FindDescriptor(CDVBTeletextDescriptor::Tag));
            bool service = false;   // one entry for the pages, however many the descriptor names
            for (const CDVBTeletextDescriptor::Entry& entry : said ? said->m_entries : std::vector<CDVBTeletextDescriptor::Entry>()) {
                track.language = Language(entry.languageCode);
                track.page = entry.page;
                track.hardOfHearing = entry.type == 5;
                track.kind = entry.Subtitles() ? Kind::TeletextSubtitles : Kind::Teletext;
                if (track.kind == Kind::Teletext && service)
                    continue;
                service = service || track.kind == Kind::Teletext;
                m_tracks.push_back(track);
            }
            if (!service) {   // the pages are there to read even when only subtitles are named
                track = Track();
                track.kind = Kind::Teletext;
                track.pid = element->m_elementaryPid;
                track.codec = codec;
                track.page = 100;
                m_tracks.push_back(track);
            }
        }
    }
}

const CDVBTrackList::Track* CDVBTrackList::FindSound(const std::vector<std::string>& languages) const
{
    for (const std::string& language : languages) {
        const bool describedAsked = language.size() > 3 && language.compare(language.size() - 3, 3, "-ad") == 0;
        const std::string code = describedAsked ? language.substr(0, language.size() - 3) : language;
        for (const Track& track : m_tracks)
            if (track.IsSound() && SameLanguage(track.language, code) &&
                (track.kind == Kind::AudioDescription) == describedAsked)
                return &track;
    }
    for (const Track& track : m_tracks)
        if (track.kind == Kind::Sound)
            return &track;
    for (const Track& track : m_tracks)
        if (track.IsSound())
            return &track;
    return nullptr;
}

const CDVBTrackList::Track* CDVBTrackList::FindSubtitles(const std::vector<std::string>& languages) const
{
    for (const std::string& language : languages)
        for (const bool hardOfHearing : {false, true})
            for (const Kind kind : {Kind::Subtitles, Kind::TeletextSubtitles})
                for (const Track& track : m_tracks)
                    if (track.kind == kind && track.hardOfHearing == hardOfHearing && SameLanguage(track.language, language))
                        return &track;
    return nullptr;
}

bool CDVBTrackList::FindSubtitles(const std::string& asked, Track& found) const
{
    const bool page = asked.size() == 3 && std::all_of(asked.begin(), asked.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!page) {
        const Track* track = FindSubtitles(std::vector<std::string>{asked});
        if (track)
            found = *track;
        return track != nullptr;
    }
    const int number = std::stoi(asked);
    for (const Track& track : m_tracks)
        if (track.kind == Kind::TeletextSubtitles && track.page == number) {
            found = track;
            return true;
        }
    const Track* teletext = FindTeletext();   // a page the program does not name: broadcasts have them
    if (teletext == nullptr || number < 100 || number > 899)
        return false;
    found = *teletext;
    found.kind = Kind::TeletextSubtitles;
    found.page = number;
    return true;
}

const CDVBTrackList::Track* CDVBTrackList::FindTeletext() const
{
    for (const Track& track : m_tracks)
        if (track.kind == Kind::Teletext)
            return &track;
    return nullptr;
}
