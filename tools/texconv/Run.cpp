// The batch run of tarn-texconv: jobs handed out to worker threads, each with a null device of its own. A device
// of the Direct3D layer keeps its resource list and state without locks (platform/d3d9: Device::Track), so two
// threads must never call one device at once; the texture library itself keeps no unguarded state between calls.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>

#include "platform/d3d9/Backend.h"
#include "tools/texconv/TexConv.h"

namespace tarn::texconv {
namespace {

// Draws "[#####.....] 5/10" over the current line of a terminal.
void DrawProgress(std::FILE* err, std::size_t done, std::size_t total) {
    constexpr std::size_t kWidth = 30;
    const std::size_t filled = total == 0 ? kWidth : done * kWidth / total;
    char bar[kWidth + 1];
    for (std::size_t i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kWidth] = '\0';
    std::fprintf(err, "\r[%s] %zu/%zu\033[K", bar, done, total);
    std::fflush(err);
}

void PrintFailure(std::FILE* err, const Failure& failure, bool progress) {
    if (progress) std::fputs("\r\033[K", err);
    std::fprintf(err, "tarn-texconv: %s: %s\n", failure.file.c_str(), failure.reason.c_str());
}

}  // namespace

int Run(const Options& options, std::FILE* err, bool progress) {
    if (options.qualityGiven) texture::SetBlockQuality(options.quality);
    std::vector<Failure> failures;
    const std::vector<Job> jobs = PlanJobs(options, &failures);
    for (const Failure& f : failures) PrintFailure(err, f, false);
    bool failed = !failures.empty();
    if (jobs.empty()) return failed ? 1 : 0;

    // Output folders are made up front, once, rather than by racing workers.
    for (const Job& job : jobs) {
        const std::filesystem::path parent = std::filesystem::path(job.output).parent_path();
        std::error_code error;
        if (!parent.empty()) std::filesystem::create_directories(parent, error);
    }

    unsigned threads = options.jobs != 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    threads = static_cast<unsigned>(std::min<std::size_t>(threads, jobs.size()));
    // Devices are made here, one after another, and each is then used by its worker alone.
    std::vector<IDirect3DDevice9*> devices;
    for (unsigned t = 0; t < threads; ++t) {
        IDirect3DDevice9* device = d3d9::CreateNullDevice(16, 16);
        if (device == nullptr) break;
        devices.push_back(device);
    }
    if (devices.empty()) {
        for (const Job& job : jobs) PrintFailure(err, {job.inputs[0], "no device: " + DescribeResult(E_FAIL)}, false);
        return 1;
    }

    std::atomic<std::size_t> next{0};
    std::mutex outputMutex;
    std::size_t done = 0;
    if (progress) DrawProgress(err, 0, jobs.size());
    auto work = [&](IDirect3DDevice9* device) {
        for (std::size_t i = next++; i < jobs.size(); i = next++) {
            Failure failure;
            const bool ok = ConvertJob(device, options, jobs[i], OutputFormat(options, jobs[i].output), &failure);
            const std::lock_guard<std::mutex> lock(outputMutex);
            ++done;
            if (!ok) {
                failed = true;
                PrintFailure(err, failure, progress);
            }
            if (progress) DrawProgress(err, done, jobs.size());
        }
    };
    std::vector<std::thread> workers;
    for (std::size_t t = 1; t < devices.size(); ++t) workers.emplace_back(work, devices[t]);
    work(devices[0]);
    for (std::thread& w : workers) w.join();
    if (progress) std::fputs("\r\033[K", err);
    for (IDirect3DDevice9* device : devices) device->Release();
    return failed ? 1 : 0;
}

}  // namespace tarn::texconv
