#pragma once
// A receiver that also feeds every EIT and SDT section it handles to a guide store.
#include "receiver/CDVBTransportStreamReceiver.h"
#include "model/CDVBGuideStore.h"

class CGuideReceiver : public CDVBTransportStreamReceiver
{
public:
    CGuideReceiver(CDVBTransportStreamSource* source, CDVBTransportStreamUpdateHandler* updateHandler);

    CDVBGuideStore& Guide() { return m_guide; }

private:
    CDVBGuideStore m_guide;
};
