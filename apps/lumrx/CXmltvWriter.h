#pragma once
// A guide store as XMLTV, the format guide readers (Kodi, tvheadend, MythTV) import:
// channels with ids "onid.tsid.sid" and their names, programmes with local start and stop
// times with the offset of each instant, title, sub-title, description, categories with
// the genre names of the content descriptor, and parental ratings. Texts in UTF-8.
#include <cstddef>
#include <ostream>

class CDVBGuideStore;

class CXmltvWriter
{
public:
    // The number of programmes written: channels without one are left out.
    static std::size_t Write(CDVBGuideStore& guide, std::ostream& out);
};
