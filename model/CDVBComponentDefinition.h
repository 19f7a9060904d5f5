#pragma once
// Names one elementary stream of one program: what an application hands to a decoder.
#include "platform/CString.h"
#include "platform/LUMTypes.h"

class CDVBComponentDefinition
{
public:
    CDVBComponentDefinition() = default;
    explicit CDVBComponentDefinition(CDVBComponentDefinition* other) { CopyFrom(other); }
    CDVBComponentDefinition(const CDVBComponentDefinition&) = default;
    CDVBComponentDefinition& operator=(const CDVBComponentDefinition&) = default;
    virtual ~CDVBComponentDefinition() = default;

    void CopyFrom(CDVBComponentDefinition* other);

    WORD m_pid = 0xFFFF;
    WORD m_programNumber = 0xFFFF;
    CString m_description;
    BYTE m_streamType = 0;   // of the program map; 0 until GetComponentDefinition finds the stream
    CString m_codecName;     // as ffprobe names it ("h264", "mp2"), empty when not known
    DWORD m_userValue = 0;   // the application's; never set or read here
};
