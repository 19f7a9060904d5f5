#pragma once
// What lumview's window shows, as its behaviour decided it: the view copies it to its
// widgets and decides nothing. Texts are UTF-8.
#include "decode/CDVBSubtitleCue.h"
#include "platform/LUMTypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CLumviewState
{
public:
    struct Service
    {
        int id;
        int transportStreamId;   // 0xFFFF until the PAT or SDT says
        std::string name;
        std::string number;   // the channel number, "7 (hidden)" when the network hides it; may be empty
        std::string now;      // "HH:MM  title"
        std::string next;
    };
    struct GuideEvent
    {
        std::int64_t start;   // seconds since 1970, UTC: the view writes it in local time
        DWORD duration;       // seconds
        std::string title;
        std::string text;     // the short text, else the extended one
        std::string fullText;   // the extended text, else the short one
    };

    std::vector<std::string> inputs;   // the input plug-ins, by name
    int input = -1;
    std::vector<std::string> multiplexes;   // the definitions of the chosen input
    int multiplex = -1;
    std::string title = "lumview";
    std::string message;   // above the lists; none when empty
    std::string status;    // what plays, the frames dropped, the bitrate and the source's status
    bool receiving = false;   // a multiplex is open: the view's timers run
    std::vector<Service> services;
    int service = -1;   // the chosen row; -1 for none
    std::vector<GuideEvent> guide;   // of the chosen service
    std::uint64_t guideChanges = 0;   // moves on when `guide` does: the reader's place is kept otherwise
    std::string videoText;   // why there is no picture yet, or the radio service's name and now/next
    int volume = 100;   // percent
    bool muted = false;
    bool fullScreen = false;   // the picture alone
    std::vector<std::uint8_t> rgb;   // the picture, width * height 32-bit words 0xffRRGGBB; empty for none
    int width = 0;
    int height = 0;
    long long pictureTime = -1;   // its PTS
    std::uint64_t pictureChanges = 0;
    std::shared_ptr<const CDVBSubtitleCue> subtitle;   // drawn over the picture; none when null

    std::vector<std::string> soundTracks;      // of the service: "deu", "fra, audio description"
    int soundTrack = -1;
    std::vector<std::string> subtitleTracks;   // "deu", "deu, hard of hearing, teletext 888"
    int subtitleTrack = -1;                    // -1: none shown

    bool teletext = false;       // the teletext view in place of the picture
    int teletextPage = 100;
    int teletextSubpage = 0;     // 0: the subpages as they come
    std::string teletextTyped;   // the digits of a page number typed so far
    std::string teletextText;    // why there is no page to show
    std::vector<std::uint8_t> teletextRgba;   // the page, teletextWidth * teletextHeight RGBA
    int teletextWidth = 0;
    int teletextHeight = 0;
    std::uint64_t teletextChanges = 0;
};
