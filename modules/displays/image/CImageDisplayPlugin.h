#pragma once
// The display plug-in of LUMImageDisplay.so: displays that keep their latest frame as RGB.
// The displays live in libLUMImageDisplayBackend.so (with FFmpeg's libswscale), loaded
// when the first display is opened.
#include "decode/CDVBDisplay.h"
#include "plugins/CLUMDisplayPlugin.h"
#include "plugins/COpenedObjects.h"
#include "plugins/CPluginBackend.h"

class CImageDisplayPlugin : public CLUMDisplayPlugin
{
public:
    CImageDisplayPlugin();

    CString GetName() override { return "LUMImageDisplay"; }
    CString GetDescription() override { return "Keeps the latest decoded frame as an RGB picture."; }
    // The size asked for is not used: each frame brings its own.
    CDVBDisplay* OpenDisplay(int width, int height) override;
    bool CloseDisplay(CDVBDisplay* display) override;

private:
    CPluginBackend m_backend;
    COpenedObjects<CDVBDisplay> m_open;
};
