#pragma once
// A plug-in that opens displays for decoders to deliver frames to.
#include "plugins/CLUMPlugin.h"

class CDVBDisplay;

class CLUMDisplayPlugin : public CLUMPlugin
{
public:
    int GetType() override { return TypeDisplay; }
    // Width and height of the display wanted, by agreement with display plug-ins.
    virtual CDVBDisplay* OpenDisplay(int, int) { return nullptr; }
    virtual bool CloseDisplay(CDVBDisplay*) { return false; }
};
