#include "plugins/CLUMInputPluginExtension.h"

// Out of line, so that the class's type information lives in the library and a cast
// from a plug-in's object works in the host.
CLUMInputPluginExtension::~CLUMInputPluginExtension() = default;

int CLUMInputPluginExtension::CheckMultiplexDefinition(CDVBMultiplexDefinition*, CString&)
{
    return OpenFailureNone;
}
