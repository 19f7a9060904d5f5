#pragma once
// Parses section bytes into a section class, from a copy of exactly their size so the
// sanitizer run catches a read one byte past the end. Null when Parse refuses.
#include "platform/LUMTypes.h"

#include <memory>
#include <vector>

template <typename Section>
std::unique_ptr<Section> ParseSection(const std::vector<BYTE>& bytes)
{
    std::vector<BYTE> exact(bytes);
    auto section = std::make_unique<Section>();
    if (!section->Parse(exact.data(), DWORD(exact.size())))
        return nullptr;
    return section;
}
