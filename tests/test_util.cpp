#include "test_util.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "image/bmp_read.h"

const int kPattern1[37] = {1, 2, 3, 1, 2, 3, 1, 3, 2, 1, 3, 1, 3, 2, 1, 2, 3, 1, 2,
                           1, 3, 2, 1, 3, 1, 3, 2, 3, 1, 2, 3, 2, 3, 2, 1, 2, 1};
const int kPattern2[37] = {1, 2, 3, 1, 3, 2, 1, 2, 3, 1, 3, 2, 1, 3, 2, 3, 1, 2, 1,
                           2, 3, 1, 3, 1, 3, 2, 1, 2, 3, 1, 3, 2, 1, 2, 3, 2, 1};

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "slscan-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void writeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

Image* readBMPBytes(const std::vector<unsigned char>& bytes) {
    std::FILE* f = std::tmpfile();
    if (f == nullptr) return nullptr;
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    Image* image = imgReadBMPStream(f);
    std::fclose(f);
    return image;
}

int runCommand(const std::string& command) {
    const int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}
