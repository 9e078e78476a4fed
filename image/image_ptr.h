// An owner of an Image: releases it with imgDestroy when it goes out of scope,
// so code beyond the scan's fixed sequence (the tools, the tests, the driver's
// stages) holds images without pairing every return with a release.
#pragma once

#include <memory>

#include "image/image.h"

struct ImageDeleter {
    void operator()(Image* image) const { imgDestroy(image); }
};

using ImagePtr = std::unique_ptr<Image, ImageDeleter>;
