#include "plugins/CPluginBackend.h"

#include <dlfcn.h>

CPluginBackend::CPluginBackend(const char* fileName, const void* addressInPlugin, bool kept)
    : m_fileName(fileName), m_anchor(addressInPlugin), m_kept(kept)
{
}

CPluginBackend::~CPluginBackend()
{
    if (m_handle)
        ::dlclose(m_handle);
}

void* CPluginBackend::Symbol(const char* name)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_tried) {
        m_tried = true;
        Dl_info plugin{};
        CString folder;
        if (::dladdr(m_anchor, &plugin) && plugin.dli_fname) {
            folder = plugin.dli_fname;
            folder = folder.Left(folder.ReverseFind('/') + 1);
        }
        const CString path = (folder.IsEmpty() ? CString("./") : folder) + m_fileName;
        m_handle = ::dlopen(path, RTLD_NOW | (m_kept ? RTLD_NODELETE : 0));
        if (m_handle == nullptr)
            m_error = ::dlerror();
    }
    if (m_handle == nullptr)
        return nullptr;
    void* symbol = ::dlsym(m_handle, name);
    if (symbol == nullptr)
        m_error = CString(name) + " is missing from " + m_fileName;
    return symbol;
}

CString CPluginBackend::GetError()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_error;
}
