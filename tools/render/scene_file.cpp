#include "render/scene_file.h"

#include <fstream>
#include <sstream>

#include "common/temp_files.h"

bool sceneFileWrite(const std::string& dir, const RenderOptions& options, std::string* error) {
    const std::string text = renderDescription(options);
    return tempWriteReplacing(dir + "/scene.txt", text.data(), text.size(), error);
}

bool sceneFileRead(const std::string& dir, RenderOptions* options, std::string* error) {
    const std::string path = dir + "/scene.txt";
    std::ifstream in(path);
    if (!in) {
        *error = "no \"" + path + "\": only a scan rendered by slscan-render (or masked from one by "
                 "slscan-mask) has a known truth to measure against";
        return false;
    }
    *options = RenderOptions{};
    options->object.clear();
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        int flag = 0;
        if (key == "object") fields >> options->object;
        else if (key == "antialias") fields >> options->antialias;
        else if (key == "noise") fields >> options->noise;
        else if (key == "texture" && fields >> flag) options->texture = flag != 0;
        else if (key == "ambient") fields >> options->ambient;
        else if (key == "seed") fields >> options->seed;
        else if (key == "size") fields >> options->width >> options->height;
        else if (key == "black") fields >> options->black;
        else if (key == "blur") fields >> options->blur;
    }
    SceneObject object;
    if (!sceneMakeObject(options->object, &object)) {
        *error = "\"" + path + "\" names no known object (one of " + kSceneObjects +
                 "); render the scan again with slscan-render";
        return false;
    }
    return true;
}
