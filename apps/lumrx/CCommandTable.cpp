#include "CCommandTable.h"

#include "AddCommand.h"
#include "AnalyzeCommand.h"
#include "EpgCommand.h"
#include "ExitCode.h"
#include "ExtractCommand.h"
#include "ListCommand.h"
#include "PlayCommand.h"
#include "SubtitlesCommand.h"
#include "TeletextCommand.h"
#include "PluginsCommand.h"
#include "RecordCommand.h"
#include "RemoveCommand.h"
#include "ScanCommand.h"
#include "ServicesCommand.h"
#include "SnapshotCommand.h"
#include "TestCommand.h"
#include "XmltvCommand.h"

#include <algorithm>
#include <iostream>

namespace {

constexpr std::size_t kDescriptionColumn = 40;

// A command with two ways to call it has two rows; the first is the one dispatched to.
const CCommandTable::Command kCommands[] = {
    {"plugins", "", "the plug-ins beside lumrx", false, PluginsCommand},
    {"list", "[--plugin P]", "the multiplex definitions of an input plug-in", false, ListCommand},
    {"add", "[--plugin P] FIELD...", "add a definition (for LUMFileInput: NAME PATH [PACING [LOOP]])", true, AddCommand},
    {"remove", "[--plugin P] NAME", "remove the definitions of that name", true, RemoveCommand},
    {"scan", "[--plugin P] FOLDER", "add a definition for every stream file of FOLDER", true, ScanCommand},
    {"scan", "--plugin LUMLinuxDVBInput COUNTRY/REGION", "add the multiplexes a tuner locks on", true, ScanCommand},
    {"services", "NAME|FILE [--json] [--timeout S]", "\nevery service, once the service information is complete", true,
     ServicesCommand},
    {"record", "NAME|FILE OUT.ts [--service ID] [--seconds S] [--simulate]",
     "\nrecord the multiplex as received, or one service as a\nsingle-program stream (Ctrl-C stops)", true, RecordCommand},
    {"extract", "NAME|FILE PID OUT [--seconds S]", "\nthe elementary stream of one component", true, ExtractCommand},
    {"snapshot", "NAME|FILE SERVICE OUT.png [--at S] [--subtitles LANG|N] [--no-deinterlace]",
     "\nthe first video frame of a service at or after S\nseconds of its pictures, through the decoder and\ndisplay plug-ins, "
     "deinterlaced and in its shape, its subtitles in LANG\n(or teletext page N) drawn into it",
     true, SnapshotCommand},
    {"play", "NAME|FILE SERVICE [--seconds S] [--audio-out pulse|null|FILE.wav] [--audio LANG] [--subtitles LANG|N|off] [--no-video] [--stats FILE.json]",
     "\nplay a service without a window: its sound heard (in\nLANG, an ISO 639 code, where it has it), its pictures\ndecoded and timed, its subtitles in LANG (or of teletext page N) decoded; --stats writes what the\n"
     "presentation did, --presentation-log FILE a line\nper picture (monotonic ns, PTS, brightness)",
     true, PlayCommand},
    {"teletext", "NAME|FILE PID [--page N] [--at S]",
     "\na teletext page (100 by default) as UTF-8 text: as first\nreceived whole, or as it was S seconds into the stream",
     true, TeletextCommand},
    {"subtitles", "NAME|FILE PID OUT [--page N]",
     "\nteletext subtitles as the SRT file OUT (page N, else the\nfirst subtitle page to come); DVB subtitles as the folder\nOUT, a PNG a cue and cues.json; times from the stream's start",
     true, SubtitlesCommand},
    {"epg", "NAME|FILE [--seconds S]", "collect the guide into epg/epg.xml (a file: to its end;\nlive: --seconds, 30 by default)",
     true, EpgCommand},
    {"xmltv", "NAME|FILE [-o FILE] [--seconds S]",
     "\nevery event of the guide as XMLTV (a file: to its end;\nlive: until the schedule is whole, or --seconds, 30)", true,
     XmltvCommand},
    {"analyze", "NAME|FILE [--json] [--seconds S]",
     "\nper PID, table and service what the stream carries, its\nbitrate and the TR 101 290 indicators (a file: to its\nend; live: --seconds, 10 by default)",
     true, AnalyzeCommand},
    {"test", "NAME|FILE [--seconds S] [--simulate]",
     "\nwatch reception four times a second; --simulate runs\na file on a simulated clock, as fast as it goes", true, TestCommand},
};

}  // namespace

const CCommandTable::Command* CCommandTable::Find(const std::string& name)
{
    const auto found = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [&name](const Command& command) { return name == command.name; });
    return found == std::end(kCommands) ? nullptr : found;
}

std::string CCommandTable::UsageText()
{
    std::string text = "usage: lumrx [--debug] COMMAND [ARGUMENTS]    (lumrx --version: the version)\n";
    for (const Command& command : kCommands) {
        std::string line = std::string("  ") + command.name + (*command.arguments ? " " : "") + command.arguments;
        // a call too long for the left-hand column keeps a gap of three before its description
        line.append(line.size() + 3 > kDescriptionColumn ? 3 : kDescriptionColumn - line.size(), ' ');
        for (const char* c = command.description; *c; ++c) {
            if (*c != '\n') {
                line += *c;
                continue;
            }
            text += line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
            line.assign(kDescriptionColumn, ' ');
        }
        text += line + "\n";
    }
    return text + "NAME is a definition's name; FILE a .ts file, played by the input plug-in that takes it.\n";
}

int CCommandTable::UsageError(const std::string& problem, bool whole)
{
    std::cerr << "lumrx: " << problem << "\n";
    if (whole)
        std::cerr << UsageText();
    else
        std::cerr << "(lumrx --help says how each command is used)\n";
    return ExitUsage;
}
