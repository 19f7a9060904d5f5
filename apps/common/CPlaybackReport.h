#pragma once
// A service's playback as JSON, for `lumrx play --stats` and `lumview --stats`: what the
// pictures and the sound did, their offset and how soon each came (figures named as the
// fields of the file), and the tracks played.
#include <string>

class CServicePlayer;

namespace CPlaybackReport {

// The text ends in a new line.
std::string ToJson(const CServicePlayer& player);
// False when `path` cannot be written.
bool Write(const std::string& path, const CServicePlayer& player);

}  // namespace CPlaybackReport
