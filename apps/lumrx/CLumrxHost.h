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
class CLUMInputPluginExtension;

class CLumrxHost
{
public:
    CLumrxHost();
    ~CLumrxHost();
    CLumrxHost(const CLumrxHost&) = delete;
    CLumrxHost& operator=(const CLumrxHost&) = delete;

    // The input plug-in with this name, or the first input plug-in for an empty name.
    CLUMInputPlugin* FindInputPlugin(const std::string& name);
    // What the plug-in offers hosts beyond the plug-in class; null when it offers nothing.
    static CLUMInputPluginExtension* ExtensionOf(CLUMInputPlugin* plugin);

    // A definition of `name`, or, when `name` is a location such as the path of a file, a
    // definition of it from the first input plug-in that plays it; the plug-in comes with
    // it. `realTime` asks for a file to be played at its own pace, else as fast as it goes.
    bool ResolveMultiplex(const std::string& name, const std::string& pluginName, bool realTime,
                          CLUMInputPlugin*& plugin, CDVBMultiplexDefinition*& definition);

    ExitCode GetError() const { return m_error; }
    const std::string& GetMessage() const { return m_message; }
    bool Fail(ExitCode code, const std::string& message);
    // Says the failure on standard error; its exit code.
    int SayFailure() const;
    // Fails with why a multiplex would not open and the exit code that says it; where the
    // plug-in gave no reason, its check of `definition` names what is wrong (a missing file).
    void FailToOpen(CLUMInputPlugin* plugin, const std::string& name, CDVBMultiplexDefinition* definition = nullptr);
    // The plug-in's extension, or a failure saying the plug-in cannot do `what`.
    CLUMInputPluginExtension* ExtensionFor(CLUMInputPlugin* plugin, const char* what);
    // Writes the plug-in's definitions file; the exit code, with the failure said.
    int Save(CLUMInputPlugin* plugin);

    // What stands in the way of opening a definition, for people; empty when nothing does.
    static std::string DefinitionProblem(CLUMInputPlugin* plugin, CDVBMultiplexDefinition* definition, int& failure);

    static std::string PluginTypeText(int type);
    // Whether a name given for a multiplex is a file's path rather than a definition's name.
    static bool LooksLikeAPath(const std::string& name);

private:
    std::unique_ptr<CDVBMultiplexDefinition> m_locationDefinition;   // for a location; ours
    ExitCode m_error = ExitOk;
    std::string m_message;
};
