#pragma once
// An 8-bit RGB picture written as PNG with libpng.
#include <cstdint>
#include <string>
#include <vector>

bool WritePng(const std::string& path, const std::vector<std::uint8_t>& rgb, int width, int height);
