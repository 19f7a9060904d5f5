#include "core/CSmallBlockCache.h"

#include <new>

// Under AddressSanitizer every block goes straight back to the heap, so that a use after
// free of a section or descriptor is reported rather than hidden by a recycled block.
#if defined(__SANITIZE_ADDRESS__)
#define LUM_KEEP_BLOCKS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUM_KEEP_BLOCKS 0
#endif
#endif
#ifndef LUM_KEEP_BLOCKS
#define LUM_KEEP_BLOCKS 1
#endif

namespace {

constexpr std::size_t kGrain = 16;
constexpr std::size_t kClasses = 16;      // blocks up to 256 bytes
constexpr unsigned kKeptPerClass = 1024;  // at most 2 MB kept by a thread

struct FreeBlock
{
    FreeBlock* next;
};

// Plain data, so that it stays readable until the thread is gone; the initial-exec model
// reaches it without a call (the library is loaded with the program, and this is small).
struct Cache
{
    FreeBlock* lists[kClasses];
    unsigned counts[kClasses];
    bool used;   // the flusher below is armed
    bool gone;   // flushed at thread exit: what is freed later goes straight back
};
__attribute__((tls_model("initial-exec"))) thread_local Cache t_cache{};

struct Flusher
{
    ~Flusher()
    {
        t_cache.gone = true;
        for (FreeBlock*& list : t_cache.lists)
            while (FreeBlock* block = list) {
                list = block->next;
                ::operator delete(block);
            }
    }
};
thread_local Flusher t_flusher;

}  // namespace

void* CSmallBlockCache::Allocate(std::size_t size)
{
    const std::size_t sizeClass = size == 0 ? 0 : (size - 1) / kGrain;
    Cache& cache = t_cache;
    if (!LUM_KEEP_BLOCKS || sizeClass >= kClasses || cache.gone)
        return ::operator new(size);
    if (FreeBlock* block = cache.lists[sizeClass]) {
        cache.lists[sizeClass] = block->next;
        --cache.counts[sizeClass];
        return block;
    }
    return ::operator new((sizeClass + 1) * kGrain);   // the class's size, to be kept when freed
}

void CSmallBlockCache::Free(void* block, std::size_t size) noexcept
{
    if (block == nullptr)
        return;
    const std::size_t sizeClass = size == 0 ? 0 : (size - 1) / kGrain;
    Cache& cache = t_cache;
    if (!LUM_KEEP_BLOCKS || sizeClass >= kClasses || cache.gone || cache.counts[sizeClass] >= kKeptPerClass) {
        ::operator delete(block);
        return;
    }
    if (!cache.used) {
        cache.used = true;
        (void)&t_flusher;   // constructs it, so that the thread gives its blocks back when it ends
    }
    auto* free = static_cast<FreeBlock*>(block);
    free->next = cache.lists[sizeClass];
    cache.lists[sizeClass] = free;
    ++cache.counts[sizeClass];
}
