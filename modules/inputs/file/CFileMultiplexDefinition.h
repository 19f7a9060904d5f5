#pragma once
// One transport stream file to play: name, path (relative paths are taken from the
// definitions file's folder), pacing and looping. A line reads
// "Sample, sample.ts, pcr, off": pacing is "pcr" (real time from the stream's PCR),
// "fast" (as fast as the receiver reads) or a rate in Mbit/s ("8.5"); looping "on" or
// "off".
#include "plugins/CDVBMultiplexDefinition.h"

class CFileMultiplexDefinition : public CDVBMultiplexDefinition
{
public:
    enum class Pacing
    {
        ProgramClock,
        Fixed,
        Fast,
    };

    static constexpr double MaximumMegabitsPerSecond = 100000;

    CString GetName() override { return m_name; }
    bool ReadFieldFromString(int index, const CString& text) override;
    bool WriteFieldToString(int index, CString& text) override;
    int GetRequiredFieldCount() override { return 2; }
    int GetOptionalFieldCount() override { return 2; }
    CString GetFieldName(int index) override;

    CString m_name;
    CString m_path;
    Pacing m_pacing = Pacing::ProgramClock;
    double m_megabitsPerSecond = 0;   // with Pacing::Fixed
    bool m_loop = false;
};
