#pragma once
// Applies the tables that describe programs (PAT, PMT, SDT, EIT; the actual NIT's channel
// numbers for this stream's programs) to a program list under
// the list's lock: the receiver's programs of the stream it receives, and the SI
// collector's of every stream it hears of, with one code. `actualOnly` leaves out the SDT
// of other streams and every EIT but the present/following of this one; `notify`, called
// under the lock, hears of each program a table changed.
#include "platform/LUMTypes.h"

#include <functional>
#include <map>
#include <utility>

class CCriticalSection;
class CDVBEITSection;
class CDVBNITSection;
class CDVBPATSection;
class CDVBPMTSection;
class CDVBProgramList;
class CDVBSDTSection;

class CDVBProgramListUpdater
{
public:
    using Notify = std::function<void(WORD programNumber, int updateType)>;   // CDVBTransportStreamUpdateHandler's codes

    CDVBProgramListUpdater(CDVBProgramList& programs, CCriticalSection& lock, bool actualOnly, Notify notify = {})
        : m_programs(programs), m_lock(lock), m_actualOnly(actualOnly), m_notify(std::move(notify))
    {
    }

    // Each returns whether the table was applied.
    bool ApplyPAT(CDVBPATSection* section);
    bool ApplyPMT(CDVBPMTSection* section);
    bool ApplySDT(CDVBSDTSection* section);
    bool ApplyEIT(CDVBEITSection* section);
    // Kept, and given to the programs of the stream the PAT names, now and as they come.
    bool ApplyNIT(CDVBNITSection* section);

private:
    void Tell(WORD programNumber, int updateType);
    void GiveChannelNumbers();   // under m_lock

    CDVBProgramList& m_programs;
    CCriticalSection& m_lock;
    bool m_actualOnly;
    Notify m_notify;
    // (transport_stream_id, service_id): number, visible
    std::map<std::pair<WORD, WORD>, std::pair<int, bool>> m_channelNumbers;
};
