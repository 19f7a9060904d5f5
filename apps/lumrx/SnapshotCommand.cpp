#include "SnapshotCommand.h"

#include "CCommandTable.h"
#include "CHeardPrograms.h"
#include "CLumrxHost.h"
#include "CLumrxOptions.h"
#include "CNumberArgument.h"
#include "CReception.h"
#include "CSnapshotLayer.h"
#include "PngWriter.h"
#include "apps/common/COutputPath.h"
#include "apps/common/CServicePlayer.h"
#include "apps/common/CTeletextSubtitles.h"

#include "decode/CDVBDisplay.h"
#include "decode/CDVBMediaDecoder.h"
#include "decode/CDVBProgramClock.h"
#include "decode/CDVBPullReceiver.h"
#include "decode/CDVBSubtitleDecoder.h"
#include "decode/CDVBSubtitleLayer.h"
#include "model/CDVBComponentDefinition.h"
#include "model/CDVBProgram.h"
#include "model/CDVBTrackList.h"
#include "platform/CSingleLock.h"
#include "plugins/CLUMDecoderPlugin.h"
#include "plugins/CLUMDisplayPlugin.h"
#include "plugins/CLUMPluginManager.h"
#include "receiver/CDVBTransportStreamReceiver.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <thread>
#include <vector>

int SnapshotCommand(CLumrxHost& host, const CLumrxOptions& options)
{
    if (options.arguments.size() < 3)
        return CCommandTable::UsageError("snapshot needs a multiplex, a service and a PNG file");
    unsigned long number = 0;
    if (!CNumberArgument::ReadIdentifier(options.arguments[1], 0xFFFF, number))
        return CCommandTable::UsageError("service " + options.arguments[1] + ": " + CNumberArgument::kServiceRule);
    const WORD service = WORD(number);
    CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
    auto* decoderPlugin = static_cast<CLUMDecoderPlugin*>(manager->GetPluginWithType(CLUMPlugin::TypeDecoder, 0));
    auto* displayPlugin = static_cast<CLUMDisplayPlugin*>(manager->GetPluginWithType(CLUMPlugin::TypeDisplay, 0));
    if (decoderPlugin == nullptr || displayPlugin == nullptr) {
        host.Fail(ExitUnknownPlugin, "a snapshot needs a decoder and a display plug-in (lumrx plugins lists them)");
        return host.SayFailure();
    }
    CReception reception(host, options);
    const COutputPath out(options.arguments[2]);
    if (!reception.Resolve(true) || !reception.Open(&out))
        return host.SayFailure();
    // a file plays at its own pace on a clock moved on here, as fast as the decoder keeps up
    const bool finite = reception.Finite() != nullptr;
    reception.Simulate(finite);
    CClock& clock = reception.Clock();
    const std::string& name = reception.Name();
    const double at = std::max(0.0, options.at);
    CSnapshotLayer layer(std::int64_t(at * 90000));
    std::vector<std::uint8_t> rgb;
    int width = 0, height = 0;
    std::string problem;   // why there is no picture, when it is known before the end
    {
        CDVBTransportStreamReceiver receiver(reception.Source(), nullptr, &clock);
        receiver.Initialise();
        CDVBDisplay* display = displayPlugin->OpenDisplay(0, 0);
        CDVBPIDReceiver* decoder = nullptr;
        CDVBPIDReceiver* subtitleDecoder = nullptr;   // DVB subtitles
        std::unique_ptr<CTeletextSubtitles> teletext;
        WORD subtitlePid = 0xFFFF;
        CDVBSubtitleLayer* subtitleLayer = nullptr;
        GUID cookie;
        cookie.Data1 = 0x534E4150;   // "SNAP": how the decoder is found again
        CDVBProgramClock programClock;
        programClock.SetTransportStreamReceiver(&receiver);
        const std::int64_t start = clock.GetMonotonicTime();
        reception.Run(receiver, [&] {
            if (layer.GetFrame(rgb, width, height))
                return false;
            bool named = false, mapped = false;
            if (decoder == nullptr && CHeardPrograms::PatHasCome(receiver, service, named) && !named) {
                problem = CHeardPrograms::NoService(receiver, service, name);
                return false;
            }
            if (decoder == nullptr && CServicePlayer::VideoPid(receiver, service, mapped) == 0xFFFF && mapped) {
                problem = "service " + std::to_string(service) + " of " + name + " has no video (a radio or data service)";
                return false;
            }
            CDVBComponentDefinition video;
            if (decoder == nullptr && CServicePlayer::FindVideo(receiver, service, video)) {
                if (!options.subtitles.empty() && options.subtitles != "off" && display) {
                    CDVBTrackList tracks;
                    {
                        CSingleLock guard(*receiver.GetProgramsSection());
                        if (const CDVBProgram* program = receiver.GetProgram(service))
                            tracks.Read(*program);
                    }
                    CDVBTrackList::Track asked;
                    const CDVBTrackList::Track* track = tracks.FindSubtitles(options.subtitles, asked) ? &asked : nullptr;
                    CDVBComponentDefinition component;
                    CDVBSubtitleLayer*& shown = subtitleLayer;
                    if (track && track->kind == CDVBTrackList::Kind::TeletextSubtitles) {
                        teletext = std::make_unique<CTeletextSubtitles>(track->page);
                        CDVBPIDReceiver* lines = teletext->MakeReceiver();
                        lines->SetCookie(&cookie);
                        receiver.AddPIDReceiver(track->pid, lines);
                        shown = &teletext->GetLayer();
                    } else if (track && receiver.GetComponentDefinition(service, track->pid, &component) &&
                               (subtitleDecoder = decoderPlugin->OpenComponent(&component))) {
                        if (auto* subtitles = dynamic_cast<CDVBSubtitleDecoder*>(subtitleDecoder)) {
                            subtitles->SetPages(track->compositionPage, track->ancillaryPage);
                            shown = &subtitles->GetLayer();
                        }
                        subtitleDecoder->SetCookie(&cookie);
                        receiver.AddPIDReceiver(track->pid, subtitleDecoder);
                    }
                    if (shown == nullptr) {
                        problem = "service " + std::to_string(service) + " of " + name + " has no subtitles in " + options.subtitles;
                        return false;
                    }
                    subtitlePid = track->pid;
                    display->AddDisplayLayer(shown);   // drawn before the picture is kept
                }
                if (!(display && display->AddDisplayLayer(&layer) && (decoder = decoderPlugin->OpenComponent(&video)))) {
                    problem = "no decoder or display for " + std::string(video.m_codecName.Str()) + " video";
                    return false;
                }
                if (finite) {   // a file starts again from its first packet, and its first picture
                    receiver.Stop();
                    receiver.WaitForStop(10000);
                }
                programClock.SetProgram(service);
                if (auto* media = dynamic_cast<CDVBMediaDecoder*>(decoder))
                    media->SetDeinterlacing(!options.noDeinterlace);
                decoder->SetProgramClock(&programClock);
                display->SetProgramClock(&programClock);
                decoder->SetDisplay(display);
                decoder->SetCookie(&cookie);
                receiver.AddPIDReceiver(video.m_pid, decoder);
                if (finite) {
                    receiver.Start();
                    reception.Simulated()->WaitForWaiters(1);
                }
            }
            if (reception.HasEnded() || (!finite && reception.SecondsSince(start) > std::max(30.0, at + 30)))
                return false;
            // simulated time moves on once the decoder has taken what came: a full ring would drop pictures
            auto* pull = dynamic_cast<CDVBPullReceiver*>(decoder);
            for (int waited = 0; finite && pull && !pull->IsCaughtUp() && waited < 10000; ++waited)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return finite ? reception.Simulated()->Run(10, 1000000, 1) : reception.Pause();
        });
        if (decoder) {   // handed back, decoded to its end, and closed by its plug-in
            receiver.RemovePIDReceiverWithCookie(decoder->GetPID(), &cookie);
            decoder->Stop();
            decoder->UnsetDisplay(display);
            decoderPlugin->CloseComponent(decoder);
        }
        if (display && subtitleLayer)
            display->RemoveDisplayLayer(subtitleLayer);
        if (subtitlePid != 0xFFFF) {
            CDVBPIDReceiver* subtitles = receiver.RemovePIDReceiverWithCookie(subtitlePid, &cookie);
            if (subtitleDecoder)
                decoderPlugin->CloseComponent(subtitleDecoder);
            else
                delete subtitles;
        }
        if (rgb.empty())
            layer.GetFrame(rgb, width, height);
        if (display) {
            display->RemoveDisplayLayer(&layer);
            displayPlugin->CloseDisplay(display);
        }
        bool named = false;
        if (rgb.empty() && problem.empty() && (!CHeardPrograms::PatHasCome(receiver, service, named) || !named))
            problem = CHeardPrograms::NoService(receiver, service, name);
        receiver.DeInitialise();
    }
    reception.Close();
    if (rgb.empty()) {
        const double seen = layer.GetSecondsSeen();
        if (!problem.empty())
            std::cerr << "lumrx: " << problem << "\n";
        else if (seen >= 0)
            std::cerr << "lumrx: --at " << at << " is past the end: " << name << " has " << seen
                      << " s of pictures of service " << service << "\n";
        else
            std::cerr << "lumrx: no picture of service " << service << " was decoded before "
                      << (finite ? name + " ended" : "the time ran out") << "\n";
        return ExitNothingFound;
    }
    if (!WritePng(out.GetPath(), rgb, width, height)) {
        std::cerr << "lumrx: " << out.GetPath() << ": cannot be written\n";
        return ExitRecordFailed;
    }
    std::cout << out.GetPath() << ": " << width << "x" << height << "\n";
    return ExitOk;
}
