#include "si/CDVBContentDescriptor.h"

bool CDVBContentDescriptor::Parse(CDVBByteReader payload)
{
    BYTE nibbles = 0, user = 0;
    while (payload.Remaining() >= 2 && payload.ReadByte(nibbles) && payload.ReadByte(user)) {
        m_contentNibbles.push_back(nibbles);
        m_userBytes.push_back(user);
    }
    return payload.Remaining() == 0;   // a half pair at the end is not a genre
}

void CDVBContentDescriptor::CopyFrom(const CDVBDescriptor* source)
{
    CDVBDescriptor::CopyFrom(source);
    const auto* from = static_cast<const CDVBContentDescriptor*>(source);
    m_contentNibbles = from->m_contentNibbles;
    m_userBytes = from->m_userBytes;
}

const char* CDVBContentDescriptor::GetGenreText(BYTE content)
{
    // each level 1 family with its general name (level 2 = 0) first; 0xB holds special
    // characteristics, which have no general name
    static const char* const kGenres[12][16] = {
        {},
        {"Movie/Drama", "detective/thriller", "adventure/western/war", "science fiction/fantasy/horror", "comedy",
         "soap/melodrama/folklore", "romance", "serious/classical/religious/historical movie/drama",
         "adult movie/drama"},
        {"News/Current affairs", "news/weather report", "news magazine", "documentary", "discussion/interview/debate"},
        {"Show/Game show", "game show/quiz/contest", "variety show", "talk show"},
        {"Sports", "special events (Olympic Games, World Cup, etc.)", "sports magazines", "football/soccer",
         "tennis/squash", "team sports (excluding football)", "athletics", "motor sport", "water sport", "winter sports",
         "equestrian", "martial sports"},
        {"Children's/Youth programmes", "pre-school children's programmes", "entertainment programmes for 6 to 14",
         "entertainment programmes for 10 to 16", "informational/educational/school programmes", "cartoons/puppets"},
        {"Music/Ballet/Dance", "rock/pop", "serious music/classical music", "folk/traditional music", "jazz",
         "musical/opera", "ballet"},
        {"Arts/Culture (without music)", "performing arts", "fine arts", "religion", "popular culture/traditional arts",
         "literature", "film/cinema", "experimental film/video", "broadcasting/press", "new media",
         "arts/culture magazines", "fashion"},
        {"Social/Political issues/Economics", "magazines/reports/documentary", "economics/social advisory",
         "remarkable people"},
        {"Education/Science/Factual topics", "nature/animals/environment", "technology/natural sciences",
         "medicine/physiology/psychology", "foreign countries/expeditions", "social/spiritual sciences",
         "further education", "languages"},
        {"Leisure hobbies", "tourism/travel", "handicraft", "motoring", "fitness and health", "cooking",
         "advertisement/shopping", "gardening"},
        {"original language", "black and white", "unpublished", "live broadcast"},
    };
    const int level1 = content >> 4, level2 = content & 0x0F;
    if (level1 < 1 || level1 > 11)
        return nullptr;
    return kGenres[level1][level2];   // null past the family's last
}
