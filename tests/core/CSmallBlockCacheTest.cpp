// Blocks freed on another thread, which keeps them and gives them back as it ends; blocks
// of every size class and past the largest.
#include "core/CSmallBlockCache.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <utility>
#include <vector>

TEST(CSmallBlockCacheTest, BlocksFreedOnAnotherThreadAreWholeAndComeBack)
{
    const std::size_t sizes[] = {0, 1, 15, 16, 17, 200, 255, 256, 257, 4000};
    for (int round = 0; round < 3; ++round) {
        std::vector<std::pair<void*, std::size_t>> blocks;
        for (int copy = 0; copy < 300; ++copy)
            for (std::size_t size : sizes) {
                void* block = CSmallBlockCache::Allocate(size);
                ASSERT_NE(block, nullptr);
                std::memset(block, 0xA5, size);   // every byte asked for is there
                blocks.emplace_back(block, size);
            }
        std::thread([&blocks] {
            for (const auto& [block, size] : blocks)
                CSmallBlockCache::Free(block, size);
        }).join();
    }
    CSmallBlockCache::Free(nullptr, 16);
}

#if defined(__SANITIZE_ADDRESS__)
#define LUM_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUM_TEST_ASAN 1
#endif
#endif

#ifdef LUM_TEST_ASAN
// A reported section read after its reassembler replaced it is the API's main lifetime risk:
// under AddressSanitizer the cache must not hide it behind a recycled block.
TEST(CSmallBlockCacheDeathTest, AUseAfterFreeIsReported)
{
    struct Probe : CSmallBlockCache::Object
    {
        volatile int value = 1;
    };
    EXPECT_DEATH(
        {
            Probe* probe = new Probe;
            delete probe;
            (void)probe->value;
        },
        "heap-use-after-free");
}
#endif
