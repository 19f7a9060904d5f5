// lumrx: receives DVB multiplexes with LUMCore from the command line. main reads the
// options and hands the command to its row of CCommandTable.
#include "CCommandTable.h"
#include "CInterruption.h"
#include "CLumrxHost.h"
#include "CLumrxOptions.h"
#include "CNumberArgument.h"
#include "ExitCode.h"

#include "platform/DebugOutput.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    CLumrxOptions options;
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
        else if (arg == "--audio-out")
            options.audioOut = value("--audio-out");
        else if (arg == "--audio")
            options.audio = value("--audio");
        else if (arg == "--subtitles")
            options.subtitles = value("--subtitles");
        else if (arg == "--stats")
            options.stats = value("--stats");
        else if (arg == "--presentation-log")
            options.presentationLog = value("--presentation-log");
        else if (arg == "--no-video")
            options.noVideo = true;
        else if (arg == "--no-deinterlace")
            options.noDeinterlace = true;
        else if (arg == "--page") {
            const char* text = value("--page");
            char* end = nullptr;
            const long page = std::strtol(text, &end, 10);
            if (*text == '\0' || *end != '\0' || page < 100 || page > 899)
                return CCommandTable::UsageError("--page " + std::string(text) + ": a teletext page is 100 to 899");
            options.page = int(page);
        }
        else if (arg == "--service") {
            const char* text = value("--service");
            unsigned long number = 0;
            if (!CNumberArgument::ReadIdentifier(text, 0xFFFF, number))
                return CCommandTable::UsageError("--service " + std::string(text) + ": " + CNumberArgument::kServiceRule);
            options.service = int(number);
        } else if (arg == "--timeout" || arg == "--seconds" || arg == "--at") {
            double& target = arg == "--timeout" ? options.timeout : arg == "--seconds" ? options.seconds : options.at;
            const char* text = value(arg.c_str());
            if (!CNumberArgument::ReadSeconds(text, target))
                return CCommandTable::UsageError(arg + " " + text + ": not a number of seconds");
        } else if (arg == "-h" || arg == "--help") {
            std::cout << CCommandTable::UsageText();
            return ExitOk;
        } else if (arg == "--version") {
            std::cout << "lumrx " << LUM_VERSION << "\n";
            return ExitOk;
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-")
            return CCommandTable::UsageError("unknown option " + arg);
        else if (options.command.empty())
            options.command = arg;
        else
            options.arguments.push_back(arg);
    }
    if (options.command.empty())
        return CCommandTable::UsageError("no command", true);

    if (options.debug)
        SetDebugOutputSink([](const char* line) { std::fputs(line, stderr); });
    CInterruption::Catch();

    const CCommandTable::Command* command = CCommandTable::Find(options.command);
    if (command == nullptr)
        return CCommandTable::UsageError("unknown command " + options.command, true);
    if (options.arguments.empty() && command->needsArgument)
        return CCommandTable::UsageError(options.command + " needs an argument");
    CLumrxHost host;
    return command->run(host, options);
}
