// Runs the real seascene program as a child process and reads what it leaves: exit status, standard error, the
// screenshot (RGBA, top row first), and samples of its resident memory while it runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarn::demotest {

struct RunResult {
    int status = -1;                       // exit status, or 128 + signal when it was killed
    std::string errors;                    // everything it wrote to standard error
    std::vector<long> residentKiB;         // VmRSS samples taken every `sampleMs` while it ran
};

// Runs `program` with `args` in `workingDirectory` (through -C) and waits for it, at most `timeoutSeconds`.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args, int timeoutSeconds = 300,
                     int sampleMs = 0);

struct RgbaImage {
    int width = 0, height = 0;
    std::vector<std::uint8_t> pixels;  // 4 bytes per pixel, top row first
    const std::uint8_t* at(int x, int y) const { return &pixels[(static_cast<std::size_t>(y) * width + x) * 4]; }
};

bool ReadPng(const std::string& path, RgbaImage* image);
bool WritePng(const std::string& path, const RgbaImage& image);

// Box average over factor x factor blocks (sides must divide).
RgbaImage Downsample(const RgbaImage& image, int factor);

// How far a frame is from its reference, both averaged 4 x 4 (Downsample) and of one size: the mean absolute
// difference per colour channel, and the 99.5th percentile of each pixel's largest channel difference. A frame
// matches its reference within kReferenceMean and kReferencePercentile (ProgramTest.cpp says why).
struct ReferenceDistance {
    double mean = 0;
    int percentile = 0;
};
ReferenceDistance DistanceToReference(const RgbaImage& small, const RgbaImage& reference);
inline constexpr double kReferenceMean = 1.5;
inline constexpr int kReferencePercentile = 24;

// A fresh empty directory under the system's temporary directory; removed by RemoveTree.
std::string MakeTempDirectory();
void RemoveTree(const std::string& path);

}  // namespace tarn::demotest
