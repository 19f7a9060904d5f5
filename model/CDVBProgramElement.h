#pragma once
// One elementary stream of a program, with its own copy of the stream's descriptors.
#include "platform/CString.h"
#include "si/CDVBDescriptorList.h"

class CDVBProgramElement
{
public:
    CDVBProgramElement() = default;
    CDVBProgramElement(const CDVBProgramElement&) = delete;
    CDVBProgramElement& operator=(const CDVBProgramElement&) = delete;
    virtual ~CDVBProgramElement() = default;

    // "video", "audio (eng)", "teletext (ita)", "subtitles (deu)"...: what the stream is,
    // for people.
    CString GetDescription() const;
    // "h264", "eac3", "dvb_subtitle"...: the coding as ffprobe names it; null when not known.
    const char* GetCodecName() const;

    BYTE m_streamType = 0;   // 0 ("reserved") until a program map names the stream
    WORD m_elementaryPid = 0xFFFF;
    CDVBDescriptorList m_descriptors;
};
