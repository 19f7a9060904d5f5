#include "CPlaybackReport.h"

#include "apps/common/CServicePlayer.h"
#include "decode/CDVBAudioOutput.h"
#include "decode/CDVBPresentationStatistics.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>

namespace {

double Rounded(double value)
{
    return std::round(value * 100) / 100;   // to a hundredth of a millisecond
}

nlohmann::json Spread(const CDVBPresentationStatistics::Spread& spread)
{
    return {{"p50", Rounded(spread.p50)}, {"p95", Rounded(spread.p95)}, {"max", Rounded(spread.max)},
            {"count", spread.count}};
}

nlohmann::json Track(const CDVBTrackList::Track* track)
{
    if (track == nullptr)
        return nlohmann::json();
    return {{"pid", track->pid}, {"language", track->language}, {"description", track->Describe()}};
}

nlohmann::json Since(std::int64_t time, std::int64_t requested)
{
    return time < 0 ? nlohmann::json() : nlohmann::json(Rounded(double(time - requested) / 1e6));
}

}  // namespace

std::string CPlaybackReport::ToJson(const CServicePlayer& player)
{
    const CDVBPresentationStatistics& statistics = player.GetStatistics();
    CDVBAudioOutput* output = player.GetAudioOutput();
    const CDVBPresentationStatistics::Figures figures = statistics.Get();
    const std::int64_t requested = statistics.GetRequested();
    nlohmann::json report;
    report["video"] = {{"decoded", figures.decoded},   {"presented", figures.presented},
                       {"dropped", figures.dropped},   {"repeated", figures.repeated},
                       {"resyncs", figures.resyncs},   {"interval_ms", Spread(figures.interval)}};
    report["audio"] = {{"samples_played", figures.samplesPlayed},
                       {"underruns", output ? output->GetUnderruns() : 0},
                       {"latency_ms", output ? output->GetLatencyMs() : 0}};
    report["av_offset_ms"] = Spread(figures.avOffset);
    report["first_decoded_ms"] = Since(figures.firstDecoded, requested);
    report["first_picture_ms"] = Since(figures.firstPicture, requested);
    report["first_sound_ms"] = Since(figures.firstSound, requested);
    report["sound_track"] = Track(player.GetSoundTrack());
    report["subtitle_track"] = Track(player.GetSubtitleTrack());
    report["subtitles_shown"] = player.GetSubtitlesShown();
    report["subtitle_errors"] = player.GetSubtitleErrors();
    return report.dump(2) + "\n";
}

bool CPlaybackReport::Write(const std::string& path, const CServicePlayer& player)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << ToJson(player);
    file.close();
    return bool(file);
}
