#include "PlayCommand.h"

#include "CCommandTable.h"
#include "CHeardPrograms.h"
#include "CLumrxHost.h"
#include "CLumrxOptions.h"
#include "CNumberArgument.h"
#include "CPresentationLog.h"
#include "CReception.h"
#include "ExitCode.h"
#include "apps/common/COutputPath.h"
#include "apps/common/CPlaybackReport.h"
#include "apps/common/CServicePlayer.h"
#include "apps/common/CWaveFileOutput.h"

#include "decode/CDVBAudioOutput.h"
#include "receiver/CDVBTransportStreamReceiver.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
#include <unistd.h>

namespace {

constexpr double kSettleSeconds = 1.0;   // a file's end: what is decoded still plays this long after the last

// "12 s  H.264 720x576i 25 fps, 250 shown, 0 dropped  |  MPEG audio 48 kHz stereo  |  A/V +3 ms"
std::string StatusLine(CServicePlayer& player, double seconds)
{
    CString video, sound;
    player.GetDescription(video, sound);
    const CDVBPresentationStatistics::Figures figures = player.GetStatistics().Get();
    std::ostringstream line;
    line << int(seconds) << " s";
    if (!video.IsEmpty())
        line << "  " << video.Str() << ", " << figures.presented << " shown, " << figures.dropped << " dropped";
    if (!sound.IsEmpty())
        line << "  |  " << sound.Str();
    else if (!player.GetSoundProblem().empty())
        line << "  |  no sound: " << player.GetSoundProblem();
    if (figures.avOffset.count > 0)
        line << "  |  A/V " << (figures.avOffset.p50 >= 0 ? "+" : "") << int(figures.avOffset.p50) << " ms";
    if (const CDVBTrackList::Track* subtitles = player.GetSubtitleTrack()) {
        line << "  |  subtitles " << subtitles->Describe() << ": " << player.GetSubtitlesShown() << " shown";
        if (const std::uint64_t errors = player.GetSubtitleErrors())
            line << ", " << errors << " damaged packets left out";
    }
    return line.str();
}

}  // namespace

int PlayCommand(CLumrxHost& host, const CLumrxOptions& options)
{
    if (options.arguments.size() < 2)
        return CCommandTable::UsageError("play needs a multiplex and a service");
    unsigned long number = 0;
    if (!CNumberArgument::ReadIdentifier(options.arguments[1], 0xFFFF, number))
        return CCommandTable::UsageError("service " + options.arguments[1] + ": " + CNumberArgument::kServiceRule);
    const WORD service = WORD(number);
    CReception reception(host, options);
    if (!reception.Resolve(true) || !reception.Open())
        return host.SayFailure();
    const std::string& name = reception.Name();

    CServicePlayer::Options playing;
    playing.video = !options.noVideo;
    playing.deinterlace = !options.noDeinterlace;
    playing.soundLanguage = options.audio;
    playing.subtitleLanguage = options.subtitles == "off" ? std::string() : options.subtitles;
    CDVBAudioOutput silent;   // --audio-out null: sound decoded and timed, not heard
    CWaveFileOutput wave;
    const std::string& out = options.audioOut;
    if (out == "null") {
        playing.audioOutput = &silent;
    } else if (out != "pulse") {
        if (COutputPath(out).IsBeingRead()) {
            std::cerr << "lumrx: " << out << " is the stream being played: it is not written over\n";
            return ExitUsage;
        }
        if (!wave.Open(out)) {
            std::cerr << "lumrx: " << out << ": cannot be written\n";
            return ExitRecordFailed;
        }
        playing.audioOutput = &wave;
    }
    for (const std::string& path : {options.stats, options.presentationLog})
        if (!path.empty() && COutputPath(path).IsBeingRead()) {
            std::cerr << "lumrx: " << path << " is the stream being played: it is not written over\n";
            return ExitUsage;
        }
    CPresentationLog log;
    if (!options.presentationLog.empty()) {
        if (!log.Open(options.presentationLog)) {
            std::cerr << "lumrx: " << options.presentationLog << ": cannot be written\n";
            return ExitRecordFailed;
        }
        playing.layer = &log;
    }

    std::string problem;
    const bool terminal = isatty(STDERR_FILENO);
    auto player = std::make_unique<CServicePlayer>(playing);
    {
        CDVBTransportStreamReceiver receiver(reception.Source(), nullptr, &reception.Clock());
        receiver.Initialise();
        const std::int64_t start = reception.Clock().GetMonotonicTime();
        double ended = -1;   // when the file was seen to end
        std::uint64_t lastCount = 0;
        int shown = -1;
        reception.Run(receiver, [&] {
            const double seconds = reception.SecondsSince(start);
            bool named = false;
            if (CHeardPrograms::PatHasCome(receiver, service, named) && !named) {
                problem = CHeardPrograms::NoService(receiver, service, name);
                return false;
            }
            switch (player->Play(receiver, service)) {
            case CServicePlayer::State::NoVideo:
                problem = "service " + std::to_string(service) + " of " + name + " has neither picture nor sound";
                return false;
            case CServicePlayer::State::NoPlugins:
                problem = "playing needs a decoder and a display plug-in (lumrx plugins lists them)";
                return false;
            case CServicePlayer::State::NoDecoder:
                problem = "the decoder plug-in cannot decode the video of service " + std::to_string(service);
                return false;
            case CServicePlayer::State::Waiting:
                if (seconds > options.timeout) {
                    problem = "no program map for service " + std::to_string(service) + " came from " + name;
                    return false;
                }
                break;
            default:
                break;
            }
            if (terminal && int(seconds) != shown) {
                shown = int(seconds);
                std::cerr << "\r" << StatusLine(*player, seconds) << "\033[K" << std::flush;
            }
            if (options.seconds > 0 && seconds >= options.seconds)
                return false;
            if (reception.HasEnded()) {
                const CDVBPresentationStatistics::Figures figures = player->GetStatistics().Get();
                const std::uint64_t count = figures.presented + figures.dropped + figures.samplesPlayed;
                if (ended < 0 || count != lastCount)
                    ended = seconds;   // still playing what was decoded
                lastCount = count;
                if (seconds - ended >= kSettleSeconds)
                    return false;
            }
            return reception.Pause();
        });
        if (terminal)
            std::cerr << "\n";
        std::cerr << StatusLine(*player, reception.SecondsSince(start)) << "\n";
        if (!playing.subtitleLanguage.empty() && player->GetSubtitleTrack() == nullptr && problem.empty())
            std::cerr << "lumrx: service " << service << " has no subtitles in " << playing.subtitleLanguage << "\n";
        if (!options.stats.empty() && !CPlaybackReport::Write(options.stats, *player))
            problem = options.stats + ": cannot be written";
        player->Stop();   // the decoders go before their receiver
        receiver.DeInitialise();
    }
    player.reset();
    reception.Close();
    if (!wave.Close() && problem.empty())
        problem = out + ": not written whole";
    if (!log.Close() && problem.empty())
        problem = options.presentationLog + ": not written whole";
    if (!problem.empty()) {
        std::cerr << "lumrx: " << problem << "\n";
        return ExitNothingFound;
    }
    return ExitOk;
}
