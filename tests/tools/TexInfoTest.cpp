// texinfo --face/--slice/--level on cube and volume DDS files written here: every stored sub-image comes out as a
// PNG with the pixels the file holds, sizes and ranges are printed, and a sub-image the file does not hold is
// refused with the range it does hold.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

void Put32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// A DDS header: A8R8G8B8 pixels, or DXT1 blocks when `dxt1`.
Bytes DdsHeader(std::uint32_t width, std::uint32_t height, std::uint32_t depth, std::uint32_t levels, bool cube,
                bool dxt1) {
    Bytes b = {'D', 'D', 'S', ' '};
    Put32(b, 124);
    Put32(b, 0x1007 | (levels > 1 ? 0x20000 : 0) | (depth > 1 ? 0x800000 : 0));
    Put32(b, height);
    Put32(b, width);
    Put32(b, 0);
    Put32(b, depth > 1 ? depth : 0);
    Put32(b, levels);
    b.resize(76, 0);
    Put32(b, 32);
    if (dxt1) {
        for (std::uint32_t v : {0x4u, 0x31545844u, 0u, 0u, 0u, 0u, 0u}) Put32(b, v);  // "DXT1"
    } else {
        for (std::uint32_t v : {0x41u, 0u, 32u, 0xFF0000u, 0xFF00u, 0xFFu, 0xFF000000u}) Put32(b, v);
    }
    Put32(b, 0x1000 | (levels > 1 ? 0x400008 : 0));
    Put32(b, cube ? 0xFE00 : (depth > 1 ? 0x200000 : 0));
    b.resize(128, 0);
    return b;
}

// The colour stored at (x, y) of one sub-image, as 8-bit R, G, B, A: each face, slice and level its own, and
// level 0 graded across x and y so that a mirrored or shifted picture shows.
std::uint32_t Rgba(unsigned face, unsigned slice, unsigned level, unsigned x, unsigned y) {
    const unsigned r = 0x10 + 0x20 * face, g = 0x10 + 0x30 * level + 0x08 * slice;
    const unsigned b = level == 0 ? 0x40 + 4 * (x + 4 * y) : 0x40, a = 0xFF - 0x10 * face;
    return r | (g << 8) | (b << 16) | (a << 24);
}

// Appends one w x h A8R8G8B8 slice (B, G, R, A in memory).
void PutSlice(Bytes& b, unsigned face, unsigned slice, unsigned level, unsigned w, unsigned h) {
    for (unsigned y = 0; y < h; ++y) {
        for (unsigned x = 0; x < w; ++x) {
            const std::uint32_t c = Rgba(face, slice, level, x, y);
            for (int shift : {16, 8, 0, 24}) b.push_back(static_cast<std::uint8_t>(c >> shift));
        }
    }
}

// A 4 x 4 cube map with levels 4, 2, 1; a 4 x 4 x 4 volume with levels 4 x 4 x 4, 2 x 2 x 2, 1 x 1 x 1.
Bytes CubeFile() {
    Bytes b = DdsHeader(4, 4, 1, 3, true, false);
    for (unsigned face = 0; face < 6; ++face) {
        for (unsigned level = 0, edge = 4; level < 3; ++level, edge /= 2) PutSlice(b, face, 0, level, edge, edge);
    }
    return b;
}

Bytes VolumeFile() {
    Bytes b = DdsHeader(4, 4, 4, 3, false, false);
    for (unsigned level = 0, edge = 4; level < 3; ++level, edge /= 2) {
        for (unsigned slice = 0; slice < edge; ++slice) PutSlice(b, 0, slice, level, edge, edge);
    }
    return b;
}

// DXT1 in one colour per row of blocks (colour 0 = colour 1, every index 0: decodes exactly). Wide enough that
// texinfo converts it in several bands, the second starting inside a row of blocks.
constexpr unsigned kWideWidth = 4000, kWideHeight = 70;
std::uint16_t BlockRowColour(unsigned blockRow) { return static_cast<std::uint16_t>(0x0841 * (blockRow + 1)); }
std::uint32_t Expand565(std::uint16_t c) {
    // The library widens channels by rounding v * 255 / max.
    const unsigned r = ((c >> 11) * 510 + 31) / 62, g = (((c >> 5) & 63) * 510 + 63) / 126,
                   b = ((c & 31) * 510 + 31) / 62;
    return r | (g << 8) | (b << 16) | 0xFF000000u;
}
Bytes WideDxt1File() {
    Bytes b = DdsHeader(kWideWidth, kWideHeight, 1, 1, false, true);
    for (unsigned row = 0; row < (kWideHeight + 3) / 4; ++row) {
        for (unsigned column = 0; column < kWideWidth / 4; ++column) {
            const std::uint16_t c = BlockRowColour(row);
            for (std::uint8_t v : {c & 0xFF, c >> 8, c & 0xFF, c >> 8, 0, 0, 0, 0}) b.push_back(v);
        }
    }
    return b;
}

// A 3 x 2 Targa stored bottom row first (the format's default), read in place with its rows upwards.
std::uint32_t TgaTexel(unsigned x, unsigned y) {
    return 0xFF000000u | (0x40 * x + 0x10) | ((0x80 * y + 0x20) << 8) | 0x300000u;
}
Bytes BottomUpTga() {
    Bytes b = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 24, 0};
    for (unsigned y = 2; y-- > 0;) {
        for (unsigned x = 0; x < 3; ++x) {
            const std::uint32_t c = TgaTexel(x, y);
            for (int shift : {16, 8, 0}) b.push_back(static_cast<std::uint8_t>(c >> shift));
        }
    }
    return b;
}

struct Png {
    unsigned width = 0, height = 0;
    std::vector<std::uint32_t> rgba;  // R in the low byte
};

bool ReadPng(const fs::path& path, Png& out) {
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGBA;
    out.width = image.width;
    out.height = image.height;
    out.rgba.assign(std::size_t{image.width} * image.height, 0);
    return png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr) != 0;
}

struct ToolRun {
    int status = -1;
    std::string output;  // standard output and standard error
};

std::string Quote(const fs::path& path) {
    std::string quoted(1, '"');
    quoted += path.string();
    quoted += '"';
    return quoted;
}

ToolRun TexInfo(const std::string& args) {
    ToolRun run;
    std::FILE* pipe = popen((Quote(TEXINFO_PROGRAM) + " " + args + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[512];
    while (std::fgets(buffer, sizeof(buffer), pipe) != nullptr) run.output += buffer;
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class TexInfoSubImages : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = fs::temp_directory_path() / ("texinfo_subimages_" + std::to_string(getpid()));
        fs::create_directories(dir_);
        Write("cube.dds", CubeFile());
        Write("volume.dds", VolumeFile());
        Write("wide.dds", WideDxt1File());
        Write("upward.tga", BottomUpTga());
    }
    static void TearDownTestSuite() { fs::remove_all(dir_); }
    static void Write(const char* name, const Bytes& bytes) {
        std::ofstream(dir_ / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    static std::string In(const char* name) { return Quote(dir_ / name); }

    // Runs texinfo with `args` on `file`, writing out.png, and checks every pixel against `expected`.
    static void ExpectPng(const char* file, const std::string& args, unsigned w, unsigned h,
                          const std::function<std::uint32_t(unsigned, unsigned)>& expected) {
        const fs::path png = dir_ / "out.png";
        fs::remove(png);
        const ToolRun run = TexInfo(In(file) + " --png " + Quote(png) + " " + args);
        ASSERT_EQ(run.status, 0) << run.output;
        Png image;
        ASSERT_TRUE(ReadPng(png, image)) << run.output;
        ASSERT_EQ(image.width, w);
        ASSERT_EQ(image.height, h);
        for (unsigned y = 0; y < h; ++y) {
            for (unsigned x = 0; x < w; ++x) {
                ASSERT_EQ(image.rgba[y * w + x], expected(x, y)) << "pixel " << x << ", " << y;
            }
        }
    }

    static fs::path dir_;
};
fs::path TexInfoSubImages::dir_;

TEST_F(TexInfoSubImages, WritesEveryStoredFaceAndLevelOfACubeMap) {
    for (unsigned face = 0; face < 6; ++face) {
        for (unsigned level = 0, edge = 4; level < 3; ++level, edge /= 2) {
            SCOPED_TRACE("face " + std::to_string(face) + ", level " + std::to_string(level));
            ExpectPng("cube.dds", "--face " + std::to_string(face) + " --level " + std::to_string(level), edge, edge,
                      [&](unsigned x, unsigned y) { return Rgba(face, 0, level, x, y); });
        }
    }
}

TEST_F(TexInfoSubImages, WritesEveryStoredSliceAndLevelOfAVolume) {
    for (unsigned level = 0, edge = 4; level < 3; ++level, edge /= 2) {
        for (unsigned slice = 0; slice < edge; ++slice) {
            SCOPED_TRACE("slice " + std::to_string(slice) + ", level " + std::to_string(level));
            ExpectPng("volume.dds", "--slice " + std::to_string(slice) + " --level " + std::to_string(level), edge,
                      edge, [&](unsigned x, unsigned y) { return Rgba(0, slice, level, x, y); });
        }
    }
}

TEST_F(TexInfoSubImages, ConvertsBlockCompressedFacesInBands) {
    ExpectPng("wide.dds", "--face 0", kWideWidth, kWideHeight,
              [](unsigned, unsigned y) { return Expand565(BlockRowColour(y / 4)); });
}

TEST_F(TexInfoSubImages, SizeResamplesTheChosenSubImage) {
    // Level 1 of face 2 is one colour, which every filter keeps.
    for (const char* filter : {"", " --filter point", " --filter box"}) {
        SCOPED_TRACE(filter);
        ExpectPng("cube.dds", std::string("--face 2 --level 1 --size 8x4") + filter, 8, 4,
                  [](unsigned, unsigned) { return Rgba(2, 0, 1, 0, 0); });
    }
    // A filter at the stored size changes nothing.
    ExpectPng("volume.dds", "--slice 3 --filter point", 4, 4,
              [](unsigned x, unsigned y) { return Rgba(0, 3, 0, x, y); });
}

TEST_F(TexInfoSubImages, ReadsRowsStoredUpwardsWithAndWithoutAFilter) {
    for (const char* args : {"--face 0", "--face 0 --filter point", "--slice 0 --filter box+dither"}) {
        SCOPED_TRACE(args);
        ExpectPng("upward.tga", args, 3, 2, TgaTexel);
    }
    // Twice the size with point sampling: each texel becomes a 2 x 2 square.
    ExpectPng("upward.tga", "--face 0 --size 6x4 --filter point", 6, 4,
              [](unsigned x, unsigned y) { return TgaTexel(x / 2, y / 2); });
}

TEST_F(TexInfoSubImages, PrintsFacesDepthAndLevels) {
    const struct {
        const char* file;
        const char* expected;
    } kCases[] = {
        {"cube.dds", "Depth: +1\nFaces: +6\nMipLevels: +3\nLevels: +4 x 4 x 1, 2 x 2 x 1, 1 x 1 x 1\n"},
        {"volume.dds", "Depth: +4\nFaces: +1\nMipLevels: +3\nLevels: +4 x 4 x 4, 2 x 2 x 2, 1 x 1 x 1\n"},
        {"wide.dds", "Depth: +1\nFaces: +1\nMipLevels: +1\nLevels: +4000 x 70 x 1\n"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.file);
        const ToolRun run = TexInfo(In(c.file));
        EXPECT_EQ(run.status, 0);
        EXPECT_TRUE(std::regex_search(run.output, std::regex(c.expected))) << run.output;
    }
}

TEST_F(TexInfoSubImages, RefusesWhatTheFileDoesNotStoreAndNamesTheRange) {
    const struct {
        const char* file;
        const char* args;
        const char* message;
    } kCases[] = {
        {"cube.dds", "--face 6", "--face needs a number from 0 to 5"},
        {"cube.dds", "--face -1", "--face needs a number from 0 to 5"},
        {"cube.dds", "--face 1 --level 3", "level 3 is not stored: .*stores levels 0 to 2"},
        {"cube.dds", "--face 0 --slice 1", "slice 1 does not exist: level 0 of .* has slices 0 to 0"},
        {"volume.dds", "--face 1", "face 1 does not exist: .* has one face, 0"},
        {"volume.dds", "--slice 4", "slice 4 does not exist: level 0 of .* has slices 0 to 3"},
        {"volume.dds", "--slice 2 --level 1", "slice 2 does not exist: level 1 of .* has slices 0 to 1"},
        {"volume.dds", "--slice x", "--slice needs a number from 0 up"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.args);
        const ToolRun run = TexInfo(In(c.file) + " --png " + Quote(dir_ / "refused.png") + " " + c.args);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(std::regex_search(run.output, std::regex(c.message))) << run.output;
        EXPECT_FALSE(fs::exists(dir_ / "refused.png"));
    }
    const ToolRun withoutPng = TexInfo(In("cube.dds") + " --face 1");
    EXPECT_EQ(withoutPng.status, 1);
    EXPECT_NE(withoutPng.output.find("give --png too"), std::string::npos) << withoutPng.output;
}

}  // namespace
