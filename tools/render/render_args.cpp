#include "render/render_args.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "driver/scan_options.h"

namespace {

std::string got(const std::string& text) { return ", got \"" + text + "\""; }

std::string shown(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

}  // namespace

std::string renderParseSize(const std::string& text, int* width, int* height) {
    int w = 0, h = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%dx%d%c", &w, &h, &tail) == 2 && w >= 1 && h >= 1 &&
        w <= 20000 && h <= 20000) {
        *width = w;
        *height = h;
        return "";
    }
    return "must be WxH, each from 1 to 20000" + got(text);
}

std::string renderParseNumbers(const std::string& text, size_t count, double lo, double hi,
                               std::vector<double>* values) {
    std::vector<double> list;
    size_t start = 0;
    bool good = true;
    while (good) {
        const size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos
                                                                                : comma - start);
        char* end = nullptr;
        errno = 0;
        const double v = item.empty() ? 0.0 : std::strtod(item.c_str(), &end);
        good = !item.empty() && *end == '\0' && errno != ERANGE && std::isfinite(v) && v >= lo &&
               v <= hi && list.size() < count;
        list.push_back(v);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (!good || list.size() != count)
        return "must be " + std::to_string(count) + " numbers from " + shown(lo) + " to " +
               shown(hi) + ", separated by commas" + got(text);
    *values = list;
    return "";
}

std::string renderParseSeed(const std::string& text, uint32_t* seed) {
    char* end = nullptr;
    errno = 0;
    const long long v = text.empty() ? -1 : std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || v < 0 || v > 4294967295LL)
        return "must be a whole number from 0 to 4294967295" + got(text);
    *seed = static_cast<uint32_t>(v);
    return "";
}

std::string renderParseAngles(const std::string& text, std::vector<int>* angles) {
    std::string error;
    if (!scanParseAngles(text, angles, &error))
        return "must be whole degrees from 0 to 359, separated by commas, each once" + got(text);
    return "";
}
