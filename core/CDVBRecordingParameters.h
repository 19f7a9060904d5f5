#pragma once
// What StartRecording is asked to record: the file to create (or a descriptor to write to), and optionally a filter of
// what goes into it (one service, say). Copyable; the filter is not owned.
#include "platform/CString.h"

class CDVBRecordingFilter;

class CDVBRecordingParameters
{
public:
    CDVBRecordingParameters() = default;
    CDVBRecordingParameters(const CDVBRecordingParameters&) = default;
    CDVBRecordingParameters& operator=(const CDVBRecordingParameters&) = default;
    virtual ~CDVBRecordingParameters() = default;

    CString m_fileName;
    int m_fileDescriptor = -1;   // else an open descriptor (a pipe, say) written in place of the file; not closed
    int m_options = 0;   // carried and copied; recording does not consult it
    CDVBRecordingFilter* m_filter = nullptr;   // null: every read as delivered
    // The receive thread waits for a free recording buffer rather than leave a read out:
    // for a receiver on simulated time only, whose disk must keep up however slow it is.
    bool m_waitForFreeBuffers = false;
};
