#include "CImageDisplayPlugin.h"

#include "ImageDisplayBackend.h"

namespace {

void Anchor() {}   // an address in this library: the backend is beside it

}  // namespace

CImageDisplayPlugin::CImageDisplayPlugin()
    : m_backend("libLUMImageDisplayBackend.so", reinterpret_cast<const void*>(&Anchor), true)
{
}

CDVBDisplay* CImageDisplayPlugin::OpenDisplay(int, int)
{
    auto* create = m_backend.Get<decltype(LUMImageCreateDisplay)>("LUMImageCreateDisplay");
    return m_open.Keep(create ? create() : nullptr);
}

bool CImageDisplayPlugin::CloseDisplay(CDVBDisplay* display)
{
    return m_open.Delete(display);
}
