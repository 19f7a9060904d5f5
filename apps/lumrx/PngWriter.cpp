#include "PngWriter.h"

#include <png.h>

#include <cstdio>

bool WritePng(const std::string& path, const std::vector<std::uint8_t>& pixels, int width, int height, bool alpha)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    return png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), width * (alpha ? 4 : 3), nullptr) != 0;
}
