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
#include "COutputPath.h"
#include "ExitCode.h"

#include "core/CDVBFiniteSource.h"
#include "core/CDVBRecordingParameters.h"
#include "si/CDVBServiceRecordingFilter.h"
#include "receiver/CDVBTransportStreamReceiver.h"
#include "decode/CDVBDisplay.h"
#include "decode/CDVBProgramClock.h"
#include "decode/CDVBPullReceiver.h"
#include "model/CDVBComponentDefinition.h"
#include "model/CDVBProgram.h"
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

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
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
    "usage: lumrx [--debug] COMMAND [ARGUMENTS]    (lumrx --version: the version)\n"
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
    int service = -1;     // record: one service, by its number
    double at = 0;        // snapshot: seconds of pictures before the one wanted
    std::string output;   // xmltv: the file to write, standard output when empty
};

bool ParseNumber(const char* text, double& value)
{
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && value >= 0 && std::isfinite(value);
}

// Decimal, or hexadecimal after 0x, and nothing else: "abc" is no service 0, nor 70000 service 4464.
bool ParseIdentifier(const std::string& text, unsigned long maximum, unsigned long& value)
{
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 8 || digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos)
        return false;
    value = std::stoul(digits, nullptr, hex ? 16 : 10);
    return value <= maximum;
}

constexpr const char* kServiceRule = "a service number is 0 to 65535, decimal or hexadecimal (0x3E9)";
constexpr const char* kPidRule = "a PID is 0 to 8191, decimal or hexadecimal (0x100)";

// A usage error: the whole usage after an unknown command, else a pointer to it.
int Usage(const std::string& problem, bool whole = false)
{
    std::cerr << "lumrx: " << problem << "\n";
    if (whole)
        std::cerr << kUsage;
    else
        std::cerr << "(lumrx --help says how each command is used)\n";
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

// What stands in the way of opening a definition, for people; empty when nothing does.
std::string DefinitionProblem(CLUMInputPlugin* plugin, CDVBMultiplexDefinition* definition, int& failure)
{
    failure = CLUMInputPluginExtension::OpenFailureNone;
    if (definition->m_firstFieldNotRead >= 0) {
        failure = CLUMInputPluginExtension::OpenFailureInvalid;
        return "its field " + definition->GetFieldName(definition->m_firstFieldNotRead).Str() + " does not read";
    }
    CString problem;
    if (CLUMInputPluginExtension* extension = CLumrxHost::ExtensionOf(plugin))
        failure = extension->CheckMultiplexDefinition(definition, problem);
    return failure == CLUMInputPluginExtension::OpenFailureNone ? std::string()
                                                                 : problem.IsEmpty() ? std::string("it cannot be opened") : problem.Str();
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
        int failure = 0;
        const std::string problem = DefinitionProblem(plugin, definition, failure);
        std::cout << line.Str() << (problem.empty() ? "" : "    # " + problem) << "\n";
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

// The definition of that name in any input plug-in, or null.
CDVBMultiplexDefinition* DefinitionCalled(const std::string& name)
{
    CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
    for (int i = 0; CLUMPlugin* candidate = manager->GetPluginWithType(CLUMPlugin::TypeInput, i); ++i) {
        auto* input = static_cast<CLUMInputPlugin*>(candidate);
        for (int d = 0; d < input->GetMultiplexDefinitionCount(); ++d)
            if (input->GetMultiplexDefinitionAtIndex(d)->GetName() == name.c_str())
                return input->GetMultiplexDefinitionAtIndex(d);
    }
    return nullptr;
}

int AddDefinition(CLumrxHost& host, const Options& options)
{
    CLUMInputPlugin* plugin = host.FindInputPlugin(options.plugin);
    if (plugin == nullptr)
        return Failed(host);
    std::string line;
    for (std::size_t i = 0; i < options.arguments.size(); ++i) {
        std::string field = options.arguments[i];
        if (field.find(',') != std::string::npos)
            return Usage("a field cannot hold a comma: " + field);
        // a file named from here, not from the definitions file's folder
        char* absolute = i > 0 && CLumrxHost::LooksLikeAPath(field) && field[0] != '/' ? ::realpath(field.c_str(), nullptr) : nullptr;
        if (absolute) {
            field = absolute;
            std::free(absolute);
        }
        line += (line.empty() ? "" : ", ") + field;
    }
    if (line.size() > 510)   // the definitions file is read in lines of at most 510 characters
        return Usage("a definition's line cannot be longer than 510 characters");
    std::unique_ptr<CDVBMultiplexDefinition> definition(plugin->CreateMultiplexDefinition());
    if (!definition->ReadFromString(line.c_str())) {
        std::string fields;
        for (int i = 0; i < definition->GetRequiredFieldCount(); ++i)
            fields += " " + definition->GetFieldName(i).Str();
        return Usage("a definition needs at least these fields:" + fields);
    }
    const std::string name = definition->GetName().Str();
    if (DefinitionCalled(name) != nullptr)
        return Usage("a multiplex definition is already called \"" + name + "\" (lumrx remove " + name + " first)");
    if (definition->m_firstFieldNotRead >= 0) {
        const int index = definition->m_firstFieldNotRead;
        return Usage(definition->GetFieldName(index).Str() + " cannot be \"" + options.arguments[std::size_t(index)] + "\"");
    }
    int failure = 0;
    const std::string problem = DefinitionProblem(plugin, definition.get(), failure);
    switch (failure) {
    case CLUMInputPluginExtension::OpenFailureNone:
        break;
    case CLUMInputPluginExtension::OpenFailureUnreadable:
        host.Fail(ExitFileUnreadable, problem);
        return Failed(host);
    case CLUMInputPluginExtension::OpenFailureNotTransportStream:
        host.Fail(ExitNotTransportStream, problem);
        return Failed(host);
    case CLUMInputPluginExtension::OpenFailureInvalid:
        return Usage(problem);
    default:
        host.Fail(ExitOpenFailed, problem);
        return Failed(host);
    }
    CString written;
    definition->WriteToString(written);
    plugin->AddMultiplexDefinition(definition.release());
    if (const int saved = Save(host, plugin); saved != ExitOk)
        return saved;
    std::cout << "added to " << plugin->GetMultiplexDefinitionsFilename().Str() << ": " << written.Str() << "\n";
    return ExitOk;
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
    // an old file may name two alike: one goes at a time, so that the user sees which is left
    CString line;
    named.front()->WriteToString(line);
    extension->RemoveMultiplexDefinition(named.front());
    if (const int saved = Save(host, plugin); saved != ExitOk)
        return saved;
    std::cout << "removed from " << plugin->GetMultiplexDefinitionsFilename().Str() << ": " << line.Str() << "\n";
    if (named.size() > 1)
        std::cout << named.size() - 1 << " more called \"" << options.arguments[0] << "\" remain"
                  << (named.size() > 2 ? "" : "s") << "; lumrx remove " << options.arguments[0] << " again removes the next\n";
    return ExitOk;
}

// Says why a multiplex would not open, with the exit code that says it; where the plug-in
// gave no reason, its check of the definition names what is wrong (a missing file).
void OpenFailed(CLumrxHost& host, CLUMInputPlugin* plugin, const std::string& name,
                CDVBMultiplexDefinition* definition = nullptr)
{
    CLUMInputPluginExtension* extension = CLumrxHost::ExtensionOf(plugin);
    std::string why = extension ? extension->GetLastOpenFailureText().Str() : std::string();
    CString problem;
    if (why.empty() && extension && definition &&
        extension->CheckMultiplexDefinition(definition, problem) != CLUMInputPluginExtension::OpenFailureNone)
        why = problem.Str();
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
// With `out`, where the command will write, checked once the input is open: no command
// writes over the file it reads, nor binary data to a terminal.
CDVBTransportStreamSource* Open(CLumrxHost& host, CLUMInputPlugin* plugin, CDVBMultiplexDefinition* definition,
                                const std::string& name, const COutputPath* out = nullptr, bool binary = true)
{
    CDVBTransportStreamSource* source = plugin->OpenMultiplex(definition);
    if (source == nullptr) {
        OpenFailed(host, plugin, name, definition);
    } else if (out && out->IsBeingRead()) {
        host.Fail(ExitUsage, out->GetPath() + " is the file " + name + " is read from: lumrx does not write over what it reads");
    } else if (out && binary && out->IsStandardOutput() && ::isatty(STDOUT_FILENO)) {
        host.Fail(ExitUsage, "standard output is a terminal: send it to a file or a program (| ffprobe -)");
    } else {
        return source;
    }
    if (source)
        plugin->CloseMultiplex(source);
    return nullptr;
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
    const std::string skipped = extension->GetLastOpenFailureText().Str();   // entries the input cannot take
    if (!skipped.empty())
        std::cerr << "skipped:\n" << skipped;
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
        WORD originalNetworkId = 0;
        CString network;
        const bool known = receiver.GetNetwork(originalNetworkId, network);
        report.SetNetwork(known ? std::optional<int>(originalNetworkId) : std::nullopt, CDVBText::ToUTF8(network));
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

// The terminal's size: its window, else COLUMNS and LINES, else 80 by 24.
void TerminalSize(int& columns, int& rows)
{
    winsize size{};
    const char* c = std::getenv("COLUMNS");
    const char* r = std::getenv("LINES");
    const bool window = ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0;
    columns = window ? size.ws_col : c && std::atoi(c) > 0 ? std::atoi(c) : 80;
    rows = window ? size.ws_row : r && std::atoi(r) > 0 ? std::atoi(r) : 24;
}

// At most `columns` characters of UTF-8 text, cut between characters.
std::string Cut(const std::string& text, int columns)
{
    int seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && seen++ == columns)
            return text.substr(0, i);
    return text;
}

// What a test shows on its first line: the status, with what the dialog cannot say there,
// the rate at which data arrives, "no PCR" rather than a rate of 0, and simulated time named.
std::string StatusLine(const CTestMultiplexBehaviour& test, double arrivingMbps, bool simulated)
{
    std::string status = CDVBText::ToUTF8(test.GetStatusText());
    const std::string receiving = "Data is being received";
    if (status.compare(0, receiving.size(), receiving) != 0)
        return status;
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
    return rates + where;
}

// The status of a test as lines: the status text, then one line per service.
std::vector<std::string> StatusLines(const CTestMultiplexBehaviour& test, const std::string& status)
{
    std::vector<std::string> lines;
    if (!test.GetStatusText().IsEmpty())   // empty while the multiplex opens
        lines.push_back((test.IsStatusWarning() ? "! " : "  ") + status);
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
    std::int64_t rateSince = start;   // the arrival rate over the last second or so
    std::uint64_t packetsSince = 0;
    double arriving = -1;
    for (;;) {
        const bool opening = !test.IsOpen();
        test.OnTimer();
        if (!test.IsOpen()) {
            OpenFailed(host, plugin, options.arguments[0], definition);
            return Failed(host);
        }
        if (opening && options.simulate && !simulated.WaitForWaiters(1)) {
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
        std::vector<std::string> lines = StatusLines(test, StatusLine(test, arriving, options.simulate));
        if (terminal) {
            // redraw the block in place: never wider than the window, never taller, so that it stays put
            int columns = 80, rows = 24;
            TerminalSize(columns, rows);
            const std::size_t room = std::size_t(std::max(rows - 2, 2));   // the caption stays above it
            if (lines.size() > room) {
                const std::size_t more = lines.size() - room + 1;
                lines.resize(room - 1);
                lines.push_back("... " + std::to_string(more) + " more services");
            }
            if (drawn > 0)
                std::cout << "\033[" << drawn << "F";
            for (const std::string& line : lines)
                std::cout << Cut(line, columns - 1) << "\033[K\n";
            for (std::size_t i = lines.size(); i < drawn; ++i)
                std::cout << "\033[K\n";
            drawn = std::max(drawn, lines.size());
            std::cout << std::flush;
        } else {
            for (; rowsShown < test.GetRows().size(); ++rowsShown)
                std::cout << "service " << test.GetRows()[rowsShown].first << "  "
                          << CDVBText::ToUTF8(test.GetRows()[rowsShown].second) << "\n";
            if (!lines.empty() && !test.GetStatusText().IsEmpty())
                std::cout << lines.front() << "\n" << std::flush;
        }
        const double elapsed = double(clock.GetMonotonicTime() - start) / 1e9;
        if (ended || g_interrupted || (options.seconds > 0 && elapsed >= options.seconds))
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

// The services a receiver has heard of, in number order: "1001, 1002".
std::string ServiceList(CDVBTransportStreamReceiver& receiver)
{
    std::vector<WORD> numbers;
    {
        CSingleLock guard(*receiver.GetProgramsSection());
        for (const CDVBProgram* program : *receiver.GetProgramsList())
            numbers.push_back(program->m_programNumber);
    }
    std::sort(numbers.begin(), numbers.end());
    std::string list;
    for (WORD number : numbers)
        list += (list.empty() ? "" : ", ") + std::to_string(number);
    return list.empty() ? "none" : list;
}

// Whether the PAT has come; `named` says whether it names the service.
bool PatHasCome(CDVBTransportStreamReceiver& receiver, WORD service, bool& named)
{
    CSingleLock guard(*receiver.GetProgramsSection());
    bool come = false;
    named = false;
    for (const CDVBProgram* program : *receiver.GetProgramsList()) {
        come = come || program->m_receivedPAT;
        named = named || (program->m_receivedPAT && program->m_programNumber == service);
    }
    return come;
}

std::string NoService(CDVBTransportStreamReceiver& receiver, WORD service, const std::string& multiplex)
{
    return "no service " + std::to_string(service) + " in " + multiplex + "; its services are " + ServiceList(receiver);
}

int Record(CLumrxHost& host, const Options& options)
{
    if (options.arguments.size() < 2)
        return Usage("record needs a multiplex and a file to record to (- for standard output)");
    CLUMInputPlugin* plugin = nullptr;
    CDVBMultiplexDefinition* definition = nullptr;
    if (!host.ResolveMultiplex(options.arguments[0], options.plugin, true, plugin, definition))
        return Failed(host);
    const COutputPath out(options.arguments[1]);
    CDVBTransportStreamSource* source = Open(host, plugin, definition, options.arguments[0], &out);
    if (source == nullptr)
        return Failed(host);
    const bool created = out.IsNew();
    CManualClock simulated;
    CClock& clock = options.simulate ? simulated : CClock::System();
    auto* finite = dynamic_cast<CDVBFiniteSource*>(source);
    const WORD service = WORD(options.service >= 0 ? options.service : 0);
    CDVBServiceRecordingFilter oneService(service);
    int result = ExitOk;
    bool missing = false;   // the PAT came without the service
    {
        CDVBTransportStreamReceiver receiver(source, nullptr, &clock);
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
            receiver.Start();
            const std::int64_t start = clock.GetMonotonicTime();
            if (options.simulate)
                simulated.WaitForWaiters(1);
            bool named = false;
            while (!g_interrupted && !(finite && finite->HasEnded())) {
                if (options.seconds > 0 && double(clock.GetMonotonicTime() - start) / 1e9 >= options.seconds)
                    break;
                if (options.service >= 0 && PatHasCome(receiver, service, named) && !named) {
                    missing = true;
                    break;
                }
                if (!Pause(clock, options.simulate ? &simulated : nullptr))
                    break;
            }
            receiver.Stop();   // the last read is dispatched, and recorded, before the period ends
            receiver.WaitForStop(10000);
            receiver.StopRecording();
            missing = missing || (options.service >= 0 && (!PatHasCome(receiver, service, named) || !named));
            const CDVBRecorder& recorder = receiver.GetRecorder();
            if (missing) {
                std::cerr << "lumrx: " << NoService(receiver, service, options.arguments[0]) << "\n";
                result = ExitNothingFound;
            } else if (recorder.GetError() != 0) {
                std::cerr << "lumrx: " << out.GetName() << ": " << std::strerror(recorder.GetError()) << "\n";
                result = ExitRecordFailed;
            } else {
                out.Report() << out.GetName() << ": " << recorder.GetBytesWritten() << " bytes ("
                             << recorder.GetBytesWritten() / 188 << " packets) recorded";
                if (recorder.GetReadsDropped() > 0)
                    out.Report() << ", " << recorder.GetReadsDropped() << " reads lost: the disk fell behind";
                if (recorder.GetWriteErrors() > 0)   // tried again and written: said, not fatal
                    out.Report() << ", " << recorder.GetWriteErrors() << " writes failed once and were tried again ("
                                 << std::strerror(recorder.GetFirstWriteError()) << ")";
                out.Report() << "\n";
            }
        }
        receiver.DeInitialise();
    }
    plugin->CloseMultiplex(source);
    if (missing && created)
        std::remove(out.GetPath().c_str());   // nothing of the service: leave nothing behind
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
    const COutputPath out(CDVBSICollector::FileName);
    CDVBTransportStreamSource* source = Open(host, plugin, definition, options.arguments[0], &out);
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
    const COutputPath out(options.output.empty() ? "-" : options.output);
    CDVBTransportStreamSource* source = Open(host, plugin, definition, options.arguments[0], &out, false);
    if (source == nullptr)
        return Failed(host);
    auto* finite = dynamic_cast<CDVBFiniteSource*>(source);
    const double seconds = options.seconds > 0 ? options.seconds : 30;
    std::ostringstream xml;
    std::size_t programmes = 0;
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
        programmes = CXmltvWriter::Write(receiver.Guide(), xml);
    }
    plugin->CloseMultiplex(source);
    if (programmes == 0) {   // guide readers refuse a guide without programmes
        std::cerr << "lumrx: no event of a guide came from " << options.arguments[0] << "\n";
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

// "0x100, 0x101, ...": the PIDs of every component the program maps name.
std::string ComponentList(CDVBTransportStreamReceiver& receiver)
{
    std::vector<WORD> pids;
    {
        CSingleLock guard(*receiver.GetProgramsSection());
        for (const CDVBProgram* program : *receiver.GetProgramsList())
            for (const CDVBProgramElement* element : program->m_elements)
                pids.push_back(element->m_elementaryPid);
    }
    std::sort(pids.begin(), pids.end());
    pids.erase(std::unique(pids.begin(), pids.end()), pids.end());
    std::string list;
    char text[16];
    for (WORD pid : pids) {
        std::snprintf(text, sizeof text, "0x%X", pid);
        list += (list.empty() ? "" : ", ") + std::string(text);
    }
    return list.empty() ? "none" : list;
}

int Extract(CLumrxHost& host, const Options& options)
{
    if (options.arguments.size() < 3)
        return Usage("extract needs a multiplex, a PID and a file to write (- for standard output)");
    unsigned long pid = 0;
    if (!ParseIdentifier(options.arguments[1], 0x1FFF, pid))
        return Usage("PID " + options.arguments[1] + ": " + kPidRule);
    CLUMInputPlugin* plugin = nullptr;
    CDVBMultiplexDefinition* definition = nullptr;
    if (!host.ResolveMultiplex(options.arguments[0], options.plugin, false, plugin, definition))
        return Failed(host);
    const COutputPath out(options.arguments[2]);
    CDVBTransportStreamSource* source = Open(host, plugin, definition, options.arguments[0], &out);
    if (source == nullptr)
        return Failed(host);
    const bool created = out.IsNew();
    std::FILE* file = out.IsStandardOutput() ? stdout : std::fopen(out.GetPath().c_str(), "wb");
    if (file == nullptr) {
        std::cerr << "lumrx: " << out.GetPath() << ": " << std::strerror(errno) << "\n";
        plugin->CloseMultiplex(source);
        return ExitRecordFailed;
    }
    auto* finite = dynamic_cast<CDVBFiniteSource*>(source);
    std::uint64_t written = 0, packets = 0;
    int error = 0;
    std::string components;
    {
        CDVBTransportStreamReceiver receiver(source, nullptr);
        auto* writer = new CElementaryStreamWriter(file);
        receiver.AddPIDReceiver(WORD(pid), writer);   // the receiver owns it
        receiver.Initialise();
        receiver.Start();
        const std::int64_t start = CClock::System().GetMonotonicTime();
        while (!g_interrupted && !(finite && finite->HasEnded()) && writer->GetError() == 0 &&
               (options.seconds <= 0 || double(CClock::System().GetMonotonicTime() - start) / 1e9 < options.seconds))
            Pause(CClock::System(), nullptr);
        receiver.Stop();
        receiver.WaitForStop(10000);
        writer->Finish();   // the receive thread has stopped: the last buffer can go
        written = writer->GetBytesWritten();
        packets = writer->GetPacketsReceived();
        error = writer->GetError();
        if (packets == 0)
            components = ComponentList(receiver);
        receiver.DeInitialise();
    }
    plugin->CloseMultiplex(source);
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
                      << options.arguments[0] << "; its components are " << components << "\n";
        else
            std::cerr << "lumrx: PID " << pid << " of " << options.arguments[0] << " carries no elementary stream\n";
        return ExitNothingFound;
    }
    out.Report() << out.GetName() << ": " << written << " bytes of PID " << pid << "\n";
    return ExitOk;
}

int Snapshot(CLumrxHost& host, const Options& options)
{
    if (options.arguments.size() < 3)
        return Usage("snapshot needs a multiplex, a service and a PNG file");
    unsigned long number = 0;
    if (!ParseIdentifier(options.arguments[1], 0xFFFF, number))
        return Usage("service " + options.arguments[1] + ": " + kServiceRule);
    const WORD service = WORD(number);
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
    const COutputPath out(options.arguments[2]);
    CDVBTransportStreamSource* source = Open(host, plugin, definition, options.arguments[0], &out);
    if (source == nullptr)
        return Failed(host);
    // a file plays at its own pace on a clock moved on here, as fast as the decoder keeps up
    auto* finite = dynamic_cast<CDVBFiniteSource*>(source);
    CManualClock simulated;
    CClock& clock = finite ? simulated : CClock::System();
    CSnapshotLayer layer(std::int64_t(options.at * 90000));
    std::vector<std::uint8_t> rgb;
    int width = 0, height = 0;
    std::string problem;   // why there is no picture, when it is known before the end
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
            bool named = false, mapped = false;
            if (decoder == nullptr && PatHasCome(receiver, service, named) && !named) {
                problem = NoService(receiver, service, options.arguments[0]);
                break;
            }
            if (decoder == nullptr && CServicePlayer::VideoPid(receiver, service, mapped) == 0xFFFF && mapped) {
                problem = "service " + std::to_string(service) + " of " + options.arguments[0] + " has no video (a radio or data service)";
                break;
            }
            CDVBComponentDefinition video;
            if (decoder == nullptr && CServicePlayer::FindVideo(receiver, service, video)) {
                if (!(display && display->AddDisplayLayer(&layer) && (decoder = decoderPlugin->OpenComponent(&video)))) {
                    problem = "no decoder or display for " + std::string(video.m_codecName.Str()) + " video";
                    break;
                }
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
            }
            const bool ended = finite && finite->HasEnded();
            if (ended || (!finite && double(clock.GetMonotonicTime() - start) / 1e9 > std::max(30.0, options.at + 30)))
                break;
            // simulated time moves on once the decoder has taken what came: a full ring would drop pictures
            auto* pull = dynamic_cast<CDVBPullReceiver*>(decoder);
            for (int waited = 0; finite && pull && !pull->IsCaughtUp() && waited < 10000; ++waited)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
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
        bool named = false;
        if (rgb.empty() && problem.empty() && (!PatHasCome(receiver, service, named) || !named))
            problem = NoService(receiver, service, options.arguments[0]);
        receiver.DeInitialise();
    }
    plugin->CloseMultiplex(source);
    if (rgb.empty()) {
        const double seen = layer.GetSecondsSeen();
        if (!problem.empty())
            std::cerr << "lumrx: " << problem << "\n";
        else if (seen >= 0)
            std::cerr << "lumrx: --at " << options.at << " is past the end: " << options.arguments[0] << " has "
                      << seen << " s of pictures of service " << service << "\n";
        else
            std::cerr << "lumrx: no picture of service " << service << " was decoded before "
                      << (finite ? options.arguments[0] + " ended" : "the time ran out") << "\n";
        return ExitNothingFound;
    }
    if (!WritePng(out.GetPath(), rgb, width, height)) {
        std::cerr << "lumrx: " << out.GetPath() << ": cannot be written\n";
        return ExitRecordFailed;
    }
    std::cout << out.GetPath() << ": " << width << "x" << height << "\n";
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
        else if (arg == "--service") {
            const char* text = value("--service");
            unsigned long number = 0;
            if (!ParseIdentifier(text, 0xFFFF, number))
                return Usage("--service " + std::string(text) + ": " + kServiceRule);
            options.service = int(number);
        } else if (arg == "--timeout" || arg == "--seconds" || arg == "--at") {
            double& target = arg == "--timeout" ? options.timeout : arg == "--seconds" ? options.seconds : options.at;
            const char* text = value(arg.c_str());
            if (!ParseNumber(text, target))
                return Usage(arg + " " + text + ": not a number of seconds");
        } else if (arg == "-h" || arg == "--help") {
            std::cout << kUsage;
            return ExitOk;
        } else if (arg == "--version") {
            std::cout << "lumrx " << LUM_VERSION << "\n";
            return ExitOk;
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-")
            return Usage("unknown option " + arg);
        else if (options.command.empty())
            options.command = arg;
        else
            options.arguments.push_back(arg);
    }
    if (options.command.empty())
        return Usage("no command", true);

    if (options.debug)
        SetDebugOutputSink([](const char* line) { std::fputs(line, stderr); });
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);

    const std::string& c = options.command;
    static const char* const kCommands[] = {"plugins", "list", "add", "remove", "scan", "services", "test", "record", "epg", "xmltv", "extract", "snapshot"};
    if (std::find(std::begin(kCommands), std::end(kCommands), c) == std::end(kCommands))
        return Usage("unknown command " + c, true);
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
