#pragma once
// Base of every plug-in. Plug-in objects live in plug-in libraries (LUM*.so beside the
// application) and register themselves with the plug-in manager while their library
// loads; the library owns them.
#include "platform/CString.h"

class CLUMPlugin
{
public:
    // Plug-in type codes.
    static constexpr int TypePlain = 0;
    static constexpr int TypeInput = 1;
    static constexpr int TypeDecoder = 2;
    static constexpr int TypeDisplay = 3;
    static constexpr int TypeAudioOutput = 4;

    virtual ~CLUMPlugin() = default;
    virtual int GetType() { return TypePlain; }
    // Also the stem of an input plug-in's definitions file.
    virtual CString GetName() { return "Unnamed plugin"; }
    virtual CString GetDescription() { return "No description."; }
    virtual void Initialise() {}
    virtual void DeInitialise() {}
};
