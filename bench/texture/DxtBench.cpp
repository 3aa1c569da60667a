// Block-encoder quality and speed beside two other encoders, measured in one run on the same pixels, and the
// block decoder's speed beside a plain copy of the bytes it writes.
//
// Corpus: photographs and artwork from Debian's mate-backgrounds, installed by bench/texture/install-corpus.sh
// (under /usr/share/backgrounds/mate). The centre 512 x 512 of each file is used.
//   DXT1 (opaque): nature/Aqua.jpg nature/Blinds.jpg nature/Dune.jpg nature/FreshFlower.jpg nature/Garden.jpg
//                  nature/GreenMeadow.jpg nature/LadyBird.jpg nature/RainDrops.jpg nature/Storm.jpg
//                  nature/TwoWings.jpg nature/Wood.jpg nature/YellowFlower.jpg abstract/Elephants.jpg
//                  desktop/GreenTraditional.jpg desktop/Ubuntu-Mate-Warm-no-logo.png abstract/Gulp.png
//   DXT3, DXT5:    abstract/Arc-Colors-Transparent-Wallpaper.png desktop/Float-into-MATE.png abstract/Flow.png
//                  desktop/Stripes.png
// Encoders: ours at each quality (fast, default, best); libsquish (Debian's libsquish-dev) with its iterative
// cluster fit and its range fit, uniform colour weights; stb_dxt (libstb-dev) in its high-quality mode (it has no
// DXT3). Every encoder runs one block at a time on one thread, and every output is decoded by libsquish's
// decompressor, so that no encoder is judged by its own decoder. RMSE is over the 8-bit RGB channels, alpha apart.
// Time is the sum over the images of the least of --repeat encodes of each (short spans, which the other work
// of a busy machine interrupts less often than a whole pass), the encoders' passes taken in turn.
// Decode: a 2048 x 2048 DXT1, DXT3 and DXT5 image decoded into A8R8G8B8 by DecodeBlocksToA8R8G8B8, against memcpy of
// the 16 MiB it writes, least of 20 runs each, interleaved.
//
//   bench/texture/install-corpus.sh && build/release/bench/texture/texture_dxt_bench [--repeat N] [--corpus DIR]
//   (--only TEXT[,TEXT...] runs the encoders whose name holds one of the texts; --formats 15 measures DXT1 and DXT5
//   only;
//   --decode-only stops after the decode ratios)
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include <squish.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#include <stb/stb_image.h>
#include <stb/stb_dxt.h>

#include "BlockCodec.h"
#include "BlockCodecBlocks.h"
#include "texture/TextureOptions.h"

namespace {

using Clock = std::chrono::steady_clock;
using tarn::texture::BlockQuality;
namespace blocks = tarn::texture::blocks;

constexpr int kCrop = 512;

struct Image {
    std::string name;
    std::vector<unsigned char> rgba;  // kCrop x kCrop
};

bool LoadCrop(const std::string& path, Image& out) {
    int w = 0, h = 0, n = 0;
    unsigned char* data = stbi_load(path.c_str(), &w, &h, &n, 4);
    if (data == nullptr || w < kCrop || h < kCrop) {
        if (data) stbi_image_free(data);
        return false;
    }
    const int x0 = (w - kCrop) / 2 / 4 * 4, y0 = (h - kCrop) / 2 / 4 * 4;
    out.rgba.resize(std::size_t{kCrop} * kCrop * 4);
    for (int y = 0; y < kCrop; ++y)
        std::memcpy(&out.rgba[std::size_t(y) * kCrop * 4], data + (std::size_t(y0 + y) * w + x0) * 4, kCrop * 4);
    stbi_image_free(data);
    return true;
}

// One block's 16 RGBA pixels, row by row.
void GatherBlock(const Image& image, int bx, int by, unsigned char px[64]) {
    for (int r = 0; r < 4; ++r)
        std::memcpy(px + r * 16, &image.rgba[(std::size_t(by * 4 + r) * kCrop + bx * 4) * 4], 16);
}

using BlockEncoder = std::function<void(unsigned char* block, const unsigned char* rgba)>;

struct Encoder {
    const char* name;
    BlockEncoder dxt1, dxt3, dxt5;  // dxt3 empty where the encoder has no DXT3
};

enum class Format { Dxt1, Dxt3, Dxt5 };

void EncodeImage(const Image& image, const BlockEncoder& encode, int blockBytes, std::vector<unsigned char>& out) {
    const int blocks = kCrop / 4;
    out.resize(std::size_t(blocks) * blocks * blockBytes);
    unsigned char px[64];
    for (int by = 0; by < blocks; ++by)
        for (int bx = 0; bx < blocks; ++bx) {
            GatherBlock(image, bx, by, px);
            encode(&out[(std::size_t(by) * blocks + bx) * blockBytes], px);
        }
}

struct Errors {
    double rgb = 0, alpha = 0;  // sums of squares
    double pixels = 0;
};

void Measure(const Image& image, const std::vector<unsigned char>& blocks, Format format, Errors& e) {
    // Block by block: the whole-image call may start threads that would then compete with the timed encoders.
    std::vector<unsigned char> decoded(image.rgba.size());
    const int perSide = kCrop / 4, blockBytes = format == Format::Dxt1 ? 8 : 16;
    const int flags = format == Format::Dxt1 ? squish::kDxt1 : format == Format::Dxt3 ? squish::kDxt3 : squish::kDxt5;
    unsigned char px[64];
    for (int by = 0; by < perSide; ++by)
        for (int bx = 0; bx < perSide; ++bx) {
            squish::Decompress(px, &blocks[(std::size_t(by) * perSide + bx) * blockBytes], flags);
            for (int r = 0; r < 4; ++r)
                std::memcpy(&decoded[(std::size_t(by * 4 + r) * kCrop + bx * 4) * 4], px + 16 * r, 16);
        }
    for (std::size_t i = 0; i < decoded.size(); i += 4) {
        for (int c = 0; c < 3; ++c) {
            const double d = double(decoded[i + c]) - image.rgba[i + c];
            e.rgb += d * d;
        }
        const double d = double(decoded[i + 3]) - image.rgba[i + 3];
        e.alpha += d * d;
    }
    e.pixels += double(decoded.size() / 4);
}

BlockEncoder Ours(BlockQuality quality, Format format) {
    return [quality, format](unsigned char* block, const unsigned char* rgba) {
        float px[64];
        for (int i = 0; i < 64; ++i) px[i] = rgba[i] * (1.0f / 255.0f);
        const blocks::EncodeOptions options{quality, nullptr};
        if (format == Format::Dxt1)
            blocks::EncodeDxt1(block, px, options);
        else if (format == Format::Dxt3)
            blocks::EncodeDxt3(block, px, options);
        else
            blocks::EncodeDxt5(block, px, options);
    };
}

BlockEncoder Squish(int fit, Format format) {
    const int flags = fit | (format == Format::Dxt1   ? squish::kDxt1
                             : format == Format::Dxt3 ? squish::kDxt3
                                                      : squish::kDxt5);
    return [flags](unsigned char* block, const unsigned char* rgba) {
        float metric[3] = {1.0f, 1.0f, 1.0f};
        squish::Compress(rgba, block, flags, metric);
    };
}

BlockEncoder Stb(bool dxt5) {
    return [dxt5](unsigned char* block, const unsigned char* rgba) {
        stb_compress_dxt_block(block, rgba, dxt5 ? 1 : 0, STB_DXT_HIGHQUAL);
    };
}

struct Row {
    double rmse = 0, alphaRmse = 0, ms = 0;
};

// One encoder on one format over its images: the outputs of the latest pass, and for each image the least time
// of the passes.
struct Job {
    const std::vector<Image>* images;
    const BlockEncoder* encode;
    Format format;
    std::vector<std::vector<unsigned char>> outs;
    std::vector<double> ms;
};

void Pass(Job& job) {
    const int blockBytes = job.format == Format::Dxt1 ? 8 : 16;
    job.outs.resize(job.images->size());
    job.ms.resize(job.images->size(), 1e30);
    for (std::size_t i = 0; i < job.images->size(); ++i) {
        const auto t0 = Clock::now();
        EncodeImage((*job.images)[i], *job.encode, blockBytes, job.outs[i]);
        job.ms[i] = std::min(job.ms[i], std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
}

Row Score(const Job& job) {
    Row row;
    for (double ms : job.ms) row.ms += ms;
    Errors e;
    for (std::size_t i = 0; i < job.images->size(); ++i) Measure((*job.images)[i], job.outs[i], job.format, e);
    row.rmse = std::sqrt(e.rgb / (3 * e.pixels));
    row.alphaRmse = std::sqrt(e.alpha / e.pixels);
    return row;
}

double DecodeRatio(const std::vector<Image>& images, Format format) {
    constexpr UINT kSize = 2048;
    const int blockBytes = format == Format::Dxt1 ? 8 : 16;
    const int perSide = kSize / 4;
    std::vector<unsigned char> data(std::size_t(perSide) * perSide * blockBytes);
    // Tiles of the corpus's encoded blocks, so that the indices and endpoints are those of real images.
    std::vector<unsigned char> tile;
    EncodeImage(images[0], Ours(BlockQuality::Fast, format), blockBytes, tile);
    const int tileBlocks = kCrop / 4;
    for (int by = 0; by < perSide; ++by)
        for (int bx = 0; bx < perSide; ++bx)
            std::memcpy(&data[(std::size_t(by) * perSide + bx) * blockBytes],
                        &tile[(std::size_t(by % tileBlocks) * tileBlocks + bx % tileBlocks) * blockBytes], blockBytes);
    std::vector<unsigned char> source(std::size_t(kSize) * kSize * 4, 7), dest(source.size());
    tarn::texture::ImageDesc desc;
    desc.memory = data.data();
    desc.format = format == Format::Dxt1 ? D3DFMT_DXT1 : format == Format::Dxt3 ? D3DFMT_DXT3 : D3DFMT_DXT5;
    desc.rowPitch = perSide * blockBytes;
    desc.slicePitch = desc.rowPitch * perSide;
    desc.box = {0, 0, kSize, kSize, 0, 1};
    double decode = 1e30, copy = 1e30;
    for (int r = 0; r < 20; ++r) {
        auto t0 = Clock::now();
        tarn::texture::DecodeBlocksToA8R8G8B8(desc, dest.data(), kSize * 4);
        decode = std::min(decode, std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        t0 = Clock::now();
        std::memcpy(dest.data(), source.data(), source.size());
        copy = std::min(copy, std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        if (dest[5] == 0x55 && dest[9] == 0x13) std::printf(" ");  // keeps both results observable
    }
    std::printf("decode %s 2048x2048: %.2f ms, memcpy of the decoded bytes %.2f ms, ratio %.2f\n",
                format == Format::Dxt1   ? "DXT1"
                : format == Format::Dxt3 ? "DXT3"
                                         : "DXT5",
                decode, copy, decode / copy);
    return decode / copy;
}

}  // namespace

int main(int argc, char** argv) {
    std::string corpus = "/usr/share/backgrounds/mate";
    int repeat = 3;
    bool decodeOnly = false;
    std::string only;             // runs only the encoders whose name holds one of these texts, comma-separated
    std::string formats = "135";  // the formats measured: digits of 1, 3 and 5
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--corpus") && i + 1 < argc)
            corpus = argv[++i];
        else if (!std::strcmp(argv[i], "--decode-only"))
            decodeOnly = true;
        else if (!std::strcmp(argv[i], "--only") && i + 1 < argc)
            only = argv[++i];
        else if (!std::strcmp(argv[i], "--formats") && i + 1 < argc)
            formats = argv[++i];
        else {
            std::fprintf(stderr,
                         "usage: %s [--repeat N] [--corpus DIR] [--decode-only] [--only TEXT] [--formats 135]\n",
                         argv[0]);
            return 2;
        }
    }
    const char* opaqueFiles[] = {"nature/Aqua.jpg",
                                 "nature/Blinds.jpg",
                                 "nature/Dune.jpg",
                                 "nature/FreshFlower.jpg",
                                 "nature/Garden.jpg",
                                 "nature/GreenMeadow.jpg",
                                 "nature/LadyBird.jpg",
                                 "nature/RainDrops.jpg",
                                 "nature/Storm.jpg",
                                 "nature/TwoWings.jpg",
                                 "nature/Wood.jpg",
                                 "nature/YellowFlower.jpg",
                                 "abstract/Elephants.jpg",
                                 "desktop/GreenTraditional.jpg",
                                 "desktop/Ubuntu-Mate-Warm-no-logo.png",
                                 "abstract/Gulp.png"};
    const char* alphaFiles[] = {"abstract/Arc-Colors-Transparent-Wallpaper.png", "desktop/Float-into-MATE.png",
                                "abstract/Flow.png", "desktop/Stripes.png"};
    std::vector<Image> opaque, alpha;
    for (const char* f : opaqueFiles) {
        Image im{f, {}};
        if (!LoadCrop(corpus + "/" + f, im)) {
            std::fprintf(stderr, "cannot read %s/%s: run bench/texture/install-corpus.sh\n", corpus.c_str(), f);
            return 1;
        }
        for (std::size_t i = 3; i < im.rgba.size(); i += 4) im.rgba[i] = 255;  // DXT1 is measured opaque
        opaque.push_back(std::move(im));
    }
    for (const char* f : alphaFiles) {
        Image im{f, {}};
        if (!LoadCrop(corpus + "/" + f, im)) {
            std::fprintf(stderr, "cannot read %s/%s: run bench/texture/install-corpus.sh\n", corpus.c_str(), f);
            return 1;
        }
        alpha.push_back(std::move(im));
    }

    const double r1 = DecodeRatio(opaque, Format::Dxt1), r3 = DecodeRatio(alpha, Format::Dxt3),
                 r5 = DecodeRatio(alpha, Format::Dxt5);
    if (decodeOnly) return 0;

    auto ours = [](BlockQuality q) {
        return std::make_tuple(Ours(q, Format::Dxt1), Ours(q, Format::Dxt3), Ours(q, Format::Dxt5));
    };
    auto squishFit = [](int fit) {
        return std::make_tuple(Squish(fit, Format::Dxt1), Squish(fit, Format::Dxt3), Squish(fit, Format::Dxt5));
    };
    const auto [fast1, fast3, fast5] = ours(BlockQuality::Fast);
    const auto [default1, default3, default5] = ours(BlockQuality::Default);
    const auto [best1, best3, best5] = ours(BlockQuality::Best);
    const auto [cluster1, cluster3, cluster5] = squishFit(squish::kColourIterativeClusterFit);
    const auto [range1, range3, range5] = squishFit(squish::kColourRangeFit);
    const Encoder encoders[] = {
        {"ours fast", fast1, fast3, fast5},           {"ours default", default1, default3, default5},
        {"ours best", best1, best3, best5},           {"squish iterative cluster fit", cluster1, cluster3, cluster5},
        {"squish range fit", range1, range3, range5}, {"stb_dxt high quality", Stb(false), {}, Stb(true)},
    };
    std::printf("\n%zu opaque images (DXT1) and %zu with alpha (DXT3, DXT5), %d x %d each, least of %d runs\n",
                opaque.size(), alpha.size(), kCrop, kCrop, repeat);
    std::printf("%-28s %9s %8s | %9s %9s %8s | %9s %9s %8s\n", "encoder", "DXT1 RMSE", "ms", "DXT3 RMSE", "alpha", "ms",
                "DXT5 RMSE", "alpha", "ms");
    // The passes are interleaved (every chosen encoder and format once, then again), so that a spell of load
    // on the machine falls on all of them alike rather than on whichever ran during it.
    std::vector<const Encoder*> chosen;
    for (const Encoder& e : encoders) {
        bool take = only.empty();
        for (std::size_t at = 0; !take && at <= only.size();) {
            const std::size_t comma = std::min(only.find(',', at), only.size());
            take = std::string(e.name).find(only.substr(at, comma - at)) != std::string::npos;
            at = comma + 1;
        }
        if (take) chosen.push_back(&e);
    }
    const bool want[3] = {formats.find('1') != std::string::npos, formats.find('3') != std::string::npos,
                          formats.find('5') != std::string::npos};
    std::vector<std::array<Job, 3>> jobs(chosen.size());
    for (std::size_t k = 0; k < chosen.size(); ++k) {
        jobs[k][0] = {&opaque, &chosen[k]->dxt1, Format::Dxt1, {}, {}};
        jobs[k][1] = {&alpha, &chosen[k]->dxt3, Format::Dxt3, {}, {}};
        jobs[k][2] = {&alpha, &chosen[k]->dxt5, Format::Dxt5, {}, {}};
    }
    for (int r = 0; r < repeat; ++r)
        for (std::size_t k = 0; k < chosen.size(); ++k)
            for (int f = 0; f < 3; ++f)
                if (want[f] && *jobs[k][f].encode) Pass(jobs[k][f]);
    for (std::size_t k = 0; k < chosen.size(); ++k) {
        std::printf("%-28s", chosen[k]->name);
        if (want[0]) {
            const Row r = Score(jobs[k][0]);
            std::printf(" %9.4f %8.1f |", r.rmse, r.ms);
        } else {
            std::printf(" %9s %8s |", "-", "-");
        }
        if (want[1] && chosen[k]->dxt3) {
            const Row r = Score(jobs[k][1]);
            std::printf(" %9.4f %9.4f %8.1f |", r.rmse, r.alphaRmse, r.ms);
        } else {
            std::printf(" %9s %9s %8s |", "-", "-", "-");
        }
        if (want[2]) {
            const Row r = Score(jobs[k][2]);
            std::printf(" %9.4f %9.4f %8.1f\n", r.rmse, r.alphaRmse, r.ms);
        } else {
            std::printf(" %9s %9s %8s\n", "-", "-", "-");
        }
    }
    std::printf("\ndecode / memcpy: DXT1 %.2f, DXT3 %.2f, DXT5 %.2f\n", r1, r3, r5);
    return 0;
}
