#pragma once
// An 8-bit RGB (or, with `alpha`, straight-alpha RGBA) picture written as PNG with libpng.
#include <cstdint>
#include <string>
#include <vector>

bool WritePng(const std::string& path, const std::vector<std::uint8_t>& pixels, int width, int height, bool alpha = false);
