#include "SubtitlesCommand.h"

#include "CCommandTable.h"
#include "CLumrxHost.h"
#include "CLumrxOptions.h"
#include "CNumberArgument.h"
#include "CReception.h"
#include "ExitCode.h"
#include "apps/common/COutputPath.h"
#include "apps/common/CTeletextPages.h"

#include "decode/CDVBTeletextReceiver.h"
#include "receiver/CDVBTransportStreamReceiver.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <vector>

namespace {

struct Cue
{
    long long start, end;   // 90 kHz from the first teletext packet
    std::string text;
};

// "00:01:02,345"
std::string SrtTime(long long ticks)
{
    const long long ms = (ticks + 45) / 90;
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld,%03lld", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
    return text;
}

}  // namespace

int SubtitlesCommand(CLumrxHost& host, const CLumrxOptions& options)
{
    if (options.arguments.size() < 3)
        return CCommandTable::UsageError("subtitles needs a multiplex, the PID of its teletext and an SRT file to write");
    unsigned long pid = 0;
    if (!CNumberArgument::ReadIdentifier(options.arguments[1], 0x1FFF, pid))
        return CCommandTable::UsageError("PID " + options.arguments[1] + ": " + CNumberArgument::kPidRule);
    CReception reception(host, options);
    const COutputPath out(options.arguments[2]);
    if (!reception.Resolve(false) || !reception.Open(&out, false))
        return host.SayFailure();
    const bool finite = reception.Finite() != nullptr;
    reception.Simulate(finite);
    CTeletextPages pages;
    // the receive thread's until the run has stopped
    long long elapsed = 0;
    int page = options.page, seen = 0;
    std::uint64_t lines = 0;
    std::vector<Cue> cues;
    bool showing = false;
    {
        CDVBTransportStreamReceiver receiver(reception.Source(), nullptr, &reception.Clock());
        receiver.AddPIDReceiver(WORD(pid), new CDVBTeletextReceiver([&](const CDVBTeletextLine* got, int count, long long time) {
            lines += std::uint64_t(count);
            elapsed = pages.Advance(time);
            pages.Decode(got, count);
            if (page == 0)
                page = pages.GetFirstSubtitlePage();
            const int transmissions = page ? pages.GetTransmissions(page) : 0;
            if (transmissions == seen)
                return;
            seen = transmissions;
            std::vector<std::string> rows;
            int subpage = 0;
            std::string text;
            if (pages.GetPage(page, rows, subpage))
                for (std::size_t row = 1; row < rows.size(); ++row) {   // the header is not the subtitle's
                    const std::size_t from = rows[row].find_first_not_of(' ');
                    if (from != std::string::npos)
                        text += (text.empty() ? "" : "\n") + rows[row].substr(from);
                }
            if (showing && text == cues.back().text)
                return;   // sent again as it was
            if (showing)
                cues.back().end = elapsed;
            showing = !text.empty();
            if (showing)
                cues.push_back({elapsed, -1, text});
        }));
        receiver.Initialise();
        const std::int64_t start = reception.Clock().GetMonotonicTime();
        reception.Run(receiver, [&] {
            if (reception.HasEnded() || (!finite && options.seconds > 0 && reception.SecondsSince(start) > options.seconds))
                return false;
            return finite ? reception.Simulated()->Run(10, 1000000, 1) : reception.Pause();
        });
        receiver.DeInitialise();
    }
    reception.Close();
    if (showing)
        cues.back().end = elapsed;   // still shown at the end: until the last packet
    if (cues.empty()) {
        if (lines == 0)
            std::cerr << "lumrx: no teletext on PID " << pid << " of " << reception.Name() << "\n";
        else if (page == 0)
            std::cerr << "lumrx: no subtitle page came on PID " << pid << " of " << reception.Name() << "\n";
        else
            std::cerr << "lumrx: page " << page << " on PID " << pid << " of " << reception.Name() << " had no subtitles\n";
        return ExitNothingFound;
    }
    std::ofstream srt(out.GetPath(), std::ios::binary | std::ios::trunc);
    for (std::size_t i = 0; i < cues.size(); ++i)
        srt << i + 1 << "\n" << SrtTime(cues[i].start) << " --> " << SrtTime(cues[i].end) << "\n" << cues[i].text << "\n\n";
    srt.flush();
    if (!srt) {
        std::cerr << "lumrx: " << out.GetPath() << ": cannot be written\n";
        return ExitRecordFailed;
    }
    std::cout << out.GetPath() << ": " << cues.size() << " subtitles of page " << page << "\n";
    return ExitOk;
}
