// Writes 8-bit RGB pictures as PNG files (libpng) for the tools that draw
// (slscan-preview) or make pictures to show (slscan-patterns).
#pragma once

#include <string>
#include <vector>

// Writes `rgb` (w x h pixels, three bytes each, rows top to bottom) to
// `path` through a temporary beside it, renamed into place; the temporary is
// removed on failure and on an interrupt. False when it cannot be written
// (errno then tells why, where the C library set it).
bool pngWriteFile(const std::string& path, const std::vector<unsigned char>& rgb, int w, int h);
