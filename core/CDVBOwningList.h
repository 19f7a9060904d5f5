#pragma once
// A list of element pointers that owns its elements and deletes them through their
// virtual destructors. It cannot be copied: two lists would own the same elements. A list
// that is only built and read (a section's entries) may keep them in a vector: one
// allocation for many elements, not one each.
#include "core/CSmallBlockCache.h"

#include <list>
#include <vector>

template <typename T, typename Container = std::list<T*>>
class CDVBOwningList : public Container
{
public:
    CDVBOwningList() = default;
    CDVBOwningList(const CDVBOwningList&) = delete;
    CDVBOwningList& operator=(const CDVBOwningList&) = delete;
    virtual ~CDVBOwningList()
    {
        for (T* element : *this)   // nobody reads a list that is going: no need to empty it first
            delete element;
    }

    void DeleteAll()
    {
        Container doomed;   // the list is empty while its elements go
        doomed.swap(*this);
        for (T* element : doomed)
            delete element;
    }
};

template <typename T>
using CDVBOwningVector = CDVBOwningList<T, std::vector<T*, CSmallBlockCache::Allocator<T*>>>;
