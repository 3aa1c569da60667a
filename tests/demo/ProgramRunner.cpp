#include "ProgramRunner.h"

#include <fcntl.h>
#include <png.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace tarn::demotest {

static long ResidentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "VmRSS:") == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args, int timeoutSeconds,
                     int sampleMs) {
    RunResult result;
    char errorPath[] = "/tmp/seascene-stderr-XXXXXX";
    const int errorFd = mkstemp(errorPath);
    if (errorFd < 0) return result;

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, errorFd, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(errorFd);
    if (spawned != 0) {
        unlink(errorPath);
        result.errors = "cannot start " + program + ": " + std::strerror(spawned);
        return result;
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        if (sampleMs > 0) {
            const long rss = ResidentKiB(pid);
            if (rss > 0) result.residentKiB.push_back(rss);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(sampleMs > 0 ? sampleMs : 10));
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    std::ifstream errors(errorPath, std::ios::binary);
    std::stringstream text;
    text << errors.rdbuf();
    result.errors = text.str();
    unlink(errorPath);
    return result;
}

bool ReadPng(const std::string& path, RgbaImage* image) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return false;
    png.format = PNG_FORMAT_RGBA;
    image->width = static_cast<int>(png.width);
    image->height = static_cast<int>(png.height);
    image->pixels.resize(PNG_IMAGE_SIZE(png));
    const bool ok = png_image_finish_read(&png, nullptr, image->pixels.data(), 0, nullptr) != 0;
    png_image_free(&png);
    return ok;
}

bool WritePng(const std::string& path, const RgbaImage& image) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGBA;
    return png_image_write_to_file(&png, path.c_str(), 0, image.pixels.data(), 0, nullptr) != 0;
}

RgbaImage Downsample(const RgbaImage& image, int factor) {
    RgbaImage out;
    out.width = image.width / factor;
    out.height = image.height / factor;
    out.pixels.resize(static_cast<std::size_t>(out.width) * out.height * 4);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            for (int c = 0; c < 4; ++c) {
                int sum = 0;
                for (int dy = 0; dy < factor; ++dy)
                    for (int dx = 0; dx < factor; ++dx) sum += image.at(x * factor + dx, y * factor + dy)[c];
                out.pixels[(static_cast<std::size_t>(y) * out.width + x) * 4 + c] =
                    static_cast<std::uint8_t>((sum + factor * factor / 2) / (factor * factor));
            }
    return out;
}

ReferenceDistance DistanceToReference(const RgbaImage& small, const RgbaImage& reference) {
    ReferenceDistance distance;
    if (small.width != reference.width || small.height != reference.height || small.pixels.empty()) {
        distance.mean = 255;
        distance.percentile = 255;
        return distance;
    }
    std::vector<int> worst;
    double sum = 0;
    for (std::size_t i = 0; i < small.pixels.size(); i += 4) {
        int pixelWorst = 0;
        for (int c = 0; c < 3; ++c) {
            const int d = std::abs(small.pixels[i + c] - reference.pixels[i + c]);
            sum += d;
            pixelWorst = std::max(pixelWorst, d);
        }
        worst.push_back(pixelWorst);
    }
    distance.mean = sum / (3.0 * worst.size());
    std::sort(worst.begin(), worst.end());
    distance.percentile = worst[worst.size() * 995 / 1000];
    return distance;
}

std::string MakeTempDirectory() {
    char path[] = "/tmp/seascene-test-XXXXXX";
    return mkdtemp(path) ? std::string(path) : std::string();
}

void RemoveTree(const std::string& path) {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
}

}  // namespace tarn::demotest
