#pragma once
// Extension descriptor (0x7F): its extension tag, and of the supplementary audio descriptor
// (extension 0x06) what says a sound track is audio description.
#include "si/CDVBDescriptor.h"

class CDVBExtensionDescriptor : public CDVBDescriptor
{
public:
    static constexpr BYTE Tag = 0x7F;
    static constexpr BYTE SupplementaryAudio = 0x06;

    bool Parse(CDVBByteReader payload) override;
    void CopyFrom(const CDVBDescriptor* source) override;

    // Supplementary audio: editorial classification 1, mixed or on its own.
    bool IsAudioDescription() const { return m_extensionTag == SupplementaryAudio && m_editorialClassification == 1; }

    BYTE m_extensionTag = 0;
    BYTE m_editorialClassification = 0;   // supplementary audio only
    char m_languageCode[4] = {};           // supplementary audio, when it names one
};
