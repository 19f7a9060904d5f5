#pragma once
// A plug-in that decodes components: it opens one as a PID receiver, which the host
// registers with the transport stream receiver, and takes it back afterwards.
#include "plugins/CLUMPlugin.h"

class CDVBComponentDefinition;
class CDVBPIDReceiver;

class CLUMDecoderPlugin : public CLUMPlugin
{
public:
    int GetType() override { return TypeDecoder; }
    virtual bool SupportsComponent(CDVBComponentDefinition*) { return false; }
    virtual CDVBPIDReceiver* OpenComponent(CDVBComponentDefinition*) { return nullptr; }
    virtual bool CloseComponent(CDVBPIDReceiver*) { return false; }
};
