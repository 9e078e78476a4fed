#include "mask/mask_run.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "common/photo_check.h"
#include "common/progress.h"
#include "common/scan_folder.h"
#include "common/temp_files.h"
#include "common/tool_rig.h"
#include "common/tool_threads.h"
#include "image/scan_layout.h"
#include "mask/mask_condition.h"
#include "mask/mask_contrast.h"
#include "mask/mask_highlight.h"

namespace {

// No photograph of a scan comes near this; a larger file is refused before
// anything is allocated for it.
constexpr off_t kLargestPhotograph = off_t{1} << 30;

// A file's bytes: a read-only mapping of the page cache (for files only
// read), or a copy in a buffer kept from view to view, so that a worker
// allocates only when a photograph is larger than any before.
struct FileBuffer {
    std::unique_ptr<unsigned char[]> data;
    size_t capacity = 0;
    size_t size = 0;
    void* mapped = nullptr;
    FileBuffer() = default;
    FileBuffer(const FileBuffer&) = delete;
    FileBuffer& operator=(const FileBuffer&) = delete;
    ~FileBuffer() { unmap(); }
    const unsigned char* bytes() const {
        return mapped != nullptr ? static_cast<const unsigned char*>(mapped) : data.get();
    }
    void unmap() {
        if (mapped != nullptr) munmap(mapped, size);
        mapped = nullptr;
    }
};

// The faults the workers name, gathered for the report, one whole line at a
// time; the lock also keeps the progress lines whole.
struct Messages {
    std::mutex lock;
    std::vector<std::string> lines;
    void say(const std::string& line) {
        std::lock_guard<std::mutex> hold(lock);
        lines.push_back(line);
    }
};

std::string why() { return std::strerror(errno); }

// Loads a file; `map` asks for a read-only mapping, with a copy where the
// file cannot be mapped.
bool readWhole(const std::string& path, FileBuffer* buffer, std::string* error, bool map = false) {
    buffer->unmap();
    buffer->size = 0;
    // Non-blocking, so that a FIFO does not wait for a writer: it is then
    // refused as no regular file.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
        *error = "cannot open \"" + path + "\": " + why();
        return false;
    }
    struct stat st;
    bool ok = fstat(fd, &st) == 0;
    if (!ok) {
        *error = "cannot read \"" + path + "\": " + why();
    } else if (!S_ISREG(st.st_mode)) {
        *error = "\"" + path + "\" is not a file";
        ok = false;
    } else if (st.st_size > kLargestPhotograph) {
        *error = "\"" + path + "\" is too large for a photograph";
        ok = false;
    }
    if (ok && map && st.st_size > 0) {
        void* mapped = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ,
                            MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (mapped != MAP_FAILED) {
            buffer->mapped = mapped;
            buffer->size = static_cast<size_t>(st.st_size);
            close(fd);
            return true;
        }
    }
    if (ok) {
        const size_t size = static_cast<size_t>(st.st_size);
        if (size > buffer->capacity) {
            buffer->data.reset(new unsigned char[size]);
            buffer->capacity = size;
        }
        size_t got = 0;
        while (got < size) {
            const ssize_t n = read(fd, buffer->data.get() + got, size - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                *error = "cannot read \"" + path + "\": " + (n < 0 ? why() : "file shrank");
                ok = false;
                break;
            }
            got += static_cast<size_t>(n);
        }
        buffer->size = size;
    }
    close(fd);
    return ok;
}

// Writes bytes to a temporary file beside `path` and renames it into place.
bool writeReplacing(const std::string& path, const unsigned char* data, size_t size,
                    std::string* error) {
    return tempWriteReplacing(path, data, size, error, ".slscan-mask-part");
}

// `to` becomes the same file as `from`: a hard link, or a copy of the bytes
// already read (`data`, may be null when they were not) where links fail.
bool linkOrCopy(const std::string& from, const std::string& to, const unsigned char* data,
                size_t size, std::string* error) {
    struct stat a, b;
    if (stat(from.c_str(), &a) == 0 && stat(to.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
        a.st_ino == b.st_ino)
        return true;  // linked by an earlier run
    if (unlink(to.c_str()) != 0 && errno != ENOENT) {
        *error = "cannot replace \"" + to + "\": " + why();
        return false;
    }
    if (link(from.c_str(), to.c_str()) == 0) return true;
    if (data != nullptr) return writeReplacing(to, data, size, error);
    FileBuffer copy;
    return readWhole(from, &copy, error, true) && writeReplacing(to, copy.bytes(), copy.size, error);
}

// The layout of a photograph held in memory, by the reader's own rules; false,
// with the reason, where the reader would refuse it.
bool photographLayout(const FileBuffer& file, ImgBmpLayout* layout, std::string* error) {
    return photoLayout(file.bytes(), file.size, layout, error);
}

// Everything a worker needs between views.
struct Worker {
    FileBuffer files[8];
    std::vector<uint8_t> contrast;
    MaskConditionWork condition;
};

struct Job {
    std::string from, to;  // the two cavalo folders, with a final '/'
    const MaskOptions* options;
    Messages* messages;
    const ToolRig* rig;    // a rig file's photographs have its picture size
};

// Masks one view; returns the number of faults.
int maskView(const Job& job, int angle, int camera, Worker* worker, MaskViewReport* view) {
    view->angle = angle;
    view->camera = camera;
    std::string names[kScanReadsPerView];
    ImgBmpLayout layouts[kScanReadsPerView];
    bool loaded[kScanReadsPerView] = {};
    int faults = 0;
    for (int read = 1; read <= kScanReadsPerView; ++read) {
        // The scanner's path names the file inside cavalo/; the folders are ours.
        const std::string path0 = scanPhotographPath(read, camera, angle);
        names[read - 1] = path0.substr(path0.find('/') + 1);
        const std::string path = job.from + names[read - 1];
        FileBuffer& file = worker->files[read - 1];
        std::string error;
        // Positives are only read; negatives are changed in memory.
        loaded[read - 1] = readWhole(path, &file, &error, read % 2 == 1);
        if (loaded[read - 1] && !photographLayout(file, &layouts[read - 1], &error))
            error = "\"" + path + "\": " + error;
        else if (loaded[read - 1])
            continue;
        job.messages->say(error);
        ++faults;
    }
    if (faults == 0 && !job.rig->builtIn &&
        (layouts[0].width != job.rig->rig.width || layouts[0].height != job.rig->rig.height)) {
        job.messages->say("\"" + job.from + names[0] + "\" is " + std::to_string(layouts[0].width) +
                          " x " + std::to_string(layouts[0].height) + ", the rig's pictures (" +
                          job.rig->source + ") " + std::to_string(job.rig->rig.width) + " x " +
                          std::to_string(job.rig->rig.height));
        ++faults;
    }
    for (int i = 1; i < 8 && faults == 0; ++i) {
        if (layouts[i].width != layouts[0].width || layouts[i].height != layouts[0].height) {
            job.messages->say("\"" + job.from + names[i] + "\" is " + std::to_string(layouts[i].width) +
                              " x " + std::to_string(layouts[i].height) + ", the view's first photograph " +
                              std::to_string(layouts[0].width) + " x " + std::to_string(layouts[0].height));
            ++faults;
        }
    }

    bool changed[8] = {};
    if (faults == 0) {
        MaskPair pairs[4];
        for (int k = 0; k < 4; ++k)
            pairs[k] = {worker->files[2 * k].bytes(), layouts[2 * k],
                        worker->files[2 * k + 1].data.get(), layouts[2 * k + 1]};
        const size_t pixels = static_cast<size_t>(layouts[0].width) * layouts[0].height;
        worker->contrast.resize(pixels);
        maskContrast(pairs, 4, worker->contrast.data());
        uint64_t histogram[256];
        maskHistogram(worker->contrast.data(), pixels, histogram);
        const int threshold =
            job.options->threshold >= 0 ? job.options->threshold : maskAutoThreshold(histogram);
        uint64_t masked = 0;
        for (int v = 0; v < std::min(threshold, 256); ++v) masked += histogram[v];
        if (job.options->condition && threshold > 0)
            view->highlights = maskHighlights(pairs, 4, worker->contrast.data());
        for (int k = 0; k < 4; ++k) changed[2 * k + 1] = maskApply(pairs[k], worker->contrast.data(), threshold) > 0;
        if (job.options->condition) {
            MaskConditionReport conditioned;
            bool rewritten[4];
            maskCondition(pairs, &worker->condition, &conditioned, rewritten);
            for (int k = 0; k < 4; ++k) changed[2 * k + 1] = changed[2 * k + 1] || rewritten[k];
            view->unmixed = conditioned.unmixed;
            std::copy(conditioned.response, conditioned.response + 9, view->response);
            view->aligned = conditioned.aligned;
            view->cut = conditioned.cut;
            view->rewritten = conditioned.rewritten;
        }
        view->masked = true;
        view->threshold = threshold;
        view->share = pixels == 0 ? 0 : static_cast<double>(masked) / static_cast<double>(pixels);
    } else {
        job.messages->say("angle " + std::to_string(angle) + " camera " + std::to_string(camera) +
                          " passed through unmasked");
    }

    for (int i = 0; i < 8; ++i) {
        const std::string from = job.from + names[i], to = job.to + names[i];
        std::string error;
        bool ok = true;
        if (changed[i]) {
            ok = writeReplacing(to, worker->files[i].data.get(), worker->files[i].size, &error);
        } else if (loaded[i] || access(from.c_str(), F_OK) == 0) {
            ok = linkOrCopy(from, to, loaded[i] ? worker->files[i].bytes() : nullptr,
                            worker->files[i].size, &error);
        } else {
            unlink(to.c_str());  // missing here, so missing there: no stale file
        }
        if (!ok) {
            job.messages->say(error);
            ++faults;
        }
    }
    return faults;
}

// The files beside the photographs that the tools read, carried into OUT_DIR
// so that the masked scan is measured against the same truth. One that
// SCAN_DIR lacks is removed from OUT_DIR, where it would describe another
// scan. Returns the number of faults.
int carryFiles(const std::string& scanDir, const std::string& outDir, Messages* messages) {
    int faults = 0;
    for (const char* name : {"scene.txt", "rig.json"}) {
        const std::string from = scanDir + "/" + name, to = outDir + "/" + name;
        FileBuffer file;
        std::string error;
        if (access(from.c_str(), F_OK) != 0) {
            if (unlink(to.c_str()) != 0 && errno != ENOENT) {
                messages->say("cannot remove \"" + to + "\", left from another scan: " + why());
                ++faults;
            }
        } else if (!readWhole(from, &file, &error) ||
                   !writeReplacing(to, file.bytes(), file.size, &error)) {
            messages->say(error);
            ++faults;
        }
    }
    return faults;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

}  // namespace

MaskRunReport maskRun(const std::string& scanDir, const std::string& outDir,
                      const MaskOptions& options) {
    const auto start = std::chrono::steady_clock::now();
    MaskRunReport result;
    MaskRunReport* report = &result;
    Messages messages;
    const std::string from = scanDir + "/cavalo", to = outDir + "/cavalo";
    if (sameFile(scanDir, outDir))
        return result.result = toolUsageFault("OUT_DIR \"" + outDir +
                                              "\" is SCAN_DIR; the originals are never changed"),
               result;
    struct stat st;
    if (stat(from.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return result.result = toolUsageFault("no folder \"" + from + "\" with the photographs of a scan"),
               result;
    std::string format;
    if (!folderPhotographsAreBmp(scanDir, &format)) return result.result = toolUsageFault(format), result;
    // OUT_DIR's missing parents too, as mkdir -p makes them.
    std::error_code made;
    std::filesystem::create_directories(to, made);
    if (made) return result.result = toolUsageFault("cannot create \"" + to + "\": " + made.message()), result;
    if (sameFile(from, to))
        return result.result = toolUsageFault("\"" + to + "\" is \"" + from +
                                              "\"; the originals are never changed"),
               result;

    std::string error;
    ToolRig rig;
    if (!toolRigLoad(scanDir, options.rigPath, &rig, &error))
        return result.result = toolUsageFault(error), result;
    report->rig = rig.source;
    ScanLayout layout;
    for (const int angle : folderPhotographAngles(scanDir)) layout.angles.push_back(angle);
    if (layout.angles.empty())
        return result.result = toolUsageFault("no photograph of a scan in \"" + from + "\""), result;
    const int kViews = scanViewCount(layout);
    const Job job{from + "/", to + "/", &options, &messages, &rig};
    report->views.assign(static_cast<size_t>(kViews), MaskViewReport{});
    report->conditioned = options.condition;
    std::atomic<int> next{0}, done{0}, faults{0};
    const auto work = [&] {
        Worker worker;
        for (int v; (v = next.fetch_add(1)) < kViews;) {
            faults += maskView(job, scanViewAngle(layout, v), scanViewCamera(v), &worker, &report->views[v]);
            const int n = ++done;
            if (options.progress) {
                std::lock_guard<std::mutex> hold(messages.lock);
                progressShow("slscan-mask", std::to_string(n) + " of " + std::to_string(kViews) + " views",
                             n == kViews);
            }
        }
    };
    std::vector<std::thread> pool;
    const int threads = options.threads > 0 ? options.threads : toolThreads();
    for (int t = 1; t < std::min(threads, kViews); ++t) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
    faults += carryFiles(scanDir, outDir, &messages);
    report->faults = faults;
    report->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    report->result.warnings = messages.lines;
    if (faults > 0) report->result = {kToolDataFault, std::to_string(faults) + " fault(s); see the lines above", messages.lines};
    return result;
}

std::string maskReportText(const MaskRunReport& report) {
    std::string text = "rig: " + report.rig + "\n";
    text += report.conditioned
                           ? "angle camera threshold masked highlights aligned    cut rewritten  response: "
                             "camera red, green, blue to primaries red green blue\n"
                           : "angle camera threshold masked\n";
    std::vector<int> thresholds;
    double share = 0;
    int masked = 0;
    char line[128];
    for (const MaskViewReport& v : report.views) {
        if (v.masked) {
            std::snprintf(line, sizeof line, "  %3d     %d %9d %5.1f %%", v.angle, v.camera,
                          v.threshold, 100 * v.share);
            text += line;
            line[0] = '\0';
            const double* m = v.response;
            if (report.conditioned && v.unmixed)
                std::snprintf(line, sizeof line,
                              " %10llu %7llu %6llu %9llu  %.2f %.2f %.2f / %.2f %.2f %.2f / %.2f %.2f %.2f",
                              static_cast<unsigned long long>(v.highlights),
                              static_cast<unsigned long long>(v.aligned),
                              static_cast<unsigned long long>(v.cut),
                              static_cast<unsigned long long>(v.rewritten), m[0], m[1], m[2], m[3],
                              m[4], m[5], m[6], m[7], m[8]);
            else if (report.conditioned)
                std::snprintf(line, sizeof line, " %10llu %7llu %6llu %9llu  (too few stripe pixels)",
                              static_cast<unsigned long long>(v.highlights),
                              static_cast<unsigned long long>(v.aligned),
                              static_cast<unsigned long long>(v.cut),
                              static_cast<unsigned long long>(v.rewritten));
            text += line;
            std::snprintf(line, sizeof line, "\n");
            thresholds.push_back(v.threshold);
            share += v.share;
            ++masked;
        } else {
            std::snprintf(line, sizeof line, "  %3d     %d  passed through unmasked\n", v.angle, v.camera);
        }
        text += line;
    }
    std::sort(thresholds.begin(), thresholds.end());
    if (masked > 0) {
        std::snprintf(line, sizeof line,
                      "%d of %zu views masked, threshold %d to %d (median %d), %.1f %% of their pixels "
                      "masked, %.2f s\n",
                      masked, report.views.size(), thresholds.front(), thresholds.back(),
                      thresholds[thresholds.size() / 2], 100 * share / masked, report.seconds);
    } else {
        std::snprintf(line, sizeof line, "no view masked, %.2f s\n", report.seconds);
    }
    return text + line;
}
