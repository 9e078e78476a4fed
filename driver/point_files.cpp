#include "driver/point_files.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

std::FILE* scanOpenPointFile(const char* name, char* buffer, int* fileFaults) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(name, error);
    if (!error && status.type() != std::filesystem::file_type::regular) {
        ++*fileFaults;
        std::fprintf(stderr, "slscan: cannot create \"%s\": not a regular file.\n", name);
        return nullptr;
    }
    std::FILE* file = std::fopen(name, "wt");
    if (file == nullptr) {
        ++*fileFaults;
        std::fprintf(stderr, "slscan: cannot create \"%s\": %s.\n", name, std::strerror(errno));
        return nullptr;
    }
    if (buffer != nullptr) std::setvbuf(file, buffer, _IOFBF, BUFSIZ);
    return file;
}

void scanClosePointFile(std::FILE* file, const char* name, int* fileFaults) {
    if (file == nullptr) return;
    const bool failedBefore = std::ferror(file) != 0;
    errno = 0;
    const bool closeFailed = std::fclose(file) != 0;
    if (failedBefore || closeFailed) {
        ++*fileFaults;
        std::fprintf(stderr, "slscan: cannot write \"%s\": %s.\n", name,
                     errno != 0 ? std::strerror(errno) : "write error");
    }
}

int scanEnd(int faults, const char* summary) {
    if (faults == 0) {
        std::fputs("Programa finalizado com sucesso.\n", stdout);
        return 0;
    }
    std::fflush(stdout);
    std::fprintf(stderr, "slscan: finished with faults: %s.\n", summary);
    return 1;
}

int scanFinish(const ScanFaults& faults) {
    char summary[160];
    std::snprintf(summary, sizeof summary,
                  "%d photograph(s) could not be read, %d camera view(s) skipped, %d point "
                  "file(s) could not be written",
                  faults.unreadablePhotographs, faults.skippedCameras, faults.fileFaults);
    return scanEnd(faults.unreadablePhotographs + faults.skippedCameras + faults.fileFaults,
                   summary);
}
