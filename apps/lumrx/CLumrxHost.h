#pragma once
// What every lumrx command needs: the plug-ins beside the executable, an input plug-in by
// name, and a multiplex to receive named by a definition or by the path of a file (played
// through the file input plug-in). Failures carry their exit code and a message.
#include "ExitCode.h"

#include "platform/CString.h"

#include <memory>
#include <string>

class CDVBMultiplexDefinition;
class CLUMInputPlugin;

class CLumrxHost
{
public:
    CLumrxHost();
    ~CLumrxHost();
    CLumrxHost(const CLumrxHost&) = delete;
    CLumrxHost& operator=(const CLumrxHost&) = delete;

    // The input plug-in with this name, or the file input plug-in for an empty name.
    CLUMInputPlugin* FindInputPlugin(const std::string& name);

    // A definition of `name`, or a file definition when `name` is the path of a file; the
    // plug-in comes with it. `realTime` paces a file by its PCR, else it is read as fast
    // as it goes.
    bool ResolveMultiplex(const std::string& name, const std::string& pluginName, bool realTime,
                          CLUMInputPlugin*& plugin, CDVBMultiplexDefinition*& definition);

    ExitCode GetError() const { return m_error; }
    const std::string& GetMessage() const { return m_message; }
    bool Fail(ExitCode code, const std::string& message);

    static std::string PluginTypeText(int type);

private:
    std::unique_ptr<CDVBMultiplexDefinition> m_fileDefinition;   // for a path; ours
    ExitCode m_error = ExitOk;
    std::string m_message;
};
