#pragma once
// Transport streams sorted by transport_stream_id, at most one per id; the list owns them.
#include "core/CDVBOwningList.h"
#include "model/CDVBTransportStream.h"

class CDVBTransportStreamList : public CDVBOwningList<CDVBTransportStream>
{
public:
    // Never null: a missing transport stream is created at its sorted place.
    CDVBTransportStream* GetOrCreateTransportStream(WORD transportStreamId);
};
