#pragma once
// What a plug-in handed out (decoders, displays) and takes back: Close deletes only what
// Open made, so a host that hands back something else gets false, not a crash.
#include <mutex>
#include <set>

template <typename T>
class COpenedObjects
{
public:
    T* Keep(T* object)   // null passes through
    {
        if (object) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_open.insert(object);
        }
        return object;
    }
    bool Delete(T* object)
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_open.erase(object) == 0)
                return false;
        }
        delete object;
        return true;
    }

private:
    std::mutex m_lock;
    std::set<T*> m_open;
};
