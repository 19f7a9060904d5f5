#include "CImageDisplayPlugin.h"

#include "CImageDisplay.h"

CDVBDisplay* CImageDisplayPlugin::OpenDisplay(int, int)
{
    return new CImageDisplay;
}

bool CImageDisplayPlugin::CloseDisplay(CDVBDisplay* display)
{
    auto* image = dynamic_cast<CImageDisplay*>(display);
    delete image;
    return image != nullptr;
}
