#include "model/CDVBProgramElement.h"

#include "si/CDVBISO639LanguageDescriptor.h"
#include "si/CDVBSubtitlingDescriptor.h"
#include "si/CDVBTeletextDescriptor.h"

namespace {

enum class Kind { Other, Video, Audio, Teletext, Subtitles };

struct Coding
{
    Kind kind;
    const char* codec;   // as ffprobe's codec_name
    const CDVBDescriptor* named = nullptr;   // the private PES descriptor that named it
};

// What the stream carries, decided as ffprobe decides: by stream type, and for private PES
// by the first descriptor in loop order that names a coding.
Coding CodingOf(BYTE streamType, const CDVBDescriptorList& descriptors)
{
    switch (streamType) {
    case 0x01:
    case 0x02:
        return {Kind::Video, "mpeg2video"};
    case 0x03:
    case 0x04:
        return {Kind::Audio, "mp2"};   // broadcast MPEG audio is layer II
    case 0x0F:
        return {Kind::Audio, "aac"};
    case 0x11:
        return {Kind::Audio, "aac_latm"};
    case 0x1B:
        return {Kind::Video, "h264"};
    case 0x24:
        return {Kind::Video, "hevc"};
    case 0x81:
        return {Kind::Audio, "ac3"};
    case 0x87:
        return {Kind::Audio, "eac3"};
    case 0x06:
        for (const CDVBDescriptor* descriptor : descriptors) {
            switch (descriptor->m_tag) {
            case CDVBSubtitlingDescriptor::Tag:
                return {Kind::Subtitles, "dvb_subtitle", descriptor};
            case CDVBTeletextDescriptor::Tag:
                return {Kind::Teletext, "dvb_teletext", descriptor};
            case 0x6A:
                return {Kind::Audio, "ac3", descriptor};
            case 0x7A:
                return {Kind::Audio, "eac3", descriptor};
            case 0x7B:
                return {Kind::Audio, "dts", descriptor};
            case 0x7C:
                return {Kind::Audio, "aac", descriptor};
            default:
                break;
            }
        }
        break;
    default:
        break;
    }
    return {Kind::Other, nullptr};
}

CString WithLanguage(const char* kind, const char* language)
{
    CString text(kind);
    text += " (";
    text += language;   // up to three characters, to its terminating zero
    text += ")";
    return text;
}

}  // namespace

CString CDVBProgramElement::GetDescription() const
{
    static const char* const kNames[] = {"reserved", "video",   "video",   "audio",   "audio",
                                         "private sections",     "private PES", "MHEG", "DSMCC",
                                         "H.222.1",  "DSMCC-A", "DSMCC-B", "DSMCC-C", "DSMCC-D",
                                         "auxilary"};
    const Coding coding = CodingOf(m_streamType, m_descriptors);
    switch (coding.kind) {
    case Kind::Video:
        return "video";
    case Kind::Audio:
        if (const auto* language = static_cast<const CDVBISO639LanguageDescriptor*>(
                m_descriptors.FindDescriptor(CDVBISO639LanguageDescriptor::Tag)))
            return WithLanguage(language->m_audioType == 3 ? "audio description" : "audio", language->m_languageCode);
        return "audio";
    case Kind::Teletext:
        return WithLanguage("teletext", static_cast<const CDVBTeletextDescriptor*>(coding.named)->m_languageCode);
    case Kind::Subtitles:
        return WithLanguage("subtitles", static_cast<const CDVBSubtitlingDescriptor*>(coding.named)->m_languageCode);
    case Kind::Other:
        break;
    }
    if (m_streamType < sizeof kNames / sizeof kNames[0])
        return kNames[m_streamType];
    return "unknown";
}

const char* CDVBProgramElement::GetCodecName() const
{
    return CodingOf(m_streamType, m_descriptors).codec;
}
