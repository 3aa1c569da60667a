// The whole run of tarn-import: the model parsed in the sandbox, its record checked, textures converted, the
// scene converted, the folder written. Every failure is one line naming the model; warnings follow a successful
// write, one line each.
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "tools/import/AssimpReader.h"
#include "tools/import/ChildProcess.h"
#include "tools/import/Import.h"
#include "tools/import/ModelCodec.h"

namespace tarn::import {

int Run(const Options& options, std::FILE* err) {
    const std::string& model = options.model;
    auto say = [&](const std::string& text) {
        std::fprintf(err, "tarn-import: %s: %s\n", model.c_str(), text.c_str());
    };

    // Only regular files go to the parser: a pipe or a device would hang it or feed it without end.
    struct stat st {};
    if (::stat(model.c_str(), &st) != 0) {
        say(std::string("cannot open: ") + std::strerror(errno));
        return 1;
    }
    if (!S_ISREG(st.st_mode)) {
        say("not a regular file");
        return 1;
    }
    const std::filesystem::path path(model);
    std::string name = path.stem().string();
    if (name.empty()) name = "model";
    const std::string modelDir = path.parent_path().empty() ? "." : path.parent_path().string();

    const auto start = std::chrono::steady_clock::now();
    ChildLimits limits;
    limits.memoryBytes = static_cast<std::uint64_t>(options.maxMemoryMb) << 20;
    limits.cpuSeconds = options.maxSeconds;
    limits.wallSeconds = 2 * options.maxSeconds + 5;
    ChildResult child = RunInChild(limits, [&](std::vector<std::uint8_t>& out, std::string& why) {
        Model parsed;
        if (!ReadModelFile(model, parsed, &why)) return false;
        EncodeModel(parsed, out);
        return true;
    });
    if (!child.ok) {
        say(child.failure);
        return 1;
    }
    Model parsed;
    std::string why;
    if (!DecodeModel(child.bytes.data(), child.bytes.size(), parsed, &why)) {
        say("the parser's answer is not usable: " + why);
        return 1;
    }
    std::vector<std::uint8_t>().swap(child.bytes);

    ConvertOptions convert;
    convert.name = name;
    convert.up = options.up;
    convert.scale = options.scale;
    convert.animation = options.animation;
    convert.sampleRate = options.sampleRate;
    convert.keepImages = options.keepImages;
    const TexturePlan plan = PlanTextures(parsed, convert);
    const std::vector<TextureResult> textures =
        ConvertTextures(plan, parsed, modelDir, options.keepImages, options.jobs);
    const Converted converted = ConvertModel(parsed, convert, plan, textures);
    const std::vector<std::uint8_t> scene = trs::WriteTrs(converted.scene);

    std::vector<OutputFile> files;
    for (std::int32_t job : converted.textureJobs) files.push_back({plan.jobs[job].output, &textures[job].bytes});
    files.push_back({name + ".TRS", &scene});
    if (!WriteOutput(options.outputDir, files, &why)) {
        say(why);
        return 1;
    }
    for (const std::string& w : converted.warnings) say("warning: " + w);
    if (options.stats) {
        rusage self{};
        ::getrusage(RUSAGE_SELF, &self);
        const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        char text[256];
        std::snprintf(text, sizeof text,
                      "%zu triangles, %zu textures; parsed in %.3f s (peak %llu MB), %.3f s in all (peak %llu MB)",
                      converted.triangles, converted.textureJobs.size(), child.seconds,
                      static_cast<unsigned long long>(child.peakBytes >> 20), total,
                      static_cast<unsigned long long>(static_cast<std::uint64_t>(self.ru_maxrss) >> 10));
        say(text);
    }
    return 0;
}

}  // namespace tarn::import
