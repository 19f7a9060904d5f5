#include "TeletextCommand.h"

#include "CCommandTable.h"
#include "CHeardPrograms.h"
#include "CLumrxHost.h"
#include "CLumrxOptions.h"
#include "CNumberArgument.h"
#include "CReception.h"
#include "ExitCode.h"
#include "apps/common/CTeletextPages.h"

#include "decode/CDVBTeletextReceiver.h"
#include "receiver/CDVBTransportStreamReceiver.h"

#include <atomic>
#include <iostream>

int TeletextCommand(CLumrxHost& host, const CLumrxOptions& options)
{
    if (options.arguments.size() < 2)
        return CCommandTable::UsageError("teletext needs a multiplex and the PID of its teletext");
    unsigned long pid = 0;
    if (!CNumberArgument::ReadIdentifier(options.arguments[1], 0x1FFF, pid))
        return CCommandTable::UsageError("PID " + options.arguments[1] + ": " + CNumberArgument::kPidRule);
    const int page = options.page ? options.page : 100;
    CReception reception(host, options);
    if (!reception.Resolve(false) || !reception.Open())
        return host.SayFailure();
    const bool finite = reception.Finite() != nullptr;
    reception.Simulate(finite);   // a file as fast as it is read, its times its own
    CTeletextPages pages;
    // the receive thread's until the run has stopped
    std::uint64_t lines = 0;
    long long elapsed = 0;
    std::vector<std::string> rows;
    int subpage = 0;
    std::atomic<bool> taken{false};
    const long long at = options.at >= 0 ? (long long)(options.at * 90000) : -1;
    std::string components;
    {
        CDVBTransportStreamReceiver receiver(reception.Source(), nullptr, &reception.Clock());
        receiver.AddPIDReceiver(WORD(pid), new CDVBTeletextReceiver([&](const CDVBTeletextLine* got, int count, long long time) {
            if (taken)
                return;
            lines += std::uint64_t(count);
            // the page as it was when the stream reached --at, or as first received whole
            elapsed = pages.Advance(time);
            if (at >= 0 && elapsed >= at) {
                pages.GetPage(page, rows, subpage);
                taken = true;
                return;
            }
            pages.Decode(got, count);
            if (at < 0 && pages.GetTransmissions(page) > 0)
                taken = pages.GetPage(page, rows, subpage);
        }));
        receiver.Initialise();
        const std::int64_t start = reception.Clock().GetMonotonicTime();
        reception.Run(receiver, [&] {
            if (taken || reception.HasEnded() || (!finite && reception.SecondsSince(start) > options.timeout))
                return false;
            return finite ? reception.Simulated()->Run(10, 1000000, 1) : reception.Pause();
        });
        if (lines == 0)
            components = CHeardPrograms::ComponentList(receiver);
        receiver.DeInitialise();
    }
    reception.Close();
    if (rows.empty()) {
        if (lines == 0)
            std::cerr << "lumrx: no teletext on PID " << pid << " of " << reception.Name() << "; its components are "
                      << components << "\n";
        else if (at >= 0 && !taken)
            std::cerr << "lumrx: --at " << options.at << " is past the end: the teletext of " << reception.Name()
                      << " lasts " << double(elapsed) / 90000 << " s\n";
        else
            std::cerr << "lumrx: page " << page << " did not come on PID " << pid << " of " << reception.Name() << "\n";
        return ExitNothingFound;
    }
    while (!rows.empty() && rows.back().empty())
        rows.pop_back();
    for (const std::string& row : rows)
        std::cout << row << "\n";
    return ExitOk;
}
