#pragma once
// Applies the tables that describe programs (PAT, PMT, SDT, EIT) to a program list under
// the list's lock: the receiver's programs of the stream it receives, and the SI
// collector's of every stream it hears of, with one code. `actualOnly` leaves out the SDT
// of other streams and every EIT but the present/following of this one; `notify`, called
// under the lock, hears of each program a table changed.
#include "platform/LUMTypes.h"

#include <functional>

class CCriticalSection;
class CDVBEITSection;
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

private:
    void Tell(WORD programNumber, int updateType);

    CDVBProgramList& m_programs;
    CCriticalSection& m_lock;
    bool m_actualOnly;
    Notify m_notify;
};
