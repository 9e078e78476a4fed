// DIR/scene.txt: what a rendered scan shows, written by slscan-render (and
// carried by slscan-mask), read back by the reports that measure against it.
// The one reader and writer of the file.
#pragma once

#include <string>

#include "render/render.h"

// Writes renderDescription(options) to dir/scene.txt, atomically. False, with
// one line, when it cannot.
bool sceneFileWrite(const std::string& dir, const RenderOptions& options, std::string* error);

// Reads dir/scene.txt back into *options (lines "key value"; keys it does not
// know are skipped). False, with one line saying what to do, when the file is
// missing (only a rendered scan has a known truth) or names no known object.
bool sceneFileRead(const std::string& dir, RenderOptions* options, std::string* error);
