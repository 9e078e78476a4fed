// Helpers shared by the tools' tests: text files, rendered views held by
// owners, and the tools and the scanner run on a scan folder.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "eval/report.h"
#include "render/render.h"
#include "test_util.h"

void writeText(const std::string& path, const std::string& text);

// The eight photographs of one view, released with their owners.
using Photographs = std::array<ImagePtr, 8>;
Photographs renderPhotographs(const SceneObject& object, const RenderOptions& options, int camera,
                              int angle, int threads = 2);

// The quoted path of a tool, followed by a space, for runCommand.
std::string toolCommand(const std::string& name);

// slscan-render with `options` into `dir`, quietly; its exit status.
int renderScan(const std::string& options, const std::string& dir);

// Starts args[0] with the rest as its arguments, waits until it opens for
// writing a FIFO made at `fifo` (where the tool puts a temporary file, held
// there once the pipe is full), then interrupts it with SIGINT. Returns its
// wait status.
int interruptWhileWriting(const std::vector<std::string>& args, const std::string& fifo);

// slscan run in `dir`, then the report on its points; a failing run or an
// unreadable report fails the test.
EvalReport scanAndEvaluate(const std::string& dir);
