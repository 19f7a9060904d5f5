#pragma once
// The display plug-in of LUMImageDisplay.so: displays that keep their latest frame as RGB.
// The displays live in libLUMImageDisplayBackend.so (with FFmpeg's libswscale), loaded
// when the first display is opened.
#include "plugins/CLUMDisplayPlugin.h"
#include "plugins/CPluginBackend.h"

#include <mutex>
#include <set>

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
    std::mutex m_lock;
    std::set<CDVBDisplay*> m_open;   // what CloseDisplay may delete
};
