#pragma once
// Chooses, and may rewrite, what of each read goes into a recording. An application or a
// plug-in hands one to StartRecording through the parameters (not owned: it outlives the
// recording); the receive thread calls it once per read, under the recording's lock.
#include "platform/LUMTypes.h"

class CDVBRecordingFilter
{
public:
    virtual ~CDVBRecordingFilter();
    // Called when a recording starts with this filter: forget what earlier reads taught.
    virtual void Reset() {}
    // Writes what of the read (`length` bytes of whole packets) is recorded into `out`,
    // at most `capacity` bytes, and returns how many.
    virtual DWORD Filter(const BYTE* read, DWORD length, BYTE* out, DWORD capacity) = 0;
};
