#pragma once
// What an input plug-in may offer hosts beyond CLUMInputPlugin. A plug-in that does also
// derives from this class, and a host asks with dynamic_cast, so that no host depends on
// one plug-in's name, its definitions' text or the files it reads.
#include "platform/CString.h"

class CDVBMultiplexDefinition;

class CLUMInputPluginExtension
{
public:
    // Why the last OpenMultiplex of the plug-in returned null.
    static constexpr int OpenFailureNone = 0;
    static constexpr int OpenFailureUnreadable = 1;           // the location cannot be read
    static constexpr int OpenFailureNotTransportStream = 2;   // it holds no transport stream
    static constexpr int OpenFailureDevice = 3;               // the device or the network refused
    static constexpr int OpenFailureNoSignal = 4;             // a tuner found nothing to lock on
    static constexpr int OpenFailureInvalid = 5;              // a field the plug-in cannot use

    virtual ~CLUMInputPluginExtension();

    // A definition, owned by the caller, of a location a user gave in place of a
    // definition's name (the path of a file for a file player); null when the plug-in
    // does not play such a location. `realTime` asks for the pace of a live broadcast.
    virtual CDVBMultiplexDefinition* CreateDefinitionForLocation(const CString& location, bool realTime) = 0;
    virtual int GetLastOpenFailure() = 0;
    // Why, in a few words for people ("the server answered 404"); empty when the code says it all.
    virtual CString GetLastOpenFailureText() { return CString(); }
    // Whether the definition could be opened as it stands, found without opening it (a
    // missing file, a file of no transport stream, a URL that does not parse): OpenFailureNone,
    // or the failure OpenMultiplex would meet, with why for people in `problem`.
    virtual int CheckMultiplexDefinition(CDVBMultiplexDefinition* definition, CString& problem);
    // ScanForMultiplexDefinitions over `folder` rather than wherever the plug-in looks. When
    // it succeeds, GetLastOpenFailureText holds what it skipped and why, a line each.
    virtual bool ScanFolder(const CString& folder) = 0;
    // Unlinks the definition from the plug-in's list and deletes it; false when the list
    // does not hold it.
    virtual bool RemoveMultiplexDefinition(CDVBMultiplexDefinition* definition) = 0;
};
