#pragma once
// Every event of the EIT, present/following and schedule, actual and other transport
// streams, keyed by service and event id, and the services' names from the SDTs: what a
// programme guide lists. Sections are followed by version: a section that changes
// replaces the events it carried. Bounded: past MaxEvents events, those that end first go.
// Fed on a receive thread, read on any: every operation takes the store's lock.
#include "platform/CCriticalSection.h"
#include "platform/CString.h"
#include "platform/LUMTypes.h"
#include "si/CDVBTableListener.h"

#include <cstdint>
#include <map>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

class CDVBEITSection;
class CDVBSDTSection;

class CDVBGuideStore : public CDVBTableListener
{
public:
    static constexpr std::size_t MaxEvents = 100000;   // about 40 MB of texts at most

    // original_network_id, transport_stream_id, service_id
    using ServiceKey = std::tuple<WORD, WORD, WORD>;
    struct Event
    {
        ServiceKey service;
        WORD eventId = 0;
        std::int64_t start = 0;   // seconds since 1970, UTC
        DWORD duration = 0;       // seconds
        CString language;         // of the short event descriptor
        CString title;            // as broadcast, character table included
        CString shortText;
        CString extendedText;     // items ("description: item") and texts, in descriptor order
        CString episodeTitle;     // an item the broadcast names as the episode's title
        std::vector<BYTE> genres;  // content nibbles, level 1 in the high four bits
        std::vector<std::pair<CString, BYTE>> ratings;   // country, rating
    };
    struct Service
    {
        CString name;
        CString provider;
    };

    void OnReceiveEIT(CDVBEITSection* section);
    void OnReceiveSDT(CDVBSDTSection* section);
    // As a receiver's table listener.
    void OnReceiveEIT(WORD, CDVBEITSection* section) override { OnReceiveEIT(section); }
    void OnReceiveSDT(WORD, CDVBSDTSection* section) override { OnReceiveSDT(section); }

    std::vector<Event> GetEvents();   // by service, then start
    std::map<ServiceKey, Service> GetServices();
    std::size_t GetEventCount();
    // Moves on whenever the events change: a reader copies them again only then.
    std::uint64_t GetRevision();
    // True once every schedule table a service announces (up to last_table_id) has all the
    // sections its segments announce, for every service seen with a schedule.
    bool IsScheduleComplete();

private:
    using EventKey = std::pair<ServiceKey, WORD>;
    // table_id, service, section_number
    using SectionKey = std::tuple<BYTE, ServiceKey, BYTE>;
    struct Section
    {
        BYTE version = 0;
        std::vector<WORD> events;
    };
    struct Schedule
    {
        BYTE lastTableId = 0;
        std::map<BYTE, std::set<BYTE>> expected;   // table_id -> section numbers announced
    };

    void Release(const EventKey& key);
    void Trim();

    CCriticalSection m_lock;
    std::map<EventKey, std::pair<Event, int>> m_events;   // with the count of sections that carry it
    std::map<SectionKey, Section> m_sections;
    std::map<ServiceKey, Service> m_services;
    std::map<std::pair<ServiceKey, bool>, Schedule> m_schedules;   // actual or other
    std::uint64_t m_revision = 0;
};
