#pragma once
// Sound written to a WAV file (32-bit float, 48 kHz stereo) instead of played: every frame
// is taken, in the order it comes, and no clock is given, so pictures follow the program
// clock. The header's sizes are right once Close has run.
#include "decode/CDVBAudioOutput.h"

#include <cstdint>
#include <cstdio>
#include <string>

class CWaveFileOutput : public CDVBAudioOutput
{
public:
    CWaveFileOutput() = default;
    ~CWaveFileOutput() override { Close(); }
    CWaveFileOutput(const CWaveFileOutput&) = delete;
    CWaveFileOutput& operator=(const CWaveFileOutput&) = delete;

    bool Open(const std::string& path);
    bool Close();   // false when the file could not be written whole

    int Write(const float* samples, int frames, long long presentationTime) override;
    void GetStatus(CString& status) override;

private:
    bool WriteHeader();

    std::FILE* m_file = nullptr;
    std::string m_path;
    std::uint64_t m_frames = 0;
    bool m_failed = false;
};
