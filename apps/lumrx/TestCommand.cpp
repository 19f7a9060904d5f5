#include "TestCommand.h"

#include "CInterruption.h"
#include "CLiveBlock.h"
#include "CLumrxHost.h"
#include "CLumrxOptions.h"
#include "CReception.h"

#include "core/CDVBFiniteSource.h"
#include "core/CDVBTransportStreamSource.h"
#include "plugins/CTestMultiplexBehaviour.h"
#include "receiver/CDVBTransportStreamReceiver.h"
#include "si/CDVBText.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

namespace {

// What a test shows on its first line: the status, with what the dialog cannot say there,
// the rate at which data arrives, "no PCR" rather than a rate of 0, and simulated time named.
std::string StatusLine(const CTestMultiplexBehaviour& test, double arrivingMbps, bool simulated)
{
    std::string status = CDVBText::ToUTF8(test.GetStatusText());
    const std::string receiving = "Data is being received";
    if (status.compare(0, receiving.size(), receiving) != 0)
        return status;
    // the stream's own state, after everything else
    const std::size_t open = std::min(status.rfind(" ("), status.size());
    const std::string state = status.substr(open);
    status.erase(open);
    const std::size_t bracket = std::min(status.find(" ["), status.size());
    std::string rates = status.substr(0, bracket), where = status.substr(bracket);
    if (test.GetReceiver()->GetBitrate() == 0)
        rates = receiving + " (no PCR)";
    if (arrivingMbps >= 0) {
        char text[64];
        std::snprintf(text, sizeof text, ", arriving at %.2f Mbit/s", arrivingMbps);
        rates += text;
    }
    const std::string real = ", in real time";
    if (simulated && where.find(real) != std::string::npos)
        where.replace(where.find(real), real.size(), ", in simulated time");
    return rates + where + state;
}

std::string ServiceLine(const std::pair<WORD, CString>& row)
{
    return "service " + std::to_string(row.first) + "  " + CDVBText::ToUTF8(row.second);
}

// The status of a test as lines: the status text, then one line per service.
std::vector<std::string> StatusLines(const CTestMultiplexBehaviour& test, const std::string& status)
{
    std::vector<std::string> lines;
    if (!test.GetStatusText().IsEmpty())   // empty while the multiplex opens
        lines.push_back((test.IsStatusWarning() ? "! " : "  ") + status);
    for (const auto& row : test.GetRows())
        lines.push_back(ServiceLine(row));
    return lines;
}

}  // namespace

int TestCommand(CLumrxHost& host, const CLumrxOptions& options)
{
    CReception reception(host, options);
    if (!reception.Resolve(true))
        return host.SayFailure();
    reception.Simulate(options.simulate);
    CClock& clock = reception.Clock();
    CTestMultiplexBehaviour test(reception.Plugin(), reception.Definition(), &clock);
    std::cout << test.GetCaption().Str() << "\n";
    const bool terminal = ::isatty(STDOUT_FILENO);
    CLiveBlock block(std::cout);
    std::size_t rowsShown = 0;    // service lines printed, when piped
    bool dataSeen = false;
    const std::int64_t start = clock.GetMonotonicTime();
    std::int64_t rateSince = start;   // the arrival rate over the last second or so
    std::uint64_t packetsSince = 0;
    double arriving = -1;
    for (;;) {
        const bool opening = !test.IsOpen();
        test.OnTimer();
        if (!test.IsOpen()) {
            host.FailToOpen(reception.Plugin(), reception.Name(), reception.Definition());
            return host.SayFailure();
        }
        if (opening && options.simulate && !reception.Simulated()->WaitForWaiters(1)) {
            std::cerr << "lumrx: the receiver did not start\n";
            return ExitOpenFailed;
        }
        const std::uint64_t packets = test.GetReceiver()->GetPacketsReceived();
        dataSeen = dataSeen || packets > 0;
        const std::int64_t now = clock.GetMonotonicTime();
        if (now - rateSince >= 1000000000) {
            arriving = double(packets - packetsSince) * 188 * 8 / (double(now - rateSince) / 1e9) / 1e6;
            rateSince = now;
            packetsSince = packets;
        }
        auto* finite = dynamic_cast<CDVBFiniteSource*>(test.GetSource());
        const bool ended = finite && finite->HasEnded();   // a file that does not loop ends the run
        const std::vector<std::string> lines = StatusLines(test, StatusLine(test, arriving, options.simulate));
        if (terminal) {
            block.Draw(lines);
        } else {
            for (; rowsShown < test.GetRows().size(); ++rowsShown)
                std::cout << ServiceLine(test.GetRows()[rowsShown]) << "\n";
            if (!lines.empty() && !test.GetStatusText().IsEmpty())
                std::cout << lines.front() << "\n" << std::flush;
        }
        if (ended || CInterruption::IsRequested() || (options.seconds > 0 && reception.SecondsSince(start) >= options.seconds))
            break;
        if (!reception.Pause()) {
            std::cerr << "lumrx: the receiver stopped keeping time\n";
            break;
        }
    }
    if (!terminal) {   // the renamed rows, as they stand at the end
        for (const auto& row : test.GetRows())
            std::cout << ServiceLine(row) << "\n";
    }
    if (!test.Close())
        std::cerr << "lumrx: Failed to stop transport stream receiver.\n";
    if (!dataSeen) {
        std::cerr << "lumrx: no data was received\n";
        return ExitNothingFound;
    }
    return ExitOk;
}
