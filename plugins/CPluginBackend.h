#pragma once
// The part of a plug-in that needs large libraries (FFmpeg, libcurl), in a library of its
// own beside the plug-in, loaded at the first call that needs it: a host that loads every
// plug-in but never decodes or opens a URL does not map those libraries. Its file name
// does not begin with "LUM", so the plug-in manager does not take it for a plug-in.
#include "platform/CString.h"

#include <mutex>

class CPluginBackend
{
public:
    // `fileName` in the folder of the library that holds `addressInPlugin`. A backend
    // `kept` stays loaded for the life of the process (FFmpeg's libraries are not made to
    // be unloaded).
    CPluginBackend(const char* fileName, const void* addressInPlugin, bool kept);
    ~CPluginBackend();
    CPluginBackend(const CPluginBackend&) = delete;
    CPluginBackend& operator=(const CPluginBackend&) = delete;

    // The backend's function `name`, loading the backend at the first call; null when the
    // backend or the function cannot be found (GetError says why).
    template <typename Function>
    Function* Get(const char* name)
    {
        return reinterpret_cast<Function*>(Symbol(name));
    }
    CString GetError();

private:
    void* Symbol(const char* name);

    std::mutex m_lock;
    CString m_fileName;
    const void* m_anchor;
    bool m_kept;
    bool m_tried = false;
    void* m_handle = nullptr;
    CString m_error;
};
