// lumrx: receives DVB multiplexes with LUMCore from the command line.
#include "CElementaryStreamWriter.h"
#include "apps/common/CGuideReceiver.h"
#include "apps/common/CServicePlayer.h"
#include "CLumrxHost.h"
#include "apps/common/CServiceReport.h"
#include "CServiceScanReceiver.h"
#include "CSnapshotLayer.h"
#include "PngWriter.h"
#include "CXmltvWriter.h"
#include "ExitCode.h"

#include "core/CDVBFiniteSource.h"
#include "core/CDVBRecordingParameters.h"
#include "core/CDVBServiceRecordingFilter.h"
#include "core/CDVBTransportStreamReceiver.h"
#include "decode/CDVBDisplay.h"
#include "decode/CDVBProgramClock.h"
#include "model/CDVBComponentDefinition.h"
#include "model/CDVBSICollector.h"
#include "platform/CSingleLock.h"
#include "plugins/CLUMDecoderPlugin.h"
#include "plugins/CLUMDisplayPlugin.h"
#include "core/CDVBTransportStreamSource.h"
#include "platform/CClock.h"
#include "platform/CEvent.h"
#include "platform/CManualClock.h"
#include "platform/DebugOutput.h"
#include "plugins/CDVBMultiplexDefinition.h"
#include "plugins/CLUMInputPlugin.h"
#include "plugins/CLUMInputPluginExtension.h"
#include "plugins/CLUMPluginManager.h"
#include "plugins/CTestMultiplexBehaviour.h"
#include "si/CDVBText.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* const kUsage =
    "usage: lumrx [--debug] COMMAND [ARGUMENTS]\n"
    "  plugins                               the plug-ins beside lumrx\n"
    "  list [--plugin P]                     the multiplex definitions of an input plug-in\n"
    "  add [--plugin P] FIELD...             add a definition (for LUMFileInput: NAME PATH [PACING [LOOP]])\n"
    "  remove [--plugin P] NAME              remove the definitions of that name\n"
    "  scan [--plugin P] FOLDER              add a definition for every stream file of FOLDER\n"
    "  scan --plugin LUMLinuxDVBInput COUNTRY/REGION   add the multiplexes a tuner locks on\n"
    "  services NAME|FILE [--json] [--timeout S]\n"
    "                                        every service, once the service information is complete\n"
    "  record NAME|FILE OUT.ts [--service ID] [--seconds S] [--simulate]\n"
    "                                        record the multiplex as received, or one service as a\n"
    "                                        single-program stream (Ctrl-C stops)\n"
    "  extract NAME|FILE PID OUT [--seconds S]\n"
    "                                        the elementary stream of one component\n"
    "  snapshot NAME|FILE SERVICE OUT.png [--at S]\n"
    "                                        the first video frame of a service at or after S\n"
    "                                        seconds of its pictures, through the decoder and\n"
    "                                        display plug-ins\n"
    "  epg NAME|FILE [--seconds S]           collect the guide into epg/epg.xml (a file: to its end;\n"
    "                                        live: --seconds, 30 by default)\n"
    "  xmltv NAME|FILE [-o FILE] [--seconds S]\n"
    "                                        every event of the guide as XMLTV (a file: to its end;\n"
    "                                        live: until the schedule is whole, or --seconds, 30)\n"
    "  test NAME|FILE [--seconds S] [--simulate]\n"
    "                                        watch reception four times a second; --simulate runs\n"
    "                                        a file on a simulated clock, as fast as it goes\n"
    "NAME is a definition's name; FILE a .ts file, played by the input plug-in that takes it.\n";

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int)
{
    g_interrupted = 1;
}

struct Options
{
    std::string command;
    std::vector<std::string> arguments;
    std::string plugin;
    bool json = false;
    bool debug = false;
    bool simulate = false;
    double timeout = 15;
    double seconds = 0;   // 0: until interrupted
    double service = -1;  // record: one service, by its number
    double at = 0;        // snapshot: seconds of pictures before the one wanted
    std::string output;   // xmltv: the file to write, standard output when empty
};

bool ParseNumber(const char* text, double& value)
{
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && value >= 0;
}

int Usage(const std::string& problem)
{
    std::cerr << "lumrx: " << problem << "\n" << kUsage;
    return ExitUsage;
}

int Failed(const CLumrxHost& host)
{
    std::cerr << "lumrx: " << host.GetMessage() << "\n";
    return host.GetError();
}

int ListPlugins()
{
    CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
    if (manager->GetPluginCount() == 0)
        std::cout << "no plug-ins in " << manager->GetPluginFolderPath().Str() << "\n";
    for (int i = 0; i < manager->GetPluginCount(); ++i) {
        CLUMPlugin* plugin = manager->GetPluginAtIndex(i);
        std::cout << plugin->GetName().Str() << "  (" << CLumrxHost::PluginTypeText(plugin->GetType()) << ")  "
                  << plugin->GetDescription().Str() << "\n";
    }
    return ExitOk;
}

int ListDefinitions(CLumrxHost& host, const Options& options)
{
    CLUMInputPlugin* plugin = host.FindInputPlugin(options.plugin);
    if (plugin == nullptr)
        return Failed(host);
    std::cout << "# " << plugin->GetMultiplexDefinitionsFilename().Str() << "\n";
    auto position = plugin->GetFirstMultiplexDefinitionPosition();
    while (CDVBMultiplexDefinition* definition = plugin->GetNextMultiplexDefinition(position)) {
        CString line;
        definition->WriteToString(line);
        std::cout << line.Str() << "\n";
    }
    return ExitOk;
}

int Save(CLumrxHost& host, CLUMInputPlugin* plugin)
{
    if (plugin->SaveMultiplexDefinitions())
        return ExitOk;
    host.Fail(ExitSaveFailed, "cannot write " + plugin->GetMultiplexDefinitionsFilename().Str());
    return Failed(host);
}

int AddDefinition(CLumrxHost& host, const Options& options)
{
    CLUMInputPlugin* plugin = host.FindInputPlugin(options.plugin);
    if (plugin == nullptr)
        return Failed(host);
    std::string line;
    for (const std::string& field : options.arguments) {
        if (field.find(',') != std::string::npos)
            return Usage("a field cannot hold a comma: " + field);
        line += (line.empty() ? "" : ", ") + field;
    }
    if (line.size() > 510)   // the definitions file is read in lines of at most 510 characters
        return Usage("a definition's line cannot be longer than 510 characters");
    CDVBMultiplexDefinition* definition = plugin->CreateMultiplexDefinition();
    if (!definition->ReadFromString(line.c_str())) {
        std::string fields;
        for (int i = 0; i < definition->GetRequiredFieldCount(); ++i)
            fields += " " + definition->GetFieldName(i).Str();
        delete definition;
        return Usage("a definition needs at least these fields:" + fields);
    }
    plugin->AddMultiplexDefinition(definition);
    return Save(host, plugin);
}

// The plug-in's extension, or a failure saying the plug-in cannot do what was asked.
CLUMInputPluginExtension* ExtensionFor(CLumrxHost& host, CLUMInputPlugin* plugin, const char* what)
{
    CLUMInputPluginExtension* extension = CLumrxHost::ExtensionOf(plugin);
    if (extension == nullptr)
        host.Fail(ExitUsage, plugin->GetName().Str() + " cannot " + what);
    return extension;
}

int RemoveDefinition(CLumrxHost& host, const Options& options)
{
    CLUMInputPlugin* plugin = host.FindInputPlugin(options.plugin);
    if (plugin == nullptr)
        return Failed(host);
    CLUMInputPluginExtension* extension = ExtensionFor(host, plugin, "remove definitions");
    if (extension == nullptr)
        return Failed(host);
    std::vector<CDVBMultiplexDefinition*> named;
    auto position = plugin->GetFirstMultiplexDefinitionPosition();
    while (CDVBMultiplexDefinition* definition = plugin->GetNextMultiplexDefinition(position))
        if (definition->GetName() == options.arguments[0].c_str())
            named.push_back(definition);
    if (named.empty()) {
        host.Fail(ExitUnknownDefinition, "no multiplex definition is called \"" + options.arguments[0] + "\"");
        return Failed(host);
    }
    for (CDVBMultiplexDefinition* definition : named)
        extension->RemoveMultiplexDefinition(definition);
    return Save(host, plugin);
}

// Says why a multiplex would not open, with the exit code that says it.
void OpenFailed(CLumrxHost& host, CLUMInputPlugin* plugin, const std::string& name)
{
    CLUMInputPluginExtension* extension = CLumrxHost::ExtensionOf(plugin);
    const std::string why = extension ? extension->GetLastOpenFailureText().Str() : std::string();
    switch (extension ? extension->GetLastOpenFailure() : CLUMInputPluginExtension::OpenFailureNone) {
    case CLUMInputPluginExtension::OpenFailureNotTransportStream:
        host.Fail(ExitNotTransportStream, name + ": not a transport stream" + (why.empty() ? " (no packets of 188 or 192 bytes)" : ": " + why));
        break;
    case CLUMInputPluginExtension::OpenFailureNoSignal:
        host.Fail(ExitNoSignal, name + ": " + (why.empty() ? "no signal" : why));
        break;
    case CLUMInputPluginExtension::OpenFailureUnreadable:
        host.Fail(ExitFileUnreadable, name + ": cannot be read" + (why.empty() ? "" : ": " + why));
        break;
    default:
        host.Fail(ExitOpenFailed, name + ": the input plug-in could not open this multiplex" + (why.empty() ? "" : ": " + why));
    }
}

// The multiplex named on the command line, opened; null, with the reason said to `host`.
CDVBTransportStreamSource* Open(CLumrxHost& host, CLUMInputPlugin* plugin, CDVBMultiplexDefinition* definition,
                                const std::string& name)
{
    CDVBTransportStreamSource* source = plugin->OpenMultiplex(definition);
    if (source == nullptr)
        OpenFailed(host, plugin, name);
    return source;
}

int ScanFolder(CLumrxHost& host, const Options& options)
{
    CLUMInputPlugin* plugin = host.FindInputPlugin(options.plugin);
    if (plugin == nullptr)
        return Failed(host);
    CLUMInputPluginExtension* extension = ExtensionFor(host, plugin, "scan a folder");
    if (extension == nullptr)
        return Failed(host);
    const int before = plugin->GetMultiplexDefinitionCount();
    if (!extension->ScanFolder(options.arguments[0].c_str())) {
        if (extension->GetLastOpenFailure() == CLUMInputPluginExtension::OpenFailureUnreadable ||
            extension->GetLastOpenFailure() == CLUMInputPluginExtension::OpenFailureNone) {
            const std::string why = extension->GetLastOpenFailureText().Str();
            host.Fail(ExitFileUnreadable, options.arguments[0] + ": cannot be scanned" + (why.empty() ? "" : ": " + why));
        } else {
            OpenFailed(host, plugin, options.arguments[0]);   // no tuner, for instance
        }
        return Failed(host);
    }
    std::cout << plugin->GetMultiplexDefinitionCount() - before << " definitions added\n";
    return Save(host, plugin);
}

int Services(CLumrxHost& host, const Options& options)
{
    CLUMInputPlugin* plugin = nullptr;
    CDVBMultiplexDefinition* definition = nullptr;
    if (!host.ResolveMultiplex(options.arguments[0], options.plugin, false, plugin, definition))
        return Failed(host);
    CDVBTransportStreamSource* source = Open(host, plugin, definition, options.arguments[0]);
    if (source == nullptr)
        return Failed(host);
    auto* finite = dynamic_cast<CDVBFiniteSource*>(source);
    const bool progress = finite && ::isatty(STDERR_FILENO);
    CServiceReport report;
    {
        CServiceScanReceiver receiver(source, nullptr);
        receiver.Initialise();
        receiver.Start();
        // A file that ends ends the wait; a live input waits at most the time-out.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(options.timeout);
        auto lastProgress = std::chrono::steady_clock::now();
        while (!g_interrupted && !receiver.IsComplete() && !(finite && finite->HasEnded())) {
            if (!finite && std::chrono::steady_clock::now() > deadline)
                break;
            receiver.SectionEvent().Wait(20);
            if (progress && std::chrono::steady_clock::now() - lastProgress > std::chrono::milliseconds(250)) {
                CString status;
                source->GetStatus(status);
                std::fprintf(stderr, "\r%s\033[K", static_cast<const char*>(status));
                lastProgress = std::chrono::steady_clock::now();
            }
        }
        receiver.Stop();   // the last bytes read are dispatched before the period ends
        receiver.WaitForStop(10000);
        if (progress)
            std::fprintf(stderr, "\r\033[K");
        report.Take(receiver);
        receiver.DeInitialise();
    }
    plugin->CloseMultiplex(source);
    if (report.Services().empty()) {
        std::cerr << "lumrx: no service found in " << definition->GetName().Str() << "\n";
        return ExitNothingFound;
    }
    if (options.json)
        std::cout << report.ToJson().dump(2) << "\n";
    else
        report.PrintTable(std::cout);
    return ExitOk;
}

// Waits a quarter of a second of the run's time: real, or simulated (then moved on here,
// a millisecond as soon as the receiver has done the previous one's work).
bool Pause(CClock& clock, CManualClock* simulated)
{
    constexpr DWORD kQuarterMs = 250;
    if (simulated)
        return simulated->Run(kQuarterMs, 1000000, 1);
    CEvent never(true, false);
    CEvent* const events[] = {&never};
    clock.WaitUntil(events, 1, clock.GetMonotonicTime() + std::int64_t(kQuarterMs) * 1000000);
    return true;
}

// The status of a test as lines: the status text, then one line per service.
std::vector<std::string> StatusLines(const CTestMultiplexBehaviour& test)
{
    std::vector<std::string> lines;
    if (!test.GetStatusText().IsEmpty())   // empty while the multiplex opens
        lines.push_back((test.IsStatusWarning() ? "! " : "  ") + CDVBText::ToUTF8(test.GetStatusText()));
    for (const auto& row : test.GetRows())
        lines.push_back("service " + std::to_string(row.first) + "  " + CDVBText::ToUTF8(row.second));
    return lines;
}

int Test(CLumrxHost& host, const Options& options)
{
    CLUMInputPlugin* plugin = nullptr;
    CDVBMultiplexDefinition* definition = nullptr;
    if (!host.ResolveMultiplex(options.arguments[0], options.plugin, true, plugin, definition))
        return Failed(host);
    // Simulated time runs the receiver and a file's pacing on a clock moved on here, a
    // millisecond at a time, as soon as the receiver has done each millisecond's work.
    CManualClock simulated;
    CClock& clock = options.simulate ? simulated : CClock::System();
    CTestMultiplexBehaviour test(plugin, definition, &clock);
    std::cout << test.GetCaption().Str() << "\n";
    const bool terminal = ::isatty(STDOUT_FILENO);
    std::size_t drawn = 0;        // lines of the live block on a terminal
    std::size_t rowsShown = 0;    // service lines printed, when piped
    bool dataSeen = false;
    const std::int64_t start = clock.GetMonotonicTime();
    for (;;) {
        const bool opening = !test.IsOpen();
        test.OnTimer();
        if (!test.IsOpen()) {
            OpenFailed(host, plugin, options.arguments[0]);
            return Failed(host);
        }
        if (opening && options.simulate && !simulated.WaitForWaiters(1)) {
            std::cerr << "lumrx: the receiver did not start\n";
            return ExitOpenFailed;
        }
        dataSeen = dataSeen || test.GetReceiver()->GetPacketsReceived() > 0;
        const std::vector<std::string> lines = StatusLines(test);
        if (terminal) {
            // redraw the block in place: up to its first line, each line cleared to its end
            if (drawn > 0)
                std::cout << "\033[" << drawn << "F";
            for (const std::string& line : lines)
                std::cout << line << "\033[K\n";
            drawn = lines.size();
            std::cout << std::flush;
        } else {
            for (; rowsShown < test.GetRows().size(); ++rowsShown)
                std::cout << "service " << test.GetRows()[rowsShown].first << "  "
                          << CDVBText::ToUTF8(test.GetRows()[rowsShown].second) << "\n";
            if (!test.GetStatusText().IsEmpty())
                std::cout << lines.front() << "\n" << std::flush;
        }
        const double elapsed = double(clock.GetMonotonicTime() - start) / 1e9;
        if (g_interrupted || (options.seconds > 0 && elapsed >= options.seconds))
            break;
        if (!Pause(clock, options.simulate ? &simulated : nullptr)) {
            std::cerr << "lumrx: the receiver stopped keeping time\n";
            break;
        }
    }
    if (!terminal) {   // the renamed rows, as they stand at the end
        for (const auto& row : test.GetRows())
            std::cout << "service " << row.first << "  " << CDVBText::ToUTF8(row.second) << "\n";
    }
    if (!test.Close())
        std::cerr << "lumrx: Failed to stop transport stream receiver.\n";
    if (!dataSeen) {
        std::cerr << "lumrx: no data was received\n";
        return ExitNothingFound;
    }
    return ExitOk;
}

int Record(CLumrxHost& host, const Options& options)
{
    if (options.arguments.size() < 2)
        return Usage("record needs a multiplex and a file to record to");
    CLUMInputPlugin* plugin = nullptr;
    CDVBMultiplexDefinition* definition = nullptr;
    if (!host.ResolveMultiplex(options.arguments[0], options.plugin, true, plugin, definition))
        return Failed(host);
    CDVBTransportStreamSource* source = Open(host, plugin, definition, options.arguments[0]);
    if (source == nullptr)
        return Failed(host);
    CManualClock simulated;
    CClock& clock = options.simulate ? simulated : CClock::System();
    auto* finite = dynamic_cast<CDVBFiniteSource*>(source);
    const std::string& out = options.arguments[1];
    if (options.service > 0xFFFF || (options.service >= 0 && options.service != double(WORD(options.service))))
        return Usage("--service needs a service number from 0 to 65535");
    CDVBServiceRecordingFilter oneService(WORD(options.service >= 0 ? options.service : 0));
    int result = ExitOk;
    {
        CDVBTransportStreamReceiver receiver(source, nullptr, &clock);
        receiver.Initialise();
        CDVBRecordingParameters parameters;
        parameters.m_fileName = out.c_str();
        if (options.service >= 0)
            parameters.m_filter = &oneService;
        if (!receiver.StartRecording(&parameters)) {
            std::cerr << "lumrx: " << out << ": " << std::strerror(receiver.GetRecorder().GetError()) << "\n";
            result = ExitRecordFailed;
        } else {
            receiver.Start();
            const std::int64_t start = clock.GetMonotonicTime();
            if (options.simulate)
                simulated.WaitForWaiters(1);
            while (!g_interrupted && receiver.GetRecorder().GetError() == 0 && !(finite && finite->HasEnded())) {
                if (options.seconds > 0 && double(clock.GetMonotonicTime() - start) / 1e9 >= options.seconds)
                    break;
                // simulated time moves on once the disk has kept up, as it does in real time
                for (int waited = 0; options.simulate && !receiver.GetRecorder().IsCaughtUp() && waited < 10000; ++waited)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                if (!Pause(clock, options.simulate ? &simulated : nullptr))
                    break;
            }
            receiver.Stop();   // the last read is dispatched, and recorded, before the period ends
            receiver.WaitForStop(10000);
            receiver.StopRecording();
            const CDVBRecorder& recorder = receiver.GetRecorder();
            if (recorder.GetError() != 0) {
                std::cerr << "lumrx: " << out << ": " << std::strerror(recorder.GetError()) << "\n";
                result = ExitRecordFailed;
            } else {
                std::cout << out << ": " << recorder.GetBytesWritten() << " bytes ("
                          << recorder.GetBytesWritten() / 188 << " packets) recorded";
                if (recorder.GetReadsDropped() > 0)
                    std::cout << ", " << recorder.GetReadsDropped() << " reads lost: the disk fell behind";
                std::cout << "\n";
            }
        }
        receiver.DeInitialise();
    }
    plugin->CloseMultiplex(source);
    return result;
}

int Epg(CLumrxHost& host, const Options& options)
{
    CLUMInputPlugin* plugin = nullptr;
    CDVBMultiplexDefinition* definition = nullptr;
    if (!host.ResolveMultiplex(options.arguments[0], options.plugin, false, plugin, definition))
        return Failed(host);
    if (::mkdir("epg", 0755) != 0 && errno != EEXIST) {
        std::cerr << "lumrx: cannot create the folder epg: " << std::strerror(errno) << "\n";
        return ExitRecordFailed;
    }
    CDVBTransportStreamSource* source = Open(host, plugin, definition, options.arguments[0]);
    if (source == nullptr)
        return Failed(host);
    auto* finite = dynamic_cast<CDVBFiniteSource*>(source);
    const double seconds = options.seconds > 0 ? options.seconds : 30;
    CDVBSICollector collector;
    {
        CDVBTransportStreamReceiver receiver(source, nullptr);
        receiver.SetSICollector(&collector);
        collector.EnableUpdates(true);
        receiver.Initialise();
        receiver.Start();
        const std::int64_t start = CClock::System().GetMonotonicTime();
        while (!g_interrupted && !(finite && finite->HasEnded()) &&
               (finite || double(CClock::System().GetMonotonicTime() - start) / 1e9 < seconds))
            Pause(CClock::System(), nullptr);
        receiver.Stop();
        receiver.WaitForStop(10000);
        receiver.DeInitialise();
        receiver.SetSICollector(nullptr);
    }
    plugin->CloseMultiplex(source);
    collector.Update();   // all that came, whenever the last periodic write was
    std::cout << CDVBSICollector::FileName << "\n";
    return ExitOk;
}

int Xmltv(CLumrxHost& host, const Options& options)
{
    CLUMInputPlugin* plugin = nullptr;
    CDVBMultiplexDefinition* definition = nullptr;
    if (!host.ResolveMultiplex(options.arguments[0], options.plugin, false, plugin, definition))
        return Failed(host);
    CDVBTransportStreamSource* source = Open(host, plugin, definition, options.arguments[0]);
    if (source == nullptr)
        return Failed(host);
    auto* finite = dynamic_cast<CDVBFiniteSource*>(source);
    const double seconds = options.seconds > 0 ? options.seconds : 30;
    std::ostringstream xml;
    {
        CGuideReceiver receiver(source, nullptr);
        receiver.Initialise();
        receiver.Start();
        const std::int64_t start = CClock::System().GetMonotonicTime();
        while (!g_interrupted && !(finite && finite->HasEnded()) &&
               (finite || (!receiver.Guide().IsScheduleComplete() &&
                           double(CClock::System().GetMonotonicTime() - start) / 1e9 < seconds)))
            Pause(CClock::System(), nullptr);
        receiver.Stop();
        receiver.WaitForStop(10000);
        receiver.DeInitialise();
        CXmltvWriter::Write(receiver.Guide(), xml);
    }
    plugin->CloseMultiplex(source);
    if (options.output.empty()) {
        std::cout << xml.str();
        return ExitOk;
    }
    std::ofstream file(options.output, std::ios::binary);
    file << xml.str();
    if (!file.flush()) {
        std::cerr << "lumrx: " << options.output << ": cannot be written\n";
        return ExitRecordFailed;
    }
    return ExitOk;
}

int Extract(CLumrxHost& host, const Options& options)
{
    if (options.arguments.size() < 3)
        return Usage("extract needs a multiplex, a PID and a file to write");
    char* end = nullptr;
    const unsigned long pid = std::strtoul(options.arguments[1].c_str(), &end, 0);
    if (*end != '\0' || pid > 0x1FFE)
        return Usage("the PID is a number below 8191 (0x100 or 256)");
    CLUMInputPlugin* plugin = nullptr;
    CDVBMultiplexDefinition* definition = nullptr;
    if (!host.ResolveMultiplex(options.arguments[0], options.plugin, false, plugin, definition))
        return Failed(host);
    std::FILE* file = std::fopen(options.arguments[2].c_str(), "wb");
    if (file == nullptr) {
        std::cerr << "lumrx: " << options.arguments[2] << ": " << std::strerror(errno) << "\n";
        return ExitRecordFailed;
    }
    CDVBTransportStreamSource* source = Open(host, plugin, definition, options.arguments[0]);
    if (source == nullptr) {
        std::fclose(file);
        return Failed(host);
    }
    auto* finite = dynamic_cast<CDVBFiniteSource*>(source);
    std::uint64_t written = 0;
    {
        CDVBTransportStreamReceiver receiver(source, nullptr);
        auto* writer = new CElementaryStreamWriter(file);
        receiver.AddPIDReceiver(WORD(pid), writer);   // the receiver owns it
        receiver.Initialise();
        receiver.Start();
        const std::int64_t start = CClock::System().GetMonotonicTime();
        while (!g_interrupted && !(finite && finite->HasEnded()) &&
               (options.seconds <= 0 || double(CClock::System().GetMonotonicTime() - start) / 1e9 < options.seconds))
            Pause(CClock::System(), nullptr);
        receiver.Stop();
        receiver.WaitForStop(10000);
        writer->Finish();   // the receive thread has stopped: the last buffer can go
        written = writer->GetBytesWritten();
        receiver.DeInitialise();
    }
    plugin->CloseMultiplex(source);
    const bool closed = std::fclose(file) == 0;
    std::cout << options.arguments[2] << ": " << written << " bytes of PID " << pid << "\n";
    if (!closed) {
        std::cerr << "lumrx: " << options.arguments[2] << ": cannot be written\n";
        return ExitRecordFailed;
    }
    return written > 0 ? ExitOk : ExitNothingFound;
}

int Snapshot(CLumrxHost& host, const Options& options)
{
    if (options.arguments.size() < 3)
        return Usage("snapshot needs a multiplex, a service and a PNG file");
    const WORD service = WORD(std::strtoul(options.arguments[1].c_str(), nullptr, 0));
    CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
    CLUMPlugin* decoders = manager->GetPluginWithType(CLUMPlugin::TypeDecoder, 0);
    CLUMPlugin* displays = manager->GetPluginWithType(CLUMPlugin::TypeDisplay, 0);
    if (decoders == nullptr || displays == nullptr) {
        host.Fail(ExitUnknownPlugin, "a snapshot needs a decoder and a display plug-in (lumrx plugins lists them)");
        return Failed(host);
    }
    CLUMInputPlugin* plugin = nullptr;
    CDVBMultiplexDefinition* definition = nullptr;
    if (!host.ResolveMultiplex(options.arguments[0], options.plugin, true, plugin, definition))
        return Failed(host);
    CDVBTransportStreamSource* source = Open(host, plugin, definition, options.arguments[0]);
    if (source == nullptr)
        return Failed(host);
    // a file plays at its own pace on a clock moved on here, as fast as the decoder keeps up
    auto* finite = dynamic_cast<CDVBFiniteSource*>(source);
    CManualClock simulated;
    CClock& clock = finite ? simulated : CClock::System();
    CSnapshotLayer layer(std::int64_t(options.at * 90000));
    std::vector<std::uint8_t> rgb;
    int width = 0, height = 0;
    std::string problem;
    {
        CDVBTransportStreamReceiver receiver(source, nullptr, &clock);
        receiver.Initialise();
        receiver.Start();
        if (finite)
            simulated.WaitForWaiters(1);
        auto* decoderPlugin = static_cast<CLUMDecoderPlugin*>(decoders);
        auto* displayPlugin = static_cast<CLUMDisplayPlugin*>(displays);
        CDVBDisplay* display = displayPlugin->OpenDisplay(0, 0);
        CDVBPIDReceiver* decoder = nullptr;
        GUID cookie;
        cookie.Data1 = 0x534E4150;   // "SNAP": how the decoder is found again
        CDVBProgramClock programClock;
        programClock.SetTransportStreamReceiver(&receiver);
        const std::int64_t start = clock.GetMonotonicTime();
        while (!g_interrupted && !layer.GetFrame(rgb, width, height)) {
            if (decoder == nullptr) {
                CDVBComponentDefinition video;
                if (CServicePlayer::FindVideo(receiver, service, video)) {
                    if (display && display->AddDisplayLayer(&layer) && (decoder = decoderPlugin->OpenComponent(&video))) {
                        if (finite) {   // a file starts again from its first packet, and its first picture
                            receiver.Stop();
                            receiver.WaitForStop(10000);
                        }
                        programClock.SetProgram(service);
                        decoder->SetProgramClock(&programClock);
                        display->SetProgramClock(&programClock);
                        decoder->SetDisplay(display);
                        decoder->SetCookie(&cookie);
                        receiver.AddPIDReceiver(video.m_pid, decoder);
                        if (finite) {
                            receiver.Start();
                            simulated.WaitForWaiters(1);
                        }
                    } else {
                        problem = "no decoder or display for " + std::string(video.m_codecName.Str()) + " video";
                        break;
                    }
                }
            }
            const bool ended = finite && finite->HasEnded();
            if (ended || (!finite && double(clock.GetMonotonicTime() - start) / 1e9 > std::max(30.0, options.at + 30)))
                break;
            if (finite ? !simulated.Run(10, 1000000, 1) : !Pause(clock, nullptr))
                break;
        }
        receiver.Stop();
        receiver.WaitForStop(10000);
        if (decoder) {   // handed back, decoded to its end, and closed by its plug-in
            receiver.RemovePIDReceiverWithCookie(decoder->GetPID(), &cookie);
            decoder->Stop();
            decoder->UnsetDisplay(display);
            decoderPlugin->CloseComponent(decoder);
        }
        if (rgb.empty())
            layer.GetFrame(rgb, width, height);
        if (display) {
            display->RemoveDisplayLayer(&layer);
            displayPlugin->CloseDisplay(display);
        }
        receiver.DeInitialise();
    }
    plugin->CloseMultiplex(source);
    if (rgb.empty()) {
        std::cerr << "lumrx: no picture of service " << service << " was decoded"
                  << (problem.empty() ? "" : ": " + problem) << "\n";
        return ExitNothingFound;
    }
    if (!WritePng(options.arguments[2], rgb, width, height)) {
        std::cerr << "lumrx: " << options.arguments[2] << ": cannot be written\n";
        return ExitRecordFailed;
    }
    std::cout << options.arguments[2] << ": " << width << "x" << height << "\n";
    return ExitOk;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::cerr << "lumrx: " << name << " needs a value\n";
                std::exit(ExitUsage);
            }
            return argv[++i];
        };
        if (arg == "--debug")
            options.debug = true;
        else if (arg == "--json")
            options.json = true;
        else if (arg == "--simulate")
            options.simulate = true;
        else if (arg == "--plugin")
            options.plugin = value("--plugin");
        else if (arg == "-o")
            options.output = value("-o");
        else if (arg == "--timeout" || arg == "--seconds" || arg == "--service" || arg == "--at") {
            double& target = arg == "--timeout"   ? options.timeout
                             : arg == "--seconds" ? options.seconds
                             : arg == "--at"      ? options.at
                                                  : options.service;
            if (!ParseNumber(value(arg.c_str()), target))
                return Usage(arg + " needs a number of seconds");
        } else if (arg == "-h" || arg == "--help") {
            std::cout << kUsage;
            return ExitOk;
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-")
            return Usage("unknown option " + arg);
        else if (options.command.empty())
            options.command = arg;
        else
            options.arguments.push_back(arg);
    }
    if (options.command.empty())
        return Usage("no command");

    if (options.debug)
        SetDebugOutputSink([](const char* line) { std::fputs(line, stderr); });
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);

    const std::string& c = options.command;
    static const char* const kCommands[] = {"plugins", "list", "add", "remove", "scan", "services", "test", "record", "epg", "xmltv", "extract", "snapshot"};
    if (std::find(std::begin(kCommands), std::end(kCommands), c) == std::end(kCommands))
        return Usage("unknown command " + c);
    if (options.arguments.empty() && c != "plugins" && c != "list")
        return Usage(c + " needs an argument");
    CLumrxHost host;
    if (c == "plugins")
        return ListPlugins();
    if (c == "list")
        return ListDefinitions(host, options);
    if (c == "add")
        return AddDefinition(host, options);
    if (c == "remove")
        return RemoveDefinition(host, options);
    if (c == "scan")
        return ScanFolder(host, options);
    if (c == "services")
        return Services(host, options);
    if (c == "record")
        return Record(host, options);
    if (c == "epg")
        return Epg(host, options);
    if (c == "xmltv")
        return Xmltv(host, options);
    if (c == "extract")
        return Extract(host, options);
    if (c == "snapshot")
        return Snapshot(host, options);
    return Test(host, options);
}
