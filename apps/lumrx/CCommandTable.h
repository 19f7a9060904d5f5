#pragma once
// lumrx's commands, one row each: what main dispatches to and what the usage text lists
// come from the same rows, so that neither can forget a command.
#include <string>

class CLumrxHost;
struct CLumrxOptions;

class CCommandTable
{
public:
    struct Command
    {
        const char* name;
        const char* arguments;     // as the usage shows them after the name
        const char* description;   // lines of the usage's right-hand column; a leading '\n' starts it below
        bool needsArgument;
        int (*run)(CLumrxHost& host, const CLumrxOptions& options);
    };

    // The first row of that name; null for no command of lumrx.
    static const Command* Find(const std::string& name);
    static std::string UsageText();
    // Says a usage error: the whole usage after an unknown command, else a pointer to it.
    static int UsageError(const std::string& problem, bool whole = false);
};
