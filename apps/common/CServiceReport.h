#pragma once
// The services of a receiver at one moment, in UTF-8, ready to print as a table or as
// JSON. Taken under the receiver's programs lock; used after it is released.
#include "model/CDVBTrackList.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

class CDVBTransportStreamReceiver;
struct SYSTEMTIME;

class CServiceReport
{
public:
    struct Event
    {
        std::string title;
        std::string text;
        std::string start;   // ISO 8601 local time with its offset; empty when unknown
        std::string end;
    };
    struct Element
    {
        int pid;
        int streamType;
        std::string description;
        const char* codec;   // ffprobe's codec_name; null when not known
    };
    struct Service
    {
        int id;
        int transportStreamId;   // 0xFFFF until the PAT or SDT says
        std::optional<int> originalNetworkId;   // of the actual SDT
        std::string network;                    // the name the actual NIT gives; empty until it has come
        std::string name;
        std::string provider;
        int sdtType;   // service type codes
        int pmtType;
        std::optional<int> lcn;   // the logical channel number the actual NIT gives
        bool visible = true;      // the channel's visible_service_flag
        std::string access;
        std::optional<int> pmtPid;
        std::optional<int> pcrPid;
        std::vector<Element> elements;
        std::vector<CDVBTrackList::Track> tracks;   // once the program map has come
        std::optional<Event> now;
        std::optional<Event> next;
    };

    void Take(CDVBTransportStreamReceiver& receiver);
    // The network every service of the multiplex is in, once its tables have said.
    void SetNetwork(std::optional<int> originalNetworkId, const std::string& name);
    const std::vector<Service>& Services() const { return m_services; }

    nlohmann::json ToJson() const;
    // "sound", "audio description", "subtitles", "teletext subtitles", "teletext"
    static const char* KindName(CDVBTrackList::Kind kind);
    void PrintTable(std::ostream& out) const;

    // "2024-03-08T12:30:00+01:00": local time with the offset of that instant; empty for
    // no date.
    static std::string IsoLocalTime(const SYSTEMTIME& utc);

private:
    std::vector<Service> m_services;
};
