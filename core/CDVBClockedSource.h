#pragma once
// What a source that paces its delivery by time (a file played in real time) offers
// besides the source calls: the receiver built over it hands it the receiver's clock,
// through dynamic_cast, so that both keep one time, and a test that moves the receiver's
// clock moves the pacing with it.
class CClock;

class CDVBClockedSource
{
public:
    virtual ~CDVBClockedSource();
    // Not owned; it outlives the source's reception.
    virtual void SetClock(CClock* clock) = 0;
};
