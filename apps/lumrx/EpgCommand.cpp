#include "EpgCommand.h"

#include "CLumrxHost.h"
#include "CLumrxOptions.h"
#include "CReception.h"

#include "apps/common/COutputPath.h"

#include "model/CDVBSICollector.h"
#include "receiver/CDVBTransportStreamReceiver.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <iostream>

int EpgCommand(CLumrxHost& host, const CLumrxOptions& options)
{
    CReception reception(host, options);
    if (!reception.Resolve(false))
        return host.SayFailure();
    if (::mkdir("epg", 0755) != 0 && errno != EEXIST) {
        std::cerr << "lumrx: cannot create the folder epg: " << std::strerror(errno) << "\n";
        return ExitRecordFailed;
    }
    const COutputPath out(CDVBSICollector::FileName);
    if (!reception.Open(&out))
        return host.SayFailure();
    const double seconds = options.seconds > 0 ? options.seconds : 30;
    CDVBSICollector collector;
    {
        CDVBTransportStreamReceiver receiver(reception.Source(), nullptr);
        receiver.SetSICollector(&collector);
        collector.EnableUpdates(true);
        receiver.Initialise();
        const std::int64_t start = reception.Clock().GetMonotonicTime();
        reception.Run(receiver, [&] {
            return !reception.HasEnded() && (reception.Finite() || reception.SecondsSince(start) < seconds) && reception.Pause();
        });
        receiver.DeInitialise();
        receiver.SetSICollector(nullptr);
    }
    reception.Close();
    collector.Update();   // all that came, whenever the last periodic write was
    std::cout << CDVBSICollector::FileName << "\n";
    return ExitOk;
}
