#include "tools_util.h"

#include <gtest/gtest.h>

#include <fstream>

void writeText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

Photographs renderPhotographs(const SceneObject& object, const RenderOptions& options, int camera,
                              int angle, int threads) {
    Image* images[8];
    renderView(object, options, camera, angle, threads, images);
    Photographs out;
    for (int i = 0; i < 8; ++i) out[i].reset(images[i]);
    return out;
}

std::string toolCommand(const std::string& name) {
    return "'" + std::string(SLSCAN_TOOLS_DIR) + "/" + name + "' ";
}

int renderScan(const std::string& options, const std::string& dir) {
    return runCommand(toolCommand("slscan-render") + options + " '" + dir + "' > /dev/null 2>&1");
}

EvalReport scanAndEvaluate(const std::string& dir) {
    EXPECT_EQ(runCommand("cd '" + dir + "' && '" SLSCAN_EXE "' > console.txt 2> errors.txt"), 0) << dir;
    EvalReport r;
    std::string error;
    EXPECT_TRUE(evalScan(dir, &r, &error)) << error;
    return r;
}
