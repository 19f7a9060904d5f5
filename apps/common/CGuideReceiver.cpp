#include "CGuideReceiver.h"

CGuideReceiver::CGuideReceiver(CDVBTransportStreamSource* source, CDVBTransportStreamUpdateHandler* updateHandler)
    : CDVBTransportStreamReceiver(source, updateHandler)
{
    AddTableListener(&m_guide);
}
