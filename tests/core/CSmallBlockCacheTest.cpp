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
