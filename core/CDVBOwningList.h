#pragma once
// A list of element pointers that owns its elements and deletes them through their
// virtual destructors. It cannot be copied: two lists would own the same elements.
#include <list>

template <typename T>
class CDVBOwningList : public std::list<T*>
{
public:
    CDVBOwningList() = default;
    CDVBOwningList(const CDVBOwningList&) = delete;
    CDVBOwningList& operator=(const CDVBOwningList&) = delete;
    virtual ~CDVBOwningList() { DeleteAll(); }

    void DeleteAll()
    {
        while (!this->empty()) {
            T* head = this->front();
            this->pop_front();
            delete head;
        }
    }
};
