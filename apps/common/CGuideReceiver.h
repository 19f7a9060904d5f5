#pragma once
// A receiver that also feeds every EIT and SDT section it handles to a guide store.
#include "core/CDVBTransportStreamReceiver.h"
#include "model/CDVBGuideStore.h"

class CGuideReceiver : public CDVBTransportStreamReceiver
{
public:
    using CDVBTransportStreamReceiver::CDVBTransportStreamReceiver;
    CDVBGuideStore& Guide() { return m_guide; }

protected:
    void OnSectionUpdate(WORD pid, CDVBSISection* section) override;

private:
    CDVBGuideStore m_guide;
};
