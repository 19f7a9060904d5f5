#pragma once
// Small blocks for objects the SI parser makes and drops by the thousand (sections, their
// entries, descriptors): each thread keeps the blocks it frees, up to a bound per size, and
// hands them out again. The C library's own cache keeps seven of each size, so a section of
// hundreds of events otherwise goes through its slower paths. A class derives from
// CSmallBlockCache::Object to have its objects (and its subclasses') come from here. Under
// AddressSanitizer blocks are not kept, so that a use after free is still caught.
#include <cstddef>

class CSmallBlockCache
{
public:
    static void* Allocate(std::size_t size);
    static void Free(void* block, std::size_t size) noexcept;

    struct Object
    {
        static void* operator new(std::size_t size) { return Allocate(size); }
        static void operator delete(void* block, std::size_t size) noexcept { Free(block, size); }
    };

    // For the nodes of the lists that hold such objects.
    template <typename T>
    struct Allocator
    {
        using value_type = T;
        Allocator() = default;
        template <typename U>
        Allocator(const Allocator<U>&) noexcept {}   // NOLINT: rebinding, as containers do
        T* allocate(std::size_t n) { return static_cast<T*>(Allocate(n * sizeof(T))); }
        void deallocate(T* block, std::size_t n) noexcept { Free(block, n * sizeof(T)); }
        template <typename U>
        bool operator==(const Allocator<U>&) const noexcept { return true; }
        template <typename U>
        bool operator!=(const Allocator<U>&) const noexcept { return false; }
    };
};
