#include "driver/scan_options.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

bool scanParseAngles(const std::string& text, std::vector<int>* angles, std::string* error) {
    std::vector<int> list;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos
                                                                                : comma - start);
        char* end = nullptr;
        errno = 0;
        const long value = item.empty() ? -1 : std::strtol(item.c_str(), &end, 10);
        if (item.empty() || *end != '\0' || errno != 0 || value < 0 || value > 359 ||
            !(item[0] >= '0' && item[0] <= '9')) {
            *error = "--angles \"" + text + "\": \"" + item +
                     "\" is not a whole number of degrees from 0 to 359 (e.g. --angles 0,45,90)";
            return false;
        }
        list.push_back(static_cast<int>(value));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    std::sort(list.begin(), list.end());
    for (size_t i = 1; i < list.size(); ++i)
        if (list[i] == list[i - 1]) {
            *error = "--angles \"" + text + "\": angle " + std::to_string(list[i]) + " given twice";
            return false;
        }
    *angles = list;
    return true;
}

bool scanOptionsParse(int argc, const char* const* argv, ScanOptions* options, std::string* error) {
    ScanOptions o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        // An option with a value takes it from the next argument or after '='.
        const auto value = [&](const char* name, std::string* out) {
            const std::string withEquals = std::string(name) + "=";
            if (arg.compare(0, withEquals.size(), withEquals) == 0) {
                *out = arg.substr(withEquals.size());
            } else if (i + 1 < argc) {
                *out = argv[++i];
            } else {
                *error = std::string(name) + " needs a value (see slscan --help)";
                return false;
            }
            if (out->empty()) {
                *error = std::string(name) + " needs a value (see slscan --help)";
                return false;
            }
            return true;
        };
        const auto is = [&](const char* name) {
            const size_t n = std::strlen(name);
            return arg == name || (arg.compare(0, n, name) == 0 && arg.size() > n && arg[n] == '=');
        };
        if (arg == "-h" || arg == "--help") {
            o.help = true;
        } else if (arg == "--version") {
            o.version = true;
        } else if (arg == "--print-rig") {
            o.printRig = true;
        } else if (arg == "--dense") {
            o.dense = true;
        } else if (arg == "--fill") {
            o.fill = true;
        } else if (is("--rig")) {
            if (!value("--rig", &o.rigPath)) return false;
        } else if (is("--angles")) {
            std::string list;
            if (!value("--angles", &list) || !scanParseAngles(list, &o.angles, error)) return false;
        } else {
            o.ignored.push_back(arg);
        }
    }
    *options = o;
    return true;
}
