#include "tools_util.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

int interruptWhileWriting(const std::vector<std::string>& args, const std::string& fifo) {
    if (mkfifo(fifo.c_str(), 0644) != 0) return -1;
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    // The FIFO reads as ended until a writer opens it; a minute at most.
    char byte;
    for (int tick = 0; tick < 6000 && read(reader, &byte, 1) == 0; ++tick) usleep(10000);
    kill(pid, SIGINT);
    int status = -1;
    waitpid(pid, &status, 0);
    close(reader);
    return status;
}
