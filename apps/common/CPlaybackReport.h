#pragma once
// A service's playback as JSON, for `lumrx play --stats` and `lumview --stats`: what the
// pictures and the sound did, their offset and how soon each came (figures named as the
// fields of the file).
#include <string>

class CDVBAudioOutput;
class CDVBPresentationStatistics;

namespace CPlaybackReport {

// `output` may be nullptr. The text ends in a new line.
std::string ToJson(const CDVBPresentationStatistics& statistics, CDVBAudioOutput* output);
// False when `path` cannot be written.
bool Write(const std::string& path, const CDVBPresentationStatistics& statistics, CDVBAudioOutput* output);

}  // namespace CPlaybackReport
