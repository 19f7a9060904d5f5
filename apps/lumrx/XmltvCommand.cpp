#include "XmltvCommand.h"

#include "CLumrxHost.h"
#include "CLumrxOptions.h"
#include "CReception.h"
#include "CXmltvWriter.h"
#include "apps/common/CGuideReceiver.h"
#include "apps/common/COutputPath.h"

#include <fstream>
#include <iostream>
#include <sstream>

int XmltvCommand(CLumrxHost& host, const CLumrxOptions& options)
{
    CReception reception(host, options);
    const COutputPath out(options.output.empty() ? "-" : options.output);
    if (!reception.Resolve(false) || !reception.Open(&out, false))
        return host.SayFailure();
    const double seconds = options.seconds > 0 ? options.seconds : 30;
    std::ostringstream xml;
    std::size_t programmes = 0;
    {
        CGuideReceiver receiver(reception.Source(), nullptr);
        receiver.Initialise();
        const std::int64_t start = reception.Clock().GetMonotonicTime();
        reception.Run(receiver, [&] {
            return !reception.HasEnded() &&
                   (reception.Finite() || (!receiver.Guide().IsScheduleComplete() && reception.SecondsSince(start) < seconds)) &&
                   reception.Pause();
        });
        receiver.DeInitialise();
        programmes = CXmltvWriter::Write(receiver.Guide(), xml);
    }
    reception.Close();
    if (programmes == 0) {   // guide readers refuse a guide without programmes
        std::cerr << "lumrx: no event of a guide came from " << reception.Name() << "\n";
        return ExitNothingFound;
    }
    if (out.IsStandardOutput()) {
        std::cout << xml.str() << std::flush;
        return std::cout ? ExitOk : ExitRecordFailed;
    }
    std::ofstream file(out.GetPath(), std::ios::binary);
    file << xml.str();
    if (!file.flush()) {
        std::cerr << "lumrx: " << out.GetPath() << ": cannot be written\n";
        return ExitRecordFailed;
    }
    return ExitOk;
}
