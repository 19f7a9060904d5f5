#include "model/CDVBTransportStreamList.h"

CDVBTransportStream* CDVBTransportStreamList::GetOrCreateTransportStream(WORD transportStreamId)
{
    auto position = begin();
    for (; position != end(); ++position) {
        if ((*position)->m_transportStreamId == transportStreamId)
            return *position;
        if ((*position)->m_transportStreamId > transportStreamId)
            break;
    }
    return *insert(position, new CDVBTransportStream(transportStreamId));
}
