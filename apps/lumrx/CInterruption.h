#pragma once
// Ctrl-C and SIGTERM: a command that receives until told to stop looks here between waits.
class CInterruption
{
public:
    static void Catch();
    static bool IsRequested();
};
