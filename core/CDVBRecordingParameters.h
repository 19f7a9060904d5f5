#pragma once
// What StartRecording is asked to record: the file to create. Copyable.
#include "platform/CString.h"

class CDVBRecordingParameters
{
public:
    CDVBRecordingParameters() = default;
    CDVBRecordingParameters(const CDVBRecordingParameters&) = default;
    CDVBRecordingParameters& operator=(const CDVBRecordingParameters&) = default;
    virtual ~CDVBRecordingParameters() = default;

    CString m_fileName;
    int m_options = 0;   // carried and copied; recording does not consult it
};
