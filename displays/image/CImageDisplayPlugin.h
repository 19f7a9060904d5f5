#pragma once
// The display plug-in of LUMImageDisplay.so: displays that keep their latest frame as RGB.
#include "plugins/CLUMDisplayPlugin.h"

class CImageDisplayPlugin : public CLUMDisplayPlugin
{
public:
    CString GetName() override { return "LUMImageDisplay"; }
    CString GetDescription() override { return "Keeps the latest decoded frame as an RGB picture."; }
    // The size asked for is not used: each frame brings its own.
    CDVBDisplay* OpenDisplay(int width, int height) override;
    bool CloseDisplay(CDVBDisplay* display) override;
};
