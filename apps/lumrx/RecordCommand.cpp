#include "RecordCommand.h"

#include "CCommandTable.h"
#include "CHeardPrograms.h"
#include "CLumrxHost.h"
#include "CLumrxOptions.h"
#include "CReception.h"

#include "apps/common/COutputPath.h"

#include "core/CDVBRecordingParameters.h"
#include "core/CDVBTiming.h"
#include "receiver/CDVBTransportStreamReceiver.h"
#include "si/CDVBServiceRecordingFilter.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>

int RecordCommand(CLumrxHost& host, const CLumrxOptions& options)
{
    if (options.arguments.size() < 2)
        return CCommandTable::UsageError("record needs a multiplex and a file to record to (- for standard output)");
    CReception reception(host, options);
    const COutputPath out(options.arguments[1]);
    if (!reception.Resolve(true) || !reception.Open(&out))
        return host.SayFailure();
    const bool created = out.IsNew();
    reception.Simulate(options.simulate);
    CClock& clock = reception.Clock();
    const WORD service = WORD(options.service >= 0 ? options.service : 0);
    CDVBServiceRecordingFilter oneService(service);
    int result = ExitOk;
    bool missing = false;   // the PAT came without the service
    {
        CDVBTransportStreamReceiver receiver(reception.Source(), nullptr, &clock);
        receiver.Initialise();
        CDVBRecordingParameters parameters;
        parameters.m_fileName = out.GetPath().c_str();
        if (out.IsStandardOutput())
            parameters.m_fileDescriptor = STDOUT_FILENO;
        parameters.m_waitForFreeBuffers = options.simulate;   // simulated time waits for the disk: no read is left out
        if (options.service >= 0)
            parameters.m_filter = &oneService;
        if (!receiver.StartRecording(&parameters)) {
            std::cerr << "lumrx: " << out.GetName() << ": " << std::strerror(receiver.GetRecorder().GetError()) << "\n";
            result = ExitRecordFailed;
        } else {
            const std::int64_t start = clock.GetMonotonicTime();
            bool named = false;
            reception.Run(receiver, [&] {
                if (reception.HasEnded() || (options.seconds > 0 && reception.SecondsSince(start) >= options.seconds))
                    return false;
                if (options.service >= 0 && CHeardPrograms::PatHasCome(receiver, service, named) && !named) {
                    missing = true;
                    return false;
                }
                return reception.Pause();
            });
            receiver.StopRecording();   // the last read was dispatched, and recorded, as the receiver stopped
            missing = missing || (options.service >= 0 && (!CHeardPrograms::PatHasCome(receiver, service, named) || !named));
            const CDVBRecorder& recorder = receiver.GetRecorder();
            if (missing) {
                std::cerr << "lumrx: " << CHeardPrograms::NoService(receiver, service, reception.Name()) << "\n";
                result = ExitNothingFound;
            } else if (recorder.GetError() != 0) {
                std::cerr << "lumrx: " << out.GetName() << ": " << std::strerror(recorder.GetError()) << "\n";
                result = ExitRecordFailed;
            } else {
                out.Report() << out.GetName() << ": " << recorder.GetBytesWritten() << " bytes ("
                             << recorder.GetBytesWritten() / 188 << " packets) recorded";
                if (recorder.GetReadsDropped() > 0)
                    out.Report() << ", " << recorder.GetReadsDropped() << " reads lost: the disk fell behind";
                if (receiver.GetGaps() > 0) {   // the same file goes on across them
                    char seconds[32];
                    std::snprintf(seconds, sizeof seconds, "%.1f", double(receiver.GetGapTime()) / CDVBTiming::GetSystemClockFrequency());
                    out.Report() << ", reception lost " << receiver.GetGaps() << (receiver.GetGaps() == 1 ? " time, " : " times, ")
                                 << seconds << " s without data";
                }
                if (recorder.GetWriteErrors() > 0)   // tried again and written: said, not fatal
                    out.Report() << ", " << recorder.GetWriteErrors() << " writes failed once and were tried again ("
                                 << std::strerror(recorder.GetFirstWriteError()) << ")";
                out.Report() << "\n";
            }
        }
        receiver.DeInitialise();
    }
    reception.Close();
    if (missing && created)
        std::remove(out.GetPath().c_str());   // nothing of the service: leave nothing behind
    return result;
}
