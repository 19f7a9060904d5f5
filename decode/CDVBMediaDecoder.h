#pragma once
// What a host asks of a decoder beyond the PID receiver's calls, through dynamic_cast:
// where its sound goes, the clock it presents by and where it counts what it did.
// Without a presentation clock a decoder hands over each picture as soon as it is decoded
// (a snapshot); with one, at its time, dropping those that come too late.
#include "platform/CString.h"

class CDVBAudioOutput;
class CDVBPresentationClock;
class CDVBPresentationStatistics;

class CDVBMediaDecoder
{
public:
    virtual ~CDVBMediaDecoder();

    virtual bool IsAudio() const = 0;
    // Audio decoders: the output the sound goes to (not owned; nullptr: none, decoded and
    // dropped). Set before the decoder is registered, or while it runs.
    virtual bool SetAudioOutput(CDVBAudioOutput* output) = 0;
    // Both not owned; set before the decoder is registered.
    virtual void SetPresentation(CDVBPresentationClock* clock, CDVBPresentationStatistics* statistics) = 0;
    // Interlaced pictures are deinterlaced unless turned off.
    virtual void SetDeinterlacing(bool on) = 0;
    // What is decoded, for people: "H.264 1920x1080i 25 fps", "E-AC-3 48 kHz 5.1".
    virtual void GetDescription(CString& description) = 0;
};
