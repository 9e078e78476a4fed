// Whether the reader will take a photograph, with the reason when not, so that
// a tool names the fault once in its own result instead of leaving the
// reader's lines on stderr: the checks imgReadBMP makes, by the same layout
// rules (image/bmp_layout.h), on the bytes or on the file.
#pragma once

#include <cstdint>
#include <string>

#include "image/bmp_layout.h"

// The layout of a photograph held in memory; false, with the reason (no file
// name), where the reader would refuse it.
bool photoLayout(const unsigned char* bytes, uint64_t size, ImgBmpLayout* layout,
                 std::string* reason);

// The same for the file at `path`, which must also be a regular file and of a
// picture size the reader takes; the reason names the file.
bool photoCheckFile(const std::string& path, ImgBmpLayout* layout, std::string* reason);
