#include "common/progress.h"

#include <unistd.h>

#include <cstdio>

void progressShow(const char* tool, const std::string& text, bool last) {
    if (isatty(fileno(stderr)))
        std::fprintf(stderr, "\r%s: %s%s", tool, text.c_str(), last ? "\n" : "");
    else
        std::fprintf(stderr, "%s: %s\n", tool, text.c_str());
}
