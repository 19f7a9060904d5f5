#pragma once
// Something that wants the tables a receiver hands on, each by its type: a host's scan or
// guide, the SI collector. Called on the receive thread, after the receiver has applied the
// section to its own programs; a section stays the SI receiver's, valid only during the call.
#include "platform/LUMTypes.h"

class CDVBEITSection;
class CDVBNITSection;
class CDVBPATSection;
class CDVBPMTSection;
class CDVBSDTSection;
class CDVBSISection;
class CDVBTDTSection;
class CDVBTOTSection;

class CDVBTableListener
{
public:
    virtual ~CDVBTableListener() = default;

    virtual void OnReceivePAT(WORD, CDVBPATSection*) {}
    virtual void OnReceivePMT(WORD, CDVBPMTSection*) {}
    virtual void OnReceiveSDT(WORD, CDVBSDTSection*) {}
    virtual void OnReceiveEIT(WORD, CDVBEITSection*) {}
    virtual void OnReceiveNIT(WORD, CDVBNITSection*) {}
    virtual void OnReceiveTDT(WORD, CDVBTDTSection*) {}
    virtual void OnReceiveTOT(WORD, CDVBTOTSection*) {}

    // The one place a section's type picks the call.
    static void Dispatch(CDVBTableListener& listener, WORD pid, CDVBSISection* section);
};
