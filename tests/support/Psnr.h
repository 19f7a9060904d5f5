#pragma once
// The PSNR of two pictures of one size as FFmpeg measures it, in dB (100 for identical);
// 0 when FFmpeg cannot compare them.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

inline double Psnr(const std::string& ours, const std::string& theirs)
{
    FILE* pipe = ::popen(("ffmpeg -i " + ours + " -i " + theirs + " -lavfi psnr -f null - 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return 0;
    char line[1024];
    double psnr = 0;
    while (std::fgets(line, sizeof line, pipe))
        if (const char* at = std::strstr(line, "average:"))
            psnr = std::strncmp(at + 8, "inf", 3) == 0 ? 100 : std::atof(at + 8);
    ::pclose(pipe);
    return psnr;
}
