#include "si/CDVBTableListener.h"

#include "si/CDVBEITSection.h"
#include "si/CDVBNITSection.h"
#include "si/CDVBPATSection.h"
#include "si/CDVBPMTSection.h"
#include "si/CDVBSDTSection.h"
#include "si/CDVBTDTSection.h"
#include "si/CDVBTOTSection.h"

void CDVBTableListener::Dispatch(CDVBTableListener& listener, WORD pid, CDVBSISection* section)
{
    switch (section->m_type) {
    case CDVBSISection::TypePAT: listener.OnReceivePAT(pid, static_cast<CDVBPATSection*>(section)); break;
    case CDVBSISection::TypePMT: listener.OnReceivePMT(pid, static_cast<CDVBPMTSection*>(section)); break;
    case CDVBSISection::TypeSDT: listener.OnReceiveSDT(pid, static_cast<CDVBSDTSection*>(section)); break;
    case CDVBSISection::TypeEIT: listener.OnReceiveEIT(pid, static_cast<CDVBEITSection*>(section)); break;
    case CDVBSISection::TypeNIT: listener.OnReceiveNIT(pid, static_cast<CDVBNITSection*>(section)); break;
    case CDVBSISection::TypeTDT: listener.OnReceiveTDT(pid, static_cast<CDVBTDTSection*>(section)); break;
    case CDVBSISection::TypeTOT: listener.OnReceiveTOT(pid, static_cast<CDVBTOTSection*>(section)); break;
    default: break;
    }
}
