#include "ImageDisplayBackend.h"

#include "CImageDisplay.h"

extern "C" __attribute__((visibility("default"))) CDVBDisplay* LUMImageCreateDisplay()
{
    return new CImageDisplay;
}
