#include "ExtractCommand.h"

#include "CCommandTable.h"
#include "CElementaryStreamWriter.h"
#include "CHeardPrograms.h"
#include "CLumrxHost.h"
#include "CLumrxOptions.h"
#include "CNumberArgument.h"
#include "CReception.h"

#include "apps/common/COutputPath.h"

#include "receiver/CDVBTransportStreamReceiver.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

int ExtractCommand(CLumrxHost& host, const CLumrxOptions& options)
{
    if (options.arguments.size() < 3)
        return CCommandTable::UsageError("extract needs a multiplex, a PID and a file to write (- for standard output)");
    unsigned long pid = 0;
    if (!CNumberArgument::ReadIdentifier(options.arguments[1], 0x1FFF, pid))
        return CCommandTable::UsageError("PID " + options.arguments[1] + ": " + CNumberArgument::kPidRule);
    CReception reception(host, options);
    const COutputPath out(options.arguments[2]);
    if (!reception.Resolve(false) || !reception.Open(&out))
        return host.SayFailure();
    const bool created = out.IsNew();
    std::FILE* file = out.IsStandardOutput() ? stdout : std::fopen(out.GetPath().c_str(), "wb");
    if (file == nullptr) {
        std::cerr << "lumrx: " << out.GetPath() << ": " << std::strerror(errno) << "\n";
        return ExitRecordFailed;
    }
    std::uint64_t written = 0, packets = 0;
    int error = 0;
    std::string components;
    {
        CDVBTransportStreamReceiver receiver(reception.Source(), nullptr);
        auto* writer = new CElementaryStreamWriter(file);
        receiver.AddPIDReceiver(WORD(pid), writer);   // the receiver owns it
        receiver.Initialise();
        const std::int64_t start = reception.Clock().GetMonotonicTime();
        reception.Run(receiver, [&] {
            return !reception.HasEnded() && writer->GetError() == 0 &&
                   (options.seconds <= 0 || reception.SecondsSince(start) < options.seconds) && reception.Pause();
        });
        writer->Finish();   // the receive thread has stopped: the last buffer can go
        written = writer->GetBytesWritten();
        packets = writer->GetPacketsReceived();
        error = writer->GetError();
        if (packets == 0)
            components = CHeardPrograms::ComponentList(receiver);
        receiver.DeInitialise();
    }
    reception.Close();
    if (std::fflush(file) != 0 && error == 0)
        error = errno;
    if (file != stdout && std::fclose(file) != 0 && error == 0)
        error = errno;
    if (error != 0) {
        std::cerr << "lumrx: " << out.GetName() << ": " << std::strerror(error) << "\n";
        return ExitRecordFailed;
    }
    if (packets == 0 || written == 0) {
        if (created)
            std::remove(out.GetPath().c_str());
        if (packets == 0)
            std::cerr << "lumrx: no PID 0x" << std::hex << std::uppercase << pid << std::dec << " (" << pid << ") in "
                      << reception.Name() << "; its components are " << components << "\n";
        else
            std::cerr << "lumrx: PID " << pid << " of " << reception.Name() << " carries no elementary stream\n";
        return ExitNothingFound;
    }
    out.Report() << out.GetName() << ": " << written << " bytes of PID " << pid << "\n";
    return ExitOk;
}
