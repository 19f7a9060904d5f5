#pragma once
// Where the fake devices are and what they are called: shared by the devices and their udev.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

namespace fakedvb {

enum class Kind { Frontend, Demux, Dvr };
inline const char* const kKindNames[] = {"frontend", "demux", "dvr"};

// LUM_FAKE_DVB_ROOT less trailing slashes; empty when nothing is faked.
inline std::string rootPath()
{
    const char* r = getenv("LUM_FAKE_DVB_ROOT");
    std::string s = r ? r : "";
    while (!s.empty() && s.back() == '/') s.pop_back();
    return s;
}

// "adapterN/kindM" and nothing more.
inline bool parseName(const char* rel, Kind& kind)
{
    unsigned a, m;
    char k[16];
    int used = 0;
    if (sscanf(rel, "adapter%u/%15[a-z]%u%n", &a, k, &m, &used) != 3 || rel[used] || rel[7] < '0' || rel[7] > '9')
        return false;
    for (int i = 0; i < 3; ++i)
        if (strcmp(k, kKindNames[i]) == 0) return kind = Kind(i), true;
    return false;
}

}  // namespace fakedvb
