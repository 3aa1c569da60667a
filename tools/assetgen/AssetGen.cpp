// tarn_assetgen: writes the demo's scene file and images into a directory (the program's working directory).
//   tarn_assetgen OUTPUT_DIR [--seed N] [--caustics-only | --scene-only]
// Same seed, same bytes. Exit status 0 on success, 1 with a message on standard error otherwise.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "tools/assetgen/CausticFrames.h"
#include "tools/assetgen/ImageWriters.h"
#include "tools/assetgen/SeaFloorScene.h"
#include "tools/assetgen/SeaTextures.h"

using namespace tarn::assetgen;

namespace {

constexpr std::uint64_t kDefaultSeed = 20261209;

bool MakeDirectory(const std::string& path) {
    if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) return true;
    std::fprintf(stderr, "tarn_assetgen: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
}

bool Write(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::string error;
    if (WriteFileBytes(path, bytes, &error)) return true;
    std::fprintf(stderr, "tarn_assetgen: %s\n", error.c_str());
    return false;
}

bool WriteTextures(const std::string& dir, std::uint64_t seed) {
    std::vector<std::uint8_t> bytes;
    std::string error;
    // The sand covers most of the screen: it stays uncompressed, which the software rasteriser samples fastest.
    if (!Write(dir + "/" + kSandTexture, EncodeBmp24(SandTexture(256, seed)))) return false;
    if (!EncodeJpeg(RockTexture(256, seed), 90, &bytes, &error) || !Write(dir + "/" + kRockTexture, bytes)) {
        if (!error.empty()) std::fprintf(stderr, "tarn_assetgen: %s\n", error.c_str());
        return false;
    }
    if (!Write(dir + "/" + kWoodTexture, EncodeTga(WoodTexture(256, seed), 24, true, TgaOrigin::TopLeft))) return false;
    if (!Write(dir + "/" + kCoralTexture, EncodeDdsDxt1(CoralTexture(128, seed)))) return false;
    if (!EncodePng(SeaweedTexture(128, 256, seed), &bytes, &error) || !Write(dir + "/" + kSeaweedTexture, bytes)) {
        if (!error.empty()) std::fprintf(stderr, "tarn_assetgen: %s\n", error.c_str());
        return false;
    }
    return true;
}

bool WriteCaustics(const std::string& dir, std::uint64_t seed) {
    if (!MakeDirectory(dir + "/Water")) return false;
    const CausticSettings settings;
    for (int i = 0; i < settings.frames; ++i) {
        const std::string path = dir + "/Water/caust" + std::to_string(i) + ".tga";
        if (!Write(path, EncodeTga(CausticFrame(settings, i, seed), 24, false, TgaOrigin::BottomLeft))) return false;
    }
    return true;
}

bool WriteScene(const std::string& dir, std::uint64_t seed) {
    const tarn::trs::TrsScene scene = BuildSeaFloorScene(seed);
    std::string error;
    if (!tarn::trs::WriteTrsFile(scene, dir + "/SeaSimpleMap.TRS", &error)) {
        std::fprintf(stderr, "tarn_assetgen: %s\n", error.c_str());
        return false;
    }
    std::printf("SeaSimpleMap.TRS: %zu mesh nodes, %zu triangles, %zu vertex buffers\n", scene.meshes.size(),
                SceneTriangleCount(scene), scene.vertexBuffers.size());
    return true;
}

const char kUsage[] =
    "usage: tarn_assetgen OUTPUT_DIR [--seed N] [--caustics-only | --scene-only]\n"
    "Writes the sea scene SeaSimpleMap.TRS, its textures and the caustic frames Water/caust0.tga ... caust31.tga\n"
    "into OUTPUT_DIR, deterministically from the seed.\n"
    "  --seed N          decimal seed of the generator (the build uses the default)\n"
    "  --caustics-only   write only the caustic frames\n"
    "  --scene-only      write only the scene and its textures\n"
    "  --help            show this text\n";

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    std::string dir;
    std::uint64_t seed = kDefaultSeed;
    bool caustics = true, scene = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--seed" && i + 1 < argc) {
            char* end = nullptr;
            seed = std::strtoull(argv[++i], &end, 10);
            if (!end || *end != '\0') {
                std::fprintf(stderr, "tarn_assetgen: --seed needs a decimal number\n");
                return 1;
            }
        } else if (arg == "--caustics-only") {
            scene = false;
        } else if (arg == "--scene-only") {
            caustics = false;
        } else if (!arg.empty() && arg[0] != '-' && dir.empty()) {
            dir = arg;
        } else {
            std::fputs(kUsage, stderr);
            return 1;
        }
    }
    if (dir.empty()) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    if (!MakeDirectory(dir)) return 1;
    if (scene && (!WriteTextures(dir, seed) || !WriteScene(dir, seed))) return 1;
    if (caustics && !WriteCaustics(dir, seed)) return 1;
    return 0;
}
