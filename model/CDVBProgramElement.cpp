#include "model/CDVBProgramElement.h"

#include "si/CDVBISO639LanguageDescriptor.h"
#include "si/CDVBSubtitlingDescriptor.h"

namespace {

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
    if (m_streamType == 0x03 || m_streamType == 0x04) {
        if (const auto* language = static_cast<const CDVBISO639LanguageDescriptor*>(
                m_descriptors.FindDescriptor(CDVBISO639LanguageDescriptor::Tag)))
            return WithLanguage(language->m_audioType == 3 ? "audio description" : "audio", language->m_languageCode);
        return "audio";
    }
    if (m_streamType == 0x06) {
        if (const auto* subtitles = static_cast<const CDVBSubtitlingDescriptor*>(
                m_descriptors.FindDescriptor(CDVBSubtitlingDescriptor::Tag)))
            return WithLanguage("subtitles", subtitles->m_languageCode);
        return "private PES";
    }
    if (m_streamType < sizeof kNames / sizeof kNames[0])
        return kNames[m_streamType];
    return "unknown";
}
