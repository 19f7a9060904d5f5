#include "CXmltvWriter.h"

#include "model/CDVBGuideStore.h"
#include "platform/TimeZone.h"
#include "si/CDVBContentDescriptor.h"
#include "si/CDVBText.h"

#include <cctype>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>

namespace {

// UTF-8 of broadcast text, with markup escaped and the characters XML forbids left out.
std::string Xml(const CString& broadcast)
{
    std::string out;
    for (char c : CDVBText::ToUTF8(broadcast)) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r')
                out += c;
        }
    }
    return out;
}

std::string ChannelId(const CDVBGuideStore::ServiceKey& key)
{
    return std::to_string(std::get<0>(key)) + "." + std::to_string(std::get<1>(key)) + "." +
           std::to_string(std::get<2>(key));
}

// "YYYYMMDDhhmmss +hhmm": local time with the offset in force at that instant.
std::string XmltvTime(std::int64_t utc)
{
    const long offset = GetUTCOffsetAt(utc);
    const std::time_t local = std::time_t(utc + offset);
    std::tm t{};
    gmtime_r(&local, &t);
    const long minutes = (offset < 0 ? -offset : offset) / 60;
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d %c%02ld%02ld", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min, t.tm_sec, offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return text;
}

// ` lang="fra"` when the code is one a language attribute can hold.
std::string Lang(const CString& code)
{
    for (char c : code.Str())
        if (!std::isalpha(static_cast<unsigned char>(c)))
            return std::string();
    return code.IsEmpty() ? std::string() : " lang=\"" + code.Str() + "\"";
}

}  // namespace

std::size_t CXmltvWriter::Write(CDVBGuideStore& guide, std::ostream& out)
{
    const auto services = guide.GetServices();
    const auto events = guide.GetEvents();
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE tv SYSTEM \"xmltv.dtd\">\n"
        << "<tv generator-info-name=\"lumrx\">\n";
    // only channels with programmes: guide readers refuse a channel without one
    std::map<CDVBGuideStore::ServiceKey, CString> channels;
    for (const auto& event : events) {
        const auto service = services.find(event.service);
        channels.emplace(event.service, service == services.end() ? CString() : service->second.name);
    }
    for (const auto& [key, broadcastName] : channels) {
        const std::string name = broadcastName.IsEmpty() ? "Service " + std::to_string(std::get<2>(key)) : Xml(broadcastName);
        out << "  <channel id=\"" << ChannelId(key) << "\">\n    <display-name>" << name << "</display-name>\n  </channel>\n";
    }
    for (const auto& e : events) {
        const std::string lang = Lang(e.language);
        out << "  <programme start=\"" << XmltvTime(e.start) << "\" stop=\"" << XmltvTime(e.start + e.duration)
            << "\" channel=\"" << ChannelId(e.service) << "\">\n";
        out << "    <title" << lang << ">" << Xml(e.title) << "</title>\n";
        if (!e.episodeTitle.IsEmpty())
            out << "    <sub-title" << lang << ">" << Xml(e.episodeTitle) << "</sub-title>\n";
        // the short text first, as guide readers show it, and the long one after it
        std::string description = Xml(e.shortText);
        const std::string extended = Xml(e.extendedText);
        if (!extended.empty() && extended.compare(0, description.size(), description) != 0)
            description += description.empty() ? extended : "\n" + extended;
        else if (!extended.empty())
            description = extended;
        if (!description.empty())
            out << "    <desc" << lang << ">" << description << "</desc>\n";
        for (BYTE genre : e.genres)
            if (const char* text = CDVBContentDescriptor::GetGenreText(genre))
                out << "    <category lang=\"en\">" << text << "</category>\n";
        for (const auto& [country, rating] : e.ratings)
            if (rating >= 0x01 && rating <= 0x0F)   // a minimum age of rating + 3
                out << "    <rating system=\"dvb\"><value>" << rating + 3 << "</value></rating>\n";
        out << "  </programme>\n";
    }
    out << "</tv>\n";
    return events.size();
}
