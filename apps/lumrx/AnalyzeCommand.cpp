#include "AnalyzeCommand.h"

#include "CLumrxHost.h"
#include "CLumrxOptions.h"
#include "CReception.h"
#include "ExitCode.h"

#include "apps/common/CAnalysisReport.h"

#include "receiver/CDVBTransportStreamReceiver.h"
#include "si/CDVBStreamAnalyser.h"

#include <iostream>

int AnalyzeCommand(CLumrxHost& host, const CLumrxOptions& options)
{
    CReception reception(host, options);
    if (!reception.Resolve(false) || !reception.Open())
        return host.SayFailure();
    // a file to its end unless told otherwise; a live input for 10 seconds
    const bool finite = reception.Finite() != nullptr;
    const double seconds = options.seconds > 0 ? options.seconds : finite ? 0 : 10;
    CDVBStreamAnalyser analyser;
    {
        CDVBTransportStreamReceiver receiver(reception.Source(), nullptr, &reception.Clock());
        receiver.SetStreamAnalyser(&analyser);
        receiver.Initialise();
        const std::int64_t start = reception.Clock().GetMonotonicTime();
        reception.Run(receiver, [&] {
            return !reception.HasEnded() && (seconds <= 0 || reception.SecondsSince(start) < seconds) && reception.Pause();
        });
        receiver.DeInitialise();
    }
    reception.Close();
    const CDVBStreamAnalysis analysis = analyser.GetAnalysis();
    if (analysis.packets == 0) {
        std::cerr << "lumrx: no packet came from " << reception.Name() << "\n";
        return ExitNothingFound;
    }
    if (options.json)
        std::cout << CAnalysisReport::ToJson(analysis).dump(2) << "\n";
    else
        CAnalysisReport::WriteText(std::cout, analysis);
    return ExitOk;
}
