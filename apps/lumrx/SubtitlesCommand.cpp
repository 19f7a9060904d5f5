#include "SubtitlesCommand.h"

#include "CCommandTable.h"
#include "CFirstPcrs.h"
#include "CLumrxHost.h"
#include "CLumrxOptions.h"
#include "CNumberArgument.h"
#include "CReception.h"
#include "ExitCode.h"
#include "PngWriter.h"
#include "apps/common/COutputPath.h"
#include "apps/common/CTeletextPages.h"

#include "decode/CDVBSubtitleCue.h"
#include "decode/CDVBSubtitleDecoder.h"
#include "decode/CDVBTeletextReceiver.h"
#include "model/CDVBComponentDefinition.h"
#include "model/CDVBProgramList.h"
#include "platform/CSingleLock.h"
#include "plugins/CLUMDecoderPlugin.h"
#include "plugins/CLUMPluginManager.h"
#include "receiver/CDVBTransportStreamReceiver.h"

#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <vector>

namespace {

struct Cue
{
    long long start, end;   // 90 kHz presentation times; end -1 while shown
    std::string text;       // teletext
    int x = 0, y = 0, width = 0, height = 0;   // DVB subtitles, on a frame of the display definition's size
    std::string file;
};

// "00:01:02,345"
std::string SrtTime(long long ticks)
{
    const long long ms = std::max(0LL, (ticks + 45) / 90);
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld,%03lld", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
    return text;
}

// The teletext subtitle page's text, its header left out; empty when it is cleared.
std::string SubtitleText(CTeletextPages& pages, int page)
{
    std::vector<std::string> rows;
    int subpage = 0;
    std::string text;
    if (pages.GetPage(page, rows, subpage))
        for (std::size_t row = 1; row < rows.size(); ++row) {
            const std::size_t from = rows[row].find_first_not_of(' ');
            if (from != std::string::npos)
                text += (text.empty() ? "" : "\n") + rows[row].substr(from);
        }
    return text;
}

// Where a folder of cues goes: made, or one already there and empty; never one with files.
bool MakeFolder(const std::string& path, std::string& problem)
{
    if (::mkdir(path.c_str(), 0777) == 0)
        return true;
    struct stat info{};
    if (errno == EEXIST && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        const std::string probe = path + "/cues.json";
        if (::stat(probe.c_str(), &info) != 0 && ::stat((path + "/0001.png").c_str(), &info) != 0)
            return true;
        problem = path + " already holds subtitles: name a new folder";
        return false;
    }
    problem = path + ": cannot be made (" + std::strerror(errno) + ")";
    return false;
}

}  // namespace

int SubtitlesCommand(CLumrxHost& host, const CLumrxOptions& options)
{
    if (options.arguments.size() < 3)
        return CCommandTable::UsageError("subtitles needs a multiplex, the PID of its subtitles and where to write them");
    unsigned long number = 0;
    if (!CNumberArgument::ReadIdentifier(options.arguments[1], 0x1FFF, number))
        return CCommandTable::UsageError("PID " + options.arguments[1] + ": " + CNumberArgument::kPidRule);
    const WORD pid = WORD(number);
    CReception reception(host, options);
    const COutputPath out(options.arguments[2]);
    if (!reception.Resolve(false) || !reception.Open(&out, false))
        return host.SayFailure();
    const bool finite = reception.Finite() != nullptr;
    reception.Simulate(finite);
    const std::string& name = reception.Name();

    // both kinds are listened for: the PES packets say which the PID carries
    CTeletextPages pages;
    int page = options.page, seen = 0;
    std::uint64_t lines = 0;
    long long elapsed = 0, firstPts = -1, lastPts = -1;
    std::vector<Cue> cues;   // teletext
    bool showing = false;
    std::vector<Cue> pictures;   // DVB subtitles, whose pixels are written as they come
    int frameWidth = 720, frameHeight = 576;
    std::string folderProblem;
    bool folderMade = false;
    std::uint64_t dvbErrors = 0;
    long long origin = -1;

    CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
    auto* decoderPlugin = static_cast<CLUMDecoderPlugin*>(manager->GetPluginWithType(CLUMPlugin::TypeDecoder, 0));
    CDVBComponentDefinition component;
    component.m_pid = pid;
    component.m_codecName = "dvb_subtitle";
    CDVBPIDReceiver* decoder = decoderPlugin ? decoderPlugin->OpenComponent(&component) : nullptr;
    auto* subtitles = dynamic_cast<CDVBSubtitleDecoder*>(decoder);
    GUID cookie{};
    cookie.Data1 = 0x53554254;   // "SUBT"
    {
        CDVBTransportStreamReceiver receiver(reception.Source(), nullptr, &reception.Clock());
        CFirstPcrs pcrs;
        pcrs.Watch(receiver);
        receiver.AddPIDReceiver(pid, new CDVBTeletextReceiver([&](const CDVBTeletextLine* got, int count, long long time) {
            lines += std::uint64_t(count);
            if (firstPts < 0)
                firstPts = time;
            elapsed = pages.Advance(time);
            pages.Decode(got, count);
            if (page == 0)
                page = pages.GetFirstSubtitlePage();
            const int transmissions = page ? pages.GetTransmissions(page) : 0;
            if (transmissions == seen)
                return;
            seen = transmissions;
            const std::string text = SubtitleText(pages, page);
            if (showing && text == cues.back().text)
                return;   // sent again as it was
            if (showing)
                cues.back().end = elapsed;
            showing = !text.empty();
            if (showing)
                cues.push_back({elapsed, -1, text, 0, 0, 0, 0, std::string()});
        }));
        if (subtitles) {
            subtitles->SetCueHandler([&](const CDVBSubtitleCue& cue) {
                lastPts = std::max(lastPts, cue.start);
                if (!pictures.empty() && (pictures.back().end < 0 || pictures.back().end > cue.start))
                    pictures.back().end = cue.start;   // replaced or cleared
                if (cue.IsClear())
                    return;
                if (!folderMade && folderProblem.empty())
                    folderMade = MakeFolder(out.GetPath(), folderProblem);
                if (!folderMade)
                    return;
                char file[16];
                std::snprintf(file, sizeof file, "%04zu.png", pictures.size() + 1);
                if (!WritePng(out.GetPath() + "/" + file, cue.rgba, cue.width, cue.height, true)) {
                    folderProblem = out.GetPath() + "/" + file + ": cannot be written";
                    return;
                }
                frameWidth = cue.frameWidth;
                frameHeight = cue.frameHeight;
                pictures.push_back({cue.start, cue.end, std::string(), cue.x, cue.y, cue.width, cue.height, file});
            });
            decoder->SetCookie(&cookie);
            receiver.AddPIDReceiver(pid, decoder);
        }
        receiver.Initialise();
        const std::int64_t start = reception.Clock().GetMonotonicTime();
        reception.Run(receiver, [&] {
            if (reception.HasEnded() || (!finite && options.seconds > 0 && reception.SecondsSince(start) > options.seconds))
                return false;
            return finite ? reception.Simulated()->Run(10, 1000000, 1) : reception.Pause();
        });
        if (subtitles) {
            dvbErrors = subtitles->GetErrors();
            receiver.RemovePIDReceiverWithCookie(pid, &cookie);
            decoderPlugin->CloseComponent(decoder);
        }
        // the start of the stream: the first PCR of the subtitles' program, else their first PTS
        {
            CSingleLock guard(*receiver.GetProgramsSection());
            for (const CDVBProgram* program : *receiver.GetProgramsList())
                for (const CDVBProgramElement* element : program->m_elements)
                    if (element->m_elementaryPid == pid && program->m_pcrPid < 0x1FFF && origin < 0)
                        origin = pcrs.Get(program->m_pcrPid);
        }
        receiver.DeInitialise();
    }
    reception.Close();
    if (!pictures.empty() || !folderProblem.empty()) {
        if (!folderProblem.empty()) {
            std::cerr << "lumrx: " << folderProblem << "\n";
            return ExitRecordFailed;
        }
        if (origin < 0)
            origin = pictures.front().start;
        nlohmann::json list = nlohmann::json::array();
        for (const Cue& cue : pictures) {
            const long long end = cue.end >= 0 ? cue.end : std::max(lastPts, cue.start);
            list.push_back({{"file", cue.file}, {"start", double(cue.start - origin) / 90000}, {"end", double(end - origin) / 90000},
                            {"start_pts", cue.start}, {"end_pts", end}, {"x", cue.x}, {"y", cue.y},
                            {"width", cue.width}, {"height", cue.height}});
        }
        const nlohmann::json document = {{"frame", {{"width", frameWidth}, {"height", frameHeight}}}, {"cues", list}};
        std::ofstream json(out.GetPath() + "/cues.json", std::ios::trunc);
        json << document.dump(1) << "\n";
        json.flush();
        if (!json) {
            std::cerr << "lumrx: " << out.GetPath() << "/cues.json: cannot be written\n";
            return ExitRecordFailed;
        }
        std::cout << out.GetPath() << ": " << pictures.size() << " DVB subtitles";
        if (dvbErrors)
            std::cout << " (" << dvbErrors << " damaged packets left out)";
        std::cout << "\n";
        return ExitOk;
    }
    if (showing)
        cues.back().end = elapsed;   // still shown at the end: until the last packet
    if (cues.empty()) {
        if (lines == 0 && subtitles && dvbErrors)
            std::cerr << "lumrx: PID " << pid << " of " << name << " carries neither teletext nor DVB subtitles that could be read\n";
        else if (lines == 0)
            std::cerr << "lumrx: no teletext or DVB subtitles on PID " << pid << " of " << name << "\n";
        else if (page == 0)
            std::cerr << "lumrx: no subtitle page came on PID " << pid << " of " << name << "\n";
        else
            std::cerr << "lumrx: page " << page << " on PID " << pid << " of " << name << " had no subtitles\n";
        return ExitNothingFound;
    }
    // teletext time is counted from its first packet; the stream began before it
    const long long lead = origin >= 0 && firstPts >= origin ? firstPts - origin : 0;
    std::ofstream srt(out.GetPath(), std::ios::binary | std::ios::trunc);
    for (std::size_t i = 0; i < cues.size(); ++i)
        srt << i + 1 << "\n" << SrtTime(lead + cues[i].start) << " --> " << SrtTime(lead + cues[i].end) << "\n" << cues[i].text << "\n\n";
    srt.flush();
    if (!srt) {
        std::cerr << "lumrx: " << out.GetPath() << ": cannot be written\n";
        return ExitRecordFailed;
    }
    std::cout << out.GetPath() << ": " << cues.size() << " subtitles of page " << page << "\n";
    return ExitOk;
}
