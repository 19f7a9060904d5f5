#include "CGuideReceiver.h"

#include "si/CDVBEITSection.h"
#include "si/CDVBSDTSection.h"

void CGuideReceiver::OnSectionUpdate(WORD pid, CDVBSISection* section)
{
    CDVBTransportStreamReceiver::OnSectionUpdate(pid, section);
    if (section->m_type == CDVBSISection::TypeEIT)
        m_guide.OnReceiveEIT(static_cast<CDVBEITSection*>(section));
    else if (section->m_type == CDVBSISection::TypeSDT)
        m_guide.OnReceiveSDT(static_cast<CDVBSDTSection*>(section));
}
