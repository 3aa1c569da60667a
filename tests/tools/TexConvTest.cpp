// tarn-texconv: the option table, conversions of small images written here into every output format and pixel
// format (read back through the library, through texinfo and, where Debian's python3-pil is installed, through an
// independent reader), cube and volume assembly, many files on several threads, failures and --help.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/d3d9/Backend.h"
#include "tools/texconv/TexConv.h"

namespace {

namespace fs = std::filesystem;
using namespace tarn::texconv;
using Bytes = std::vector<std::uint8_t>;

// ---- Fixtures ----

struct Rgba {
    int r, g, b, a;
};

// The colour of (x, y) in the graded test image: every pixel differs, so a flipped, mirrored or swapped-channel
// image shows.
Rgba Graded(unsigned x, unsigned y) {
    return {static_cast<int>(30 + 50 * x), static_cast<int>(40 + 90 * y), static_cast<int>(220 - 45 * x), 255};
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// A binary PPM of `width` x `height` pixels coloured by `colour`.
Bytes Ppm(unsigned width, unsigned height, const std::function<Rgba(unsigned, unsigned)>& colour) {
    const std::string header = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    Bytes b(header.begin(), header.end());
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            const Rgba c = colour(x, y);
            b.insert(b.end(),
                     {static_cast<std::uint8_t>(c.r), static_cast<std::uint8_t>(c.g), static_cast<std::uint8_t>(c.b)});
        }
    }
    return b;
}

Bytes Flat(unsigned width, unsigned height, Rgba c) {
    return Ppm(width, height, [c](unsigned, unsigned) { return c; });
}

// A colour-mapped 4 x 2 Targa (type 1, 24-bit map of four entries, rows top-down): index (x + y) % 4.
Bytes PalettedTga() {
    Bytes b = {0, 1, 1, 0, 0, 4, 0, 24, 0, 0, 0, 0, 4, 0, 2, 0, 8, 0x20};
    const std::uint8_t map[4][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {40, 80, 120}};  // B, G, R
    for (const auto& e : map) b.insert(b.end(), e, e + 3);
    for (unsigned y = 0; y < 2; ++y) {
        for (unsigned x = 0; x < 4; ++x) b.push_back(static_cast<std::uint8_t>((x + y) % 4));
    }
    return b;
}

struct TempDir {
    fs::path path;
    explicit TempDir(const std::string& name)
        : path(fs::temp_directory_path() / ("texconv_test_" + name + "_" + std::to_string(::getpid()))) {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

// ---- Running programs ----

struct Outcome {
    int status = -1;
    std::string out, err;
};

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

Outcome RunProgram(const std::string& program, const std::vector<std::string>& args) {
    const fs::path errPath = fs::temp_directory_path() / ("texconv_test_err_" + std::to_string(::getpid()));
    std::string command = Quote(program);
    for (const std::string& a : args) command.append(" ").append(Quote(a));
    command += " 2>" + Quote(errPath.string());
    Outcome o;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0;) o.out.append(buffer, n);
        const int raw = ::pclose(pipe);
        o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    o.err = ReadText(errPath);
    fs::remove(errPath);
    return o;
}

Outcome TexConv(const std::vector<std::string>& args) { return RunProgram(TEXCONV_PROGRAM, args); }

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream s(text);
    for (std::string line; std::getline(s, line);) lines.push_back(line);
    return lines;
}

// ---- Reading back through the library ----

class Device {
public:
    Device() : device_(tarn::d3d9::CreateNullDevice(16, 16)) {}
    ~Device() {
        if (device_ != nullptr) device_->Release();
    }
    IDirect3DDevice9* get() const { return device_; }

private:
    IDirect3DDevice9* device_;
};

// Pixels of one 2D picture as 8-bit R, G, B, A.
struct Picture {
    UINT width = 0, height = 0;
    std::vector<Rgba> pixels;
    Rgba at(UINT x, UINT y) const { return pixels[y * width + x]; }
};

Picture FromLocked(const D3DLOCKED_RECT& locked, UINT width, UINT height) {
    Picture p;
    p.width = width, p.height = height;
    for (UINT y = 0; y < height; ++y) {
        const BYTE* row = static_cast<const BYTE*>(locked.pBits) + static_cast<std::ptrdiff_t>(y) * locked.Pitch;
        for (UINT x = 0; x < width; ++x)
            p.pixels.push_back({row[4 * x + 2], row[4 * x + 1], row[4 * x], row[4 * x + 3]});
    }
    return p;
}

// Level 0 of a file's first face as A8R8G8B8, unfiltered; empty when the library rejects the file.
Picture LoadPicture(IDirect3DDevice9* device, const std::string& path) {
    IDirect3DTexture9* texture = nullptr;
    Picture p;
    if (FAILED(D3DXCreateTextureFromFileExA(device, path.c_str(), D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, 1, 0,
                                            D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, D3DX_FILTER_NONE, D3DX_FILTER_NONE, 0,
                                            nullptr, nullptr, &texture)))
        return p;
    D3DSURFACE_DESC desc = {};
    D3DLOCKED_RECT locked = {};
    texture->GetLevelDesc(0, &desc);
    if (SUCCEEDED(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY))) {
        p = FromLocked(locked, desc.Width, desc.Height);
        texture->UnlockRect(0);
    }
    texture->Release();
    return p;
}

void ExpectNear(const Picture& p, const std::function<Rgba(unsigned, unsigned)>& want, int tolerance,
                bool alpha = true) {
    for (UINT y = 0; y < p.height; ++y) {
        for (UINT x = 0; x < p.width; ++x) {
            const Rgba got = p.at(x, y), w = want(x, y);
            SCOPED_TRACE(testing::Message() << "pixel " << x << "," << y);
            EXPECT_NEAR(got.r, w.r, tolerance);
            EXPECT_NEAR(got.g, w.g, tolerance);
            EXPECT_NEAR(got.b, w.b, tolerance);
            if (alpha) {
                EXPECT_NEAR(got.a, w.a, tolerance);
            }
        }
    }
}

// A lossy picture (JPEG, with its colour subsampled) against the image: each pixel's brightness and the image's
// mean colour, which the coding keeps, rather than each pixel's colour, which it blurs.
void ExpectAlike(const Picture& p, const std::function<Rgba(unsigned, unsigned)>& want) {
    auto luma = [](Rgba c) { return 0.299 * c.r + 0.587 * c.g + 0.114 * c.b; };
    double got[3] = {}, wanted[3] = {};
    for (UINT y = 0; y < p.height; ++y) {
        for (UINT x = 0; x < p.width; ++x) {
            const Rgba g = p.at(x, y), w = want(x, y);
            EXPECT_NEAR(luma(g), luma(w), 10) << "pixel " << x << "," << y;
            got[0] += g.r, got[1] += g.g, got[2] += g.b;
            wanted[0] += w.r, wanted[1] += w.g, wanted[2] += w.b;
        }
    }
    const double n = std::max<double>(1, p.pixels.size());
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i] / n, wanted[i] / n, 6) << "channel " << i;
}

D3DXIMAGE_INFO InfoOf(const std::string& path) {
    D3DXIMAGE_INFO info = {};
    EXPECT_EQ(D3DXGetImageInfoFromFileA(path.c_str(), &info), D3D_OK) << path;
    return info;
}

// The independent reader: Debian's python3-pil, when installed. Fills `p` and returns true, or false when the
// module is missing.
bool PilAvailable() {
    static const bool available = RunProgram(SYSTEM_PYTHON3, {"-c", "import PIL"}).status == 0;
    return available;
}

Picture PilPicture(const std::string& path) {
    const Outcome o =
        RunProgram(SYSTEM_PYTHON3, {"-c",
                                    "import sys\n"
                                    "from PIL import Image\n"
                                    "im = Image.open(sys.argv[1]).convert('RGBA')\n"
                                    "print(im.size[0], im.size[1], *[v for p in im.getdata() for v in p])",
                                    path});
    EXPECT_EQ(o.status, 0) << o.err;
    Picture p;
    std::stringstream s(o.out);
    s >> p.width >> p.height;
    for (Rgba c; s >> c.r >> c.g >> c.b >> c.a;) p.pixels.push_back(c);
    EXPECT_EQ(p.pixels.size(), std::size_t{p.width} * p.height) << path;
    if (p.pixels.size() != std::size_t{p.width} * p.height) p.pixels.assign(std::size_t{p.width} * p.height, {});
    return p;
}

// ---- The option table ----

TEST(TexConvOptions, ParsesEachOptionAndRejectsBadValues) {
    struct Case {
        std::vector<std::string> args;
        const char* error;  // a part of the error, or null when the arguments are accepted
        std::function<bool(const Options&)> check;
    };
    const Case kCases[] = {
        {{"a.png"},
         nullptr,
         [](const Options& o) {
             return o.inputs == std::vector<std::string>{"a.png"} && o.format == D3DFMT_UNKNOWN && !o.levelsGiven &&
                    o.width == 0 && o.jobs == 0 && o.assembly == Assembly::EachFile;
         }},
        {{"-f", "dxt5", "a.png"}, nullptr, [](const Options& o) { return o.format == D3DFMT_DXT5; }},
        {{"-f", "A16B16G16R16F", "a"}, nullptr, [](const Options& o) { return o.format == D3DFMT_A16B16G16R16F; }},
        {{"-f", "R8G8_B8G8", "a"}, nullptr, [](const Options& o) { return o.format == D3DFMT_R8G8_B8G8; }},
        {{"-f", "D3DFMT_DXT1", "a"}, "-f needs a format name", nullptr},
        {{"-f", "DXT9", "a"}, "-f needs", nullptr},
        {{"-m", "0", "a"}, nullptr, [](const Options& o) { return o.levelsGiven && o.levels == 0; }},
        {{"-m", "5", "a"}, nullptr, [](const Options& o) { return o.levels == 5; }},
        {{"-m", "-1", "a"}, "-m needs", nullptr},
        {{"-m", "33", "a"}, "-m needs", nullptr},
        {{"-w", "16384", "-h", "1", "a"}, nullptr, [](const Options& o) { return o.width == 16384 && o.height == 1; }},
        {{"-w", "0", "a"}, "-w needs a size from 1 to 16384", nullptr},
        {{"-h", "16385", "a"}, "-h needs", nullptr},
        {{"-w", "12x", "a"}, "-w needs", nullptr},
        {{"-w"}, "-w needs", nullptr},
        {{"--filter", "box+mirror-u+srgb-in", "a"},
         nullptr,
         [](const Options& o) {
             return o.filterGiven && o.filter == (D3DX_FILTER_BOX | D3DX_FILTER_MIRROR_U | D3DX_FILTER_SRGB_IN);
         }},
        {{"--filter", "point+dither", "a"},
         nullptr,
         [](const Options& o) { return o.filter == (D3DX_FILTER_POINT | D3DX_FILTER_DITHER); }},
        {{"--mip-filter", "linear+mirror", "a"},
         nullptr,
         [](const Options& o) {
             return o.mipFilterGiven && !o.filterGiven && o.mipFilter == (D3DX_FILTER_LINEAR | D3DX_FILTER_MIRROR);
         }},
        {{"--filter", "box+point", "a"}, "--filter needs", nullptr},
        {{"--filter", "dither", "a"}, "--filter needs", nullptr},
        {{"--filter", "box+", "a"}, "--filter needs", nullptr},
        {{"--filter", "box+dither+dither", "a"}, "--filter needs", nullptr},
        {{"--dither", "a"}, nullptr, [](const Options& o) { return o.dither; }},
        {{"--color-key", "FF00ff00", "a"}, nullptr, [](const Options& o) { return o.colorKey == 0xFF00FF00u; }},
        {{"--color-key", "FF00FF0", "a"}, "--color-key needs", nullptr},
        {{"--color-key", "FF00FF0G", "a"}, "--color-key needs", nullptr},
        {{"--quality", "best", "a"},
         nullptr,
         [](const Options& o) { return o.qualityGiven && o.quality == tarn::texture::BlockQuality::Best; }},
        {{"--quality", "fast", "a"},
         nullptr,
         [](const Options& o) { return o.quality == tarn::texture::BlockQuality::Fast; }},
        {{"--quality", "slow", "a"}, "--quality needs", nullptr},
        {{"-j", "3", "a", "b"}, nullptr, [](const Options& o) { return o.jobs == 3 && o.inputs.size() == 2; }},
        {{"-j", "0", "a"}, "-j needs", nullptr},
        {{"--out-format", "jpeg", "a"},
         nullptr,
         [](const Options& o) { return o.outFormatGiven && o.outFormat == D3DXIFF_JPG; }},
        {{"--out-format", "pfm", "a"}, nullptr, [](const Options& o) { return o.outFormat == D3DXIFF_PFM; }},
        {{"--out-format", "gif", "a"}, "--out-format needs", nullptr},
        {{"-o", "out", "a"}, nullptr, [](const Options& o) { return o.output == "out"; }},
        {{"-o", "", "a"}, "-o needs", nullptr},
        {{"--cube", "1", "2", "3", "4", "5", "6", "-o", "c.dds"},
         nullptr,
         [](const Options& o) {
             return o.assembly == Assembly::Cube && o.inputs == std::vector<std::string>{"1", "2", "3", "4", "5", "6"};
         }},
        // The six faces are taken whatever they are named, "-X.png" included.
        {{"-o", "c.dds", "--cube", "+X.png", "-X.png", "+Y.png", "-Y.png", "+Z.png", "-Z.png"},
         nullptr,
         [](const Options& o) { return o.inputs[1] == "-X.png" && o.output == "c.dds"; }},
        // "-o" is the sixth face's name here, so c.dds is one input too many.
        {{"--cube", "1", "2", "3", "4", "5", "-o", "c.dds"}, "unexpected c.dds", nullptr},
        {{"--cube", "1", "2", "3", "4", "5"}, "--cube needs six images", nullptr},
        {{"--cube", "1", "2", "3", "4", "5", "6"}, "--cube needs -o", nullptr},
        {{"--cube", "1", "2", "3", "4", "5", "6", "7", "-o", "c"}, "unexpected 7", nullptr},
        {{"a", "--cube", "1", "2", "3", "4", "5", "6", "-o", "c"}, "unexpected a", nullptr},
        {{"--volume", "s0", "s1", "s2", "-o", "v.dds", "-f", "L8"},
         nullptr,
         [](const Options& o) {
             return o.assembly == Assembly::Volume && o.inputs.size() == 3 && o.format == D3DFMT_L8;
         }},
        {{"--volume", "-o", "v.dds"}, "--volume needs at least one slice", nullptr},
        {{"--volume", "a", "--cube", "1", "2", "3", "4", "5", "6", "-o", "v"}, "give one of them once", nullptr},
        {{"--frobnicate", "a"}, "unknown option --frobnicate", nullptr},
        {{}, "no input files", nullptr},
        {{"-"}, nullptr, [](const Options& o) { return o.inputs == std::vector<std::string>{"-"}; }},
        {{"a", "--help", "--bogus"}, nullptr, nullptr},
    };
    for (const Case& c : kCases) {
        std::string joined;
        for (const std::string& a : c.args) joined += " [" + a + "]";
        SCOPED_TRACE(joined);
        const ParseResult r = ParseArguments(c.args);
        if (c.error != nullptr) {
            EXPECT_FALSE(r.ok);
            EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
        } else {
            EXPECT_TRUE(r.ok) << r.error;
            if (c.check) {
                EXPECT_TRUE(c.check(r.options));
            }
        }
    }
    EXPECT_TRUE(ParseArguments({"a", "--help", "--bogus"}).help);
}

TEST(TexConvOptions, HelpListsEveryOptionAndFormat) {
    const Outcome o = TexConv({"--help"});
    EXPECT_EQ(o.status, 0);
    for (const char* option :
         {"-o ", "--out-format", "-f ", "-m ", "--mip-filter", "-w ", "-h ", "--filter", "+mirror", "+dither", "+srgb",
          "--dither", "--color-key", "--quality", "--cube", "--volume", "-j ", "--help"}) {
        EXPECT_NE(o.out.find(option), std::string::npos) << option;
    }
    for (D3DFORMAT f : OfferedFormats()) EXPECT_NE(o.out.find(std::string(" ") + FormatName(f)), std::string::npos);
    const Outcome bad = TexConv({"--frobnicate"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("unknown option --frobnicate"), std::string::npos);
}

// ---- Conversions ----

// Every output format from one 4 x 2 graded image: the file is of its kind, holds the image's pixels (within what
// the format keeps) and is read by texinfo and, where installed, by the independent reader.
TEST(TexConvFiles, EveryOutputFormatReadsBack) {
    TempDir dir("formats");
    const std::string input = dir / "graded.ppm";
    WriteFile(input, Ppm(4, 2, Graded));
    struct Case {
        const char* extension;
        const char* format;  // -f, or null for the library's choice
        D3DXIMAGE_FILEFORMAT fileFormat;
        int tolerance;  // per channel, 8-bit; -1: lossy, compared by ExpectAlike
        bool pil;       // the independent reader takes it
    };
    // The reader takes 32-bit RGB DDS files only with alpha (it reads X8R8G8B8 as 24-bit), so A8R8G8B8 is the
    // DDS case it checks.
    const Case kCases[] = {
        {".dds", nullptr, D3DXIFF_DDS, 0, false}, {".dds", "A8R8G8B8", D3DXIFF_DDS, 0, true},
        {".png", nullptr, D3DXIFF_PNG, 0, true},  {".bmp", nullptr, D3DXIFF_BMP, 0, true},
        {".tga", nullptr, D3DXIFF_TGA, 0, true},  {".ppm", nullptr, D3DXIFF_PPM, 0, true},
        {".pfm", nullptr, D3DXIFF_PFM, 1, false}, {".hdr", nullptr, D3DXIFF_HDR, 2, false},
        {".jpg", nullptr, D3DXIFF_JPG, -1, true},
    };
    Device device;
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string(c.extension) + " " + (c.format != nullptr ? c.format : ""));
        const std::string output = dir / (std::string("out") + c.extension);
        std::vector<std::string> args = {input, "-o", output};
        if (c.format != nullptr) args.insert(args.end(), {"-f", c.format});
        const Outcome o = TexConv(args);
        ASSERT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(o.err, "");
        const D3DXIMAGE_INFO info = InfoOf(output);
        EXPECT_EQ(info.ImageFileFormat, c.fileFormat);
        EXPECT_EQ(info.Width, 4u);
        EXPECT_EQ(info.Height, 2u);
        const Picture p = LoadPicture(device.get(), output);
        ASSERT_EQ(p.pixels.size(), 8u);
        auto expect = [&](const Picture& picture) {
            if (c.tolerance < 0) {
                ExpectAlike(picture, Graded);
            } else {
                ExpectNear(picture, Graded, c.tolerance);
            }
        };
        expect(p);

        const Outcome info2 = RunProgram(TEXINFO_PROGRAM, {output, "--png", output + ".png"});
        EXPECT_EQ(info2.status, 0) << info2.err;
        EXPECT_NE(info2.out.find("Width:          4"), std::string::npos) << info2.out;
        if (c.pil && PilAvailable()) expect(PilPicture(output));
    }
    // --out-format wins over the extension.
    const std::string named = dir / "named.png";
    ASSERT_EQ(TexConv({input, "--out-format", "tga", "-o", named}).status, 0);
    EXPECT_EQ(InfoOf(named).ImageFileFormat, D3DXIFF_TGA);
    // Without -o the output goes beside the input.
    ASSERT_EQ(TexConv({input}).status, 0);
    EXPECT_EQ(InfoOf(dir / "graded.dds").ImageFileFormat, D3DXIFF_DDS);
}

// Each format -f offers comes out of the DDS writer as that format; the palettised ones from a palettised image.
TEST(TexConvFiles, EveryPixelFormatIsMadeAndStored) {
    TempDir dir("pixels");
    WriteFile(dir / "graded.ppm", Ppm(4, 4, Graded));
    WriteFile(dir / "paletted.tga", PalettedTga());
    Device device;
    for (D3DFORMAT format : OfferedFormats()) {
        SCOPED_TRACE(FormatName(format));
        const bool palettised = format == D3DFMT_P8 || format == D3DFMT_A8P8;
        Options options;
        options.format = format;
        const Job job = {{dir / (palettised ? "paletted.tga" : "graded.ppm")}, dir / "out.dds"};
        Failure failure;
        ASSERT_TRUE(ConvertJob(device.get(), options, job, D3DXIFF_DDS, &failure)) << failure.reason;
        EXPECT_EQ(InfoOf(job.output).Format, format);
    }
    // Without -f a palettised image becomes true colour (its palette has no alpha).
    Failure failure;
    ASSERT_TRUE(ConvertJob(device.get(), Options(), {{dir / "paletted.tga"}, dir / "out.dds"}, D3DXIFF_DDS, &failure))
        << failure.reason;
    EXPECT_EQ(InfoOf(dir / "out.dds").Format, D3DFMT_X8R8G8B8);
}

// Format, size, levels, filters and the colour key reach the file.
TEST(TexConvFiles, SizeLevelsAndColourKey) {
    TempDir dir("size");
    const std::string input = dir / "graded.ppm";
    WriteFile(input, Ppm(4, 2, Graded));
    Device device;
    // One of -w and -h keeps the aspect; DDS gets the full chain unless -m says otherwise.
    ASSERT_EQ(TexConv({input, "-w", "16", "-o", dir / "wide.dds"}).status, 0);
    D3DXIMAGE_INFO info = InfoOf(dir / "wide.dds");
    EXPECT_EQ(info.Width, 16u);
    EXPECT_EQ(info.Height, 8u);
    EXPECT_EQ(info.MipLevels, 5u);
    ASSERT_EQ(TexConv({input, "-h", "1", "-m", "1", "--filter", "box", "-f", "R5G6B5", "-o", dir / "r.dds"}).status, 0);
    info = InfoOf(dir / "r.dds");
    EXPECT_EQ(info.Width, 2u);
    EXPECT_EQ(info.Height, 1u);
    EXPECT_EQ(info.MipLevels, 1u);
    EXPECT_EQ(info.Format, D3DFMT_R5G6B5);
    ASSERT_EQ(TexConv({input, "-m", "2", "-o", dir / "two.dds"}).status, 0);
    EXPECT_EQ(InfoOf(dir / "two.dds").MipLevels, 2u);
    // Point sampling to twice the size repeats each pixel.
    ASSERT_EQ(TexConv({input, "-w", "8", "-h", "4", "--filter", "point", "-o", dir / "point.png"}).status, 0);
    ExpectNear(
        LoadPicture(device.get(), dir / "point.png"), [](unsigned x, unsigned y) { return Graded(x / 2, y / 2); }, 0);
    // The keyed colour becomes transparent black; the others keep their alpha.
    const Rgba keyed = Graded(1, 0);
    char key[16];
    std::snprintf(key, sizeof(key), "FF%02X%02X%02X", keyed.r, keyed.g, keyed.b);
    ASSERT_EQ(TexConv({input, "--color-key", key, "-o", dir / "keyed.png"}).status, 0);
    ExpectNear(
        LoadPicture(device.get(), dir / "keyed.png"),
        [](unsigned x, unsigned y) {
            return x == 1 && y == 0 ? Rgba{0, 0, 0, 0} : Graded(x, y);
        },
        0);
    // Block compression at every quality decodes near the image.
    for (const char* quality : {"fast", "default", "best"}) {
        SCOPED_TRACE(quality);
        ASSERT_EQ(TexConv({dir / "graded.ppm", "-f", "DXT1", "--quality", quality, "-w", "4", "-h", "4", "--filter",
                           "point", "-o", dir / "dxt.dds"})
                      .status,
                  0);
        EXPECT_EQ(InfoOf(dir / "dxt.dds").Format, D3DFMT_DXT1);
        ExpectNear(
            LoadPicture(device.get(), dir / "dxt.dds"), [](unsigned x, unsigned y) { return Graded(x, y / 2); }, 48,
            false);
        if (PilAvailable()) {
            ExpectNear(
                PilPicture(dir / "dxt.dds"), [](unsigned x, unsigned y) { return Graded(x, y / 2); }, 48, false);
        }
    }
}

// ---- Cube maps and volumes ----

const Rgba kFaceColours[6] = {{255, 0, 0, 255},   {0, 255, 0, 255},   {0, 0, 255, 255},
                              {255, 255, 0, 255}, {0, 255, 255, 255}, {255, 0, 255, 255}};

TEST(TexConvAssembly, SixImagesMakeACubeMap) {
    TempDir dir("cube");
    std::vector<std::string> args = {"--cube"};
    for (int f = 0; f < 6; ++f) {
        // Faces of other sizes are resampled to the first one's.
        const std::string face = dir / ("face" + std::to_string(f) + ".ppm");
        WriteFile(face, Flat(f == 3 ? 2 : 4, f == 3 ? 2 : 4, kFaceColours[f]));
        args.push_back(face);
    }
    const std::string output = dir / "cube.dds";
    args.insert(args.end(), {"-o", output});
    const Outcome o = TexConv(args);
    ASSERT_EQ(o.status, 0) << o.err;
    const D3DXIMAGE_INFO info = InfoOf(output);
    EXPECT_EQ(info.ResourceType, D3DRTYPE_CUBETEXTURE);
    EXPECT_EQ(info.Width, 4u);
    EXPECT_EQ(info.MipLevels, 3u);

    Device device;
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(D3DXCreateCubeTextureFromFileExA(device.get(), output.c_str(), D3DX_DEFAULT, 0, 0, D3DFMT_A8R8G8B8,
                                               D3DPOOL_SCRATCH, D3DX_FILTER_NONE, D3DX_FILTER_NONE, 0, nullptr, nullptr,
                                               &cube),
              D3D_OK);
    for (UINT level = 0; level < cube->GetLevelCount(); ++level) {
        for (int f = 0; f < 6; ++f) {
            SCOPED_TRACE(testing::Message() << "face " << f << " level " << level);
            D3DLOCKED_RECT locked = {};
            D3DSURFACE_DESC desc = {};
            cube->GetLevelDesc(level, &desc);
            ASSERT_EQ(cube->LockRect(static_cast<D3DCUBEMAP_FACES>(f), level, &locked, nullptr, D3DLOCK_READONLY),
                      D3D_OK);
            ExpectNear(
                FromLocked(locked, desc.Width, desc.Height), [f](unsigned, unsigned) { return kFaceColours[f]; }, 0);
            cube->UnlockRect(static_cast<D3DCUBEMAP_FACES>(f), level);
        }
    }
    cube->Release();
    const Outcome described = RunProgram(TEXINFO_PROGRAM, {output, "--png", dir / "face5.png", "--face", "5"});
    EXPECT_EQ(described.status, 0) << described.err;
    EXPECT_NE(described.out.find("Faces:          6"), std::string::npos) << described.out;
}

TEST(TexConvAssembly, SlicesMakeAVolume) {
    TempDir dir("volume");
    std::vector<std::string> args = {"-f", "A8R8G8B8", "-m", "1", "-o", dir / "volume.dds", "--volume"};
    for (int z = 0; z < 3; ++z) {
        const std::string slice = dir / ("slice" + std::to_string(z) + ".ppm");
        WriteFile(slice, Flat(4, 2, kFaceColours[z]));
        args.push_back(slice);
    }
    const Outcome o = TexConv(args);
    ASSERT_EQ(o.status, 0) << o.err;
    const D3DXIMAGE_INFO info = InfoOf(dir / "volume.dds");
    EXPECT_EQ(info.ResourceType, D3DRTYPE_VOLUMETEXTURE);
    EXPECT_EQ(info.Width, 4u);
    EXPECT_EQ(info.Height, 2u);
    EXPECT_EQ(info.Depth, 3u);
    EXPECT_EQ(info.Format, D3DFMT_A8R8G8B8);

    Device device;
    IDirect3DVolumeTexture9* volume = nullptr;
    ASSERT_EQ(D3DXCreateVolumeTextureFromFileExA(device.get(), (dir / "volume.dds").c_str(), D3DX_DEFAULT_NONPOW2,
                                                 D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, 1, 0, D3DFMT_A8R8G8B8,
                                                 D3DPOOL_SCRATCH, D3DX_FILTER_NONE, D3DX_FILTER_NONE, 0, nullptr,
                                                 nullptr, &volume),
              D3D_OK);
    D3DLOCKED_BOX box = {};
    ASSERT_EQ(volume->LockBox(0, &box, nullptr, D3DLOCK_READONLY), D3D_OK);
    for (int z = 0; z < 3; ++z) {
        SCOPED_TRACE(z);
        D3DLOCKED_RECT slice = {box.RowPitch, static_cast<BYTE*>(box.pBits) + z * box.SlicePitch};
        ExpectNear(
            FromLocked(slice, 4, 2), [z](unsigned, unsigned) { return kFaceColours[z]; }, 0);
    }
    volume->UnlockBox(0);
    volume->Release();
    const Outcome described = RunProgram(TEXINFO_PROGRAM, {dir / "volume.dds"});
    EXPECT_EQ(described.status, 0) << described.err;
    EXPECT_NE(described.out.find("Depth:          3"), std::string::npos) << described.out;
}

// ---- Many files ----

TEST(TexConvBatch, ManyFilesOnSeveralThreads) {
    TempDir dir("batch");
    std::vector<std::string> args = {"-j", "3", "-f", "X8R8G8B8", "-o", dir / "out"};
    constexpr int kFiles = 9;
    for (int i = 0; i < kFiles; ++i) {
        const std::string input = dir / ("in" + std::to_string(i) + ".ppm");
        WriteFile(input, Flat(4 + i, 3, {20 * i, 255 - 20 * i, 7 * i, 255}));
        args.push_back(input);
    }
    const Outcome o = TexConv(args);
    ASSERT_EQ(o.status, 0) << o.err;
    // Standard error is not a terminal here: no progress bar. On a terminal (script's), one counts to the last file.
    EXPECT_EQ(o.err, "");
    std::string command = Quote(TEXCONV_PROGRAM);
    for (const std::string& a : args) command.append(" ").append(Quote(a));
    const Outcome terminal = RunProgram("script", {"-qec", command, "/dev/null"});
    EXPECT_EQ(terminal.status, 0) << terminal.err;
    EXPECT_NE(terminal.out.find("\r[" + std::string(30, '#') + "] 9/9"), std::string::npos) << terminal.out;
    Device device;
    for (int i = 0; i < kFiles; ++i) {
        SCOPED_TRACE(i);
        const std::string output = dir / ("out/in" + std::to_string(i) + ".dds");
        EXPECT_EQ(InfoOf(output).Format, D3DFMT_X8R8G8B8);
        const Picture p = LoadPicture(device.get(), output);
        EXPECT_EQ(p.width, UINT(4 + i));
        ExpectNear(
            p,
            [i](unsigned, unsigned) {
                return Rgba{20 * i, 255 - 20 * i, 7 * i, 255};
            },
            0);
    }
}

// ---- Failures ----

// Each failed file gets one line naming it and the reason; the others convert; nothing is written for a failure.
TEST(TexConvBatch, FailuresGetOneLineEachAndWriteNothing) {
    TempDir dir("failures");
    WriteFile(dir / "good.ppm", Flat(4, 4, {10, 20, 30, 255}));
    WriteFile(dir / "garbage.png", Bytes(64, 0x5A));
    Bytes truncated = Ppm(4, 4, Graded);
    truncated.resize(truncated.size() - 10);
    WriteFile(dir / "truncated.ppm", truncated);
    WriteFile(dir / "empty.tga", {});
    fs::create_directories(dir / "folder.bmp");
    fs::create_directories(dir / "other");
    WriteFile(dir / "other/good.ppm", Flat(4, 4, {10, 20, 30, 255}));  // same output name as good.ppm
    const std::vector<std::string> bad = {dir / "garbage.png", dir / "truncated.ppm", dir / "empty.tga",
                                          dir / "missing.jpg", dir / "folder.bmp",    dir / "other/good.ppm"};
    std::vector<std::string> args = {"-j", "2", "-o", dir / "out", dir / "good.ppm"};
    args.insert(args.end(), bad.begin(), bad.end());
    const Outcome o = TexConv(args);
    EXPECT_EQ(o.status, 1);
    const std::vector<std::string> lines = Lines(o.err);
    EXPECT_EQ(lines.size(), bad.size()) << o.err;
    for (const std::string& file : bad) {
        SCOPED_TRACE(file);
        const auto line = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.rfind("tarn-texconv: " + file + ": ", 0) == 0;
        });
        ASSERT_NE(line, lines.end()) << o.err;
        EXPECT_GT(line->size(), file.size() + 20) << "a reason in words";
    }
    EXPECT_NE(o.err.find("missing.jpg: cannot open: No such file"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("garbage.png: the file is not an image the library reads"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("is also made from " + dir / "good.ppm"), std::string::npos) << o.err;
    std::vector<std::string> written;
    for (const auto& entry : fs::directory_iterator(dir / "out")) written.push_back(entry.path().filename());
    EXPECT_EQ(written, std::vector<std::string>{"good.dds"});

    // A format the library cannot make from the image fails rather than writing another.
    const Outcome p8 = TexConv({dir / "good.ppm", "-f", "P8", "-o", dir / "p8.dds"});
    EXPECT_EQ(p8.status, 1);
    EXPECT_NE(p8.err.find("not P8"), std::string::npos) << p8.err;
    EXPECT_FALSE(fs::exists(dir / "p8.dds"));
    // An output over its input is refused.
    const Outcome over = TexConv({dir / "good.ppm", "--out-format", "ppm", "-o", dir.path.string()});
    EXPECT_EQ(over.status, 1);
    EXPECT_NE(over.err.find("would overwrite an input"), std::string::npos) << over.err;
    // A cube face that fails names that face's file and writes no cube.
    std::vector<std::string> cube = {"--cube"};
    for (int f = 0; f < 6; ++f) cube.push_back(dir / (f == 4 ? "garbage.png" : "good.ppm"));
    cube.insert(cube.end(), {"-o", dir / "cube.dds"});
    const Outcome c = TexConv(cube);
    EXPECT_EQ(c.status, 1);
    EXPECT_EQ(Lines(c.err).size(), 1u) << c.err;
    EXPECT_EQ(c.err.rfind("tarn-texconv: " + dir / "garbage.png: ", 0), 0u) << c.err;
    EXPECT_FALSE(fs::exists(dir / "cube.dds"));
}

TEST(TexConvBatch, OutputsLargerThanTheLimitAreRefused) {
    TempDir dir("limit");
    WriteFile(dir / "good.ppm", Flat(4, 4, {10, 20, 30, 255}));
    Options options;
    options.width = options.height = 64;
    options.maxPixels = 64 * 64 - 1;
    Device device;
    Failure failure;
    EXPECT_FALSE(ConvertJob(device.get(), options, {{dir / "good.ppm"}, dir / "big.dds"}, D3DXIFF_DDS, &failure));
    EXPECT_NE(failure.reason.find("64 x 64 x 1, more than 4095 pixels"), std::string::npos) << failure.reason;
    EXPECT_FALSE(fs::exists(dir / "big.dds"));
    options.maxPixels = 64 * 64;
    EXPECT_TRUE(ConvertJob(device.get(), options, {{dir / "good.ppm"}, dir / "big.dds"}, D3DXIFF_DDS, &failure))
        << failure.reason;
}

}  // namespace
