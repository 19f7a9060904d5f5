#pragma once
// The command line as main read it: the command, its arguments and the options any command
// may look at.
#include <string>
#include <vector>

struct CLumrxOptions
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
    double at = -1;       // snapshot: seconds of pictures before the one wanted; teletext: of the stream
    int page = 0;         // teletext, subtitles: the page, 100 to 899; 0: not said
    std::string output;   // xmltv: the file to write, standard output when empty
    std::string audioOut = "pulse";   // play: pulse, null or a WAV file
    std::string audio;                // play: the sound's language (ISO 639), else the first
    std::string subtitles;            // play, snapshot: the subtitles' language; "off" or empty: none
    std::string stats;                // play: where the presentation statistics go
    std::string presentationLog;      // play: a line per picture presented
    bool noVideo = false;             // play: sound only
    bool noDeinterlace = false;       // play, snapshot: interlaced pictures woven
};
