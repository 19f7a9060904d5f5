#include "ServicesCommand.h"

#include "CLumrxHost.h"
#include "CLumrxOptions.h"
#include "CReception.h"
#include "CServiceScanReceiver.h"
#include "apps/common/CServiceReport.h"

#include "core/CDVBTransportStreamSource.h"
#include "plugins/CDVBMultiplexDefinition.h"
#include "si/CDVBText.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>

int ServicesCommand(CLumrxHost& host, const CLumrxOptions& options)
{
    CReception reception(host, options);
    if (!reception.Resolve(false) || !reception.Open())
        return host.SayFailure();
    const bool finite = reception.Finite() != nullptr;
    const bool progress = finite && ::isatty(STDERR_FILENO);
    CServiceReport report;
    {
        CServiceScanReceiver receiver(reception.Source(), nullptr);
        receiver.Initialise();
        // A file that ends ends the wait; a live input waits at most the time-out.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(options.timeout);
        auto lastProgress = std::chrono::steady_clock::now();
        reception.Run(receiver, [&] {
            if (receiver.IsComplete() || reception.HasEnded() || (!finite && std::chrono::steady_clock::now() > deadline))
                return false;
            receiver.SectionEvent().Wait(20);
            if (progress && std::chrono::steady_clock::now() - lastProgress > std::chrono::milliseconds(250)) {
                CString status;
                reception.Source()->GetStatus(status);
                std::fprintf(stderr, "\r%s\033[K", static_cast<const char*>(status));
                lastProgress = std::chrono::steady_clock::now();
            }
            return true;
        });
        if (progress)
            std::fprintf(stderr, "\r\033[K");
        report.Take(receiver);
        WORD originalNetworkId = 0;
        CString network;
        const bool known = receiver.GetNetwork(originalNetworkId, network);
        report.SetNetwork(known ? std::optional<int>(originalNetworkId) : std::nullopt, CDVBText::ToUTF8(network));
        receiver.DeInitialise();
    }
    reception.Close();
    if (report.Services().empty()) {
        std::cerr << "lumrx: no service found in " << reception.Definition()->GetName().Str() << "\n";
        return ExitNothingFound;
    }
    if (options.json)
        std::cout << report.ToJson().dump(2) << "\n";
    else
        report.PrintTable(std::cout);
    return ExitOk;
}
