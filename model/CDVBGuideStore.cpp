#include "model/CDVBGuideStore.h"

#include "platform/CSingleLock.h"
#include "si/CDVBContentDescriptor.h"
#include "si/CDVBEITSection.h"
#include "si/CDVBExtendedEventDescriptor.h"
#include "si/CDVBParentalRatingDescriptor.h"
#include "si/CDVBSDTSection.h"
#include "si/CDVBServiceDescriptor.h"
#include "si/CDVBShortEventDescriptor.h"
#include "si/DVBTime.h"
#include "si/CDVBText.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace {

constexpr std::int64_t kUnixEpochIn1601 = 11644473600LL;

// Whether an extended event item's description names the episode's title, as broadcasters
// that give one call it ("Episode", "Episodentitel", "Folge"...).
bool NamesEpisodeTitle(const CString& description)
{
    std::string name;
    for (char c : CDVBText::ToUTF8(description))
        if (c != ':' && c != ' ')
            name += char(std::tolower(static_cast<unsigned char>(c)));
    for (const char* word : {"episode", "episodetitle", "episodentitel", "folge", "folgentitel", "episodio",
                             "titoloepisodio", "titredel'\xC3\xA9pisode", "\xC3\xA9pisode", "afsnit", "jakso", "avsnitt"})
        if (name == word)
            return true;
    return false;
}

// The event's descriptors, as the guide shows them.
void Describe(const CDVBEITEntry& entry, CDVBGuideStore::Event& event)
{
    for (const CDVBDescriptor* d : entry.m_descriptors) {
        if (const auto* s = dynamic_cast<const CDVBShortEventDescriptor*>(d)) {
            event.language = s->m_languageCode;
            event.title = s->m_eventName;
            event.shortText = s->m_text;
        } else if (const auto* x = dynamic_cast<const CDVBExtendedEventDescriptor*>(d)) {
            for (const auto& [description, item] : x->m_items) {
                event.extendedText += description + ": " + item + "\n";
                if (event.episodeTitle.IsEmpty() && NamesEpisodeTitle(description))
                    event.episodeTitle = item;
            }
            event.extendedText += x->m_text;
        } else if (const auto* c = dynamic_cast<const CDVBContentDescriptor*>(d)) {
            event.genres.insert(event.genres.end(), c->m_contentNibbles.begin(), c->m_contentNibbles.end());
        } else if (const auto* r = dynamic_cast<const CDVBParentalRatingDescriptor*>(d)) {
            event.ratings.insert(event.ratings.end(), r->m_ratings.begin(), r->m_ratings.end());
        }
    }
}

}  // namespace

void CDVBGuideStore::OnReceiveEIT(CDVBEITSection* section)
{
    const ServiceKey service{section->m_originalNetworkId, section->m_transportStreamId, section->m_tableIdExtension};
    CSingleLock guard(m_lock);
    if (section->m_tableId >= 0x50) {   // a schedule: note what its segments announce
        const bool other = section->m_tableId >= 0x60;
        Schedule& schedule = m_schedules[{service, other}];
        schedule.lastTableId = section->m_lastTableId;
        std::set<BYTE>& announced = schedule.expected[section->m_tableId];
        for (int n = 0; n <= section->m_lastSectionNumber; n += 8) {
            // a segment's sections run from its first to the last it announces; a segment
            // not seen yet is known only by its first section
            announced.insert(BYTE(n));
        }
        const int segment = section->m_sectionNumber & ~7;
        for (int n = segment; n <= section->m_segmentLastSectionNumber && n < segment + 8; ++n)
            announced.insert(BYTE(n));
    }
    const SectionKey key{section->m_tableId, service, section->m_sectionNumber};
    const auto found = m_sections.find(key);
    if (found != m_sections.end() && found->second.version == section->m_versionNumber)
        return;   // a repeat
    Section replacement{section->m_versionNumber, {}};
    for (const CDVBEITEntry* entry : section->m_entries) {
        SYSTEMTIME utc;
        entry->GetUTCStartTime(&utc);
        std::uint64_t seconds = 0;
        if (!SystemTimeToSeconds(&utc, &seconds))
            continue;   // no calendar holds its start
        Event event;
        event.service = service;
        event.eventId = entry->m_eventId;
        event.start = std::int64_t(seconds) - kUnixEpochIn1601;
        event.duration = entry->GetDurationSeconds();
        Describe(*entry, event);
        auto& slot = m_events[{service, entry->m_eventId}];
        slot.first = std::move(event);
        ++slot.second;
        replacement.events.push_back(entry->m_eventId);
    }
    if (found != m_sections.end()) {
        for (WORD eventId : found->second.events)
            Release({service, eventId});
        found->second = std::move(replacement);
    } else {
        m_sections.emplace(key, std::move(replacement));
    }
    Trim();
    ++m_revision;
}

void CDVBGuideStore::Release(const EventKey& key)
{
    const auto found = m_events.find(key);
    if (found != m_events.end() && --found->second.second <= 0)
        m_events.erase(found);
}

void CDVBGuideStore::Trim()
{
    if (m_events.size() <= MaxEvents)
        return;
    std::vector<std::pair<std::int64_t, EventKey>> byEnd;
    for (const auto& [key, value] : m_events)
        byEnd.emplace_back(value.first.start + value.first.duration, key);
    std::sort(byEnd.begin(), byEnd.end());
    for (std::size_t i = 0; i < byEnd.size() - MaxEvents; ++i)
        m_events.erase(byEnd[i].second);   // sections still naming it find it gone: harmless
}

void CDVBGuideStore::OnReceiveSDT(CDVBSDTSection* section)
{
    CSingleLock guard(m_lock);
    for (const CDVBSDTEntry* entry : section->m_entries) {
        Service& service = m_services[{section->m_originalNetworkId, section->m_tableIdExtension, entry->m_serviceId}];
        for (const CDVBDescriptor* d : entry->m_descriptors)
            if (const auto* s = dynamic_cast<const CDVBServiceDescriptor*>(d)) {
                service.name = s->m_serviceName;
                service.provider = s->m_providerName;
            }
    }
}

std::vector<CDVBGuideStore::Event> CDVBGuideStore::GetEvents()
{
    CSingleLock guard(m_lock);
    std::vector<Event> events;
    events.reserve(m_events.size());
    for (const auto& [key, value] : m_events)
        events.push_back(value.first);
    std::sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return std::tie(a.service, a.start, a.eventId) < std::tie(b.service, b.start, b.eventId);
    });
    return events;
}

std::map<CDVBGuideStore::ServiceKey, CDVBGuideStore::Service> CDVBGuideStore::GetServices()
{
    CSingleLock guard(m_lock);
    return m_services;
}

std::uint64_t CDVBGuideStore::GetRevision()
{
    CSingleLock guard(m_lock);
    return m_revision;
}

std::size_t CDVBGuideStore::GetEventCount()
{
    CSingleLock guard(m_lock);
    return m_events.size();
}

bool CDVBGuideStore::IsScheduleComplete()
{
    CSingleLock guard(m_lock);
    for (const auto& [owner, schedule] : m_schedules) {
        const BYTE first = owner.second ? 0x60 : 0x50;
        for (int table = first; table <= std::max<int>(schedule.lastTableId, first); ++table) {
            const auto announced = schedule.expected.find(BYTE(table));
            if (announced == schedule.expected.end())
                return false;   // a table not seen at all
            for (BYTE number : announced->second)
                if (!m_sections.count({BYTE(table), owner.first, number}))
                    return false;
        }
    }
    return !m_schedules.empty();
}
