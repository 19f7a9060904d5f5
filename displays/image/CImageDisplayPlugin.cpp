#include "CImageDisplayPlugin.h"

#include "ImageDisplayBackend.h"
#include "decode/CDVBDisplay.h"

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
    CDVBDisplay* display = create ? create() : nullptr;
    if (display) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_open.insert(display);
    }
    return display;
}

bool CImageDisplayPlugin::CloseDisplay(CDVBDisplay* display)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_open.erase(display) == 0)
            return false;
    }
    delete display;
    return true;
}
