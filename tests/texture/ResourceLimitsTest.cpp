// The image-size limits: every reader refuses a header that declares more than they allow, before allocating,
// with D3DXERR_INVALIDDATA and a debug-output line naming the limit; images within them load. Readers whose coding
// has no floor also hold a file to the pixels-per-byte limit.
#include "ResourceLimits.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <zlib.h>

#include "platform/TestHooks.h"
#include "ReadersFixtures.h"

using namespace readers_test;

namespace {

// Collects debug-output lines for the lifetime of the object.
class DebugLines {
public:
    DebugLines() {
        previous_ = tarn::platform::SetDebugOutputHook([this](const char* text) { lines_.emplace_back(text); });
    }
    ~DebugLines() { tarn::platform::SetDebugOutputHook(previous_); }
    bool Contains(const std::string& part) const {
        for (const std::string& line : lines_)
            if (line.find(part) != std::string::npos) return true;
        return false;
    }
    std::string All() const {
        std::string all;
        for (const std::string& line : lines_) all += line;
        return all;
    }

private:
    std::vector<std::string> lines_;
    tarn::platform::DebugOutputHook previous_;
};

// Headers alone, each declaring width x height; no pixel data follows.
Bytes BmpHeader(std::uint32_t width, std::uint32_t height, std::uint32_t compression = 0, std::uint32_t bits = 24) {
    Bytes b = {'B', 'M'};
    Put32(b, 54);
    Put32(b, 0);
    Put32(b, 54);
    Put32(b, 40);
    Put32(b, width);
    Put32(b, height);
    Put16(b, 1);
    Put16(b, bits);
    Put32(b, compression);
    for (int i = 0; i < 5; ++i) Put32(b, 0);
    if (bits <= 8) b.resize(b.size() + (std::size_t{4} << bits), 0);  // the colour table
    Set32(b, 2, static_cast<std::uint32_t>(b.size()));
    return b;
}

Bytes TgaHeader(std::uint32_t width, std::uint32_t height) {
    Bytes b = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Put16(b, width);
    Put16(b, height);
    b.push_back(32);
    b.push_back(0x20);
    return b;
}

Bytes DdsHeader(std::uint32_t width, std::uint32_t height, std::uint32_t depth) {
    Bytes b(128, 0);
    std::memcpy(b.data(), "DDS ", 4);
    Set32(b, 4, 124);
    Set32(b, 8, depth > 1 ? 0x800000u : 0u);
    Set32(b, 12, height);
    Set32(b, 16, width);
    Set32(b, 24, depth);
    Set32(b, 76, 32);
    Set32(b, 80, 0x41);
    Set32(b, 88, 32);
    Set32(b, 92, 0xFF0000);
    Set32(b, 96, 0xFF00);
    Set32(b, 100, 0xFF);
    Set32(b, 104, 0xFF000000);
    return b;
}

void PutChunk(Bytes& b, const char* type, const Bytes& body) {
    Bytes big;
    for (int i = 3; i >= 0; --i) big.push_back(static_cast<BYTE>(body.size() >> (8 * i)));
    b.insert(b.end(), big.begin(), big.end());
    const std::size_t start = b.size();
    PutText(b, type);
    b.insert(b.end(), body.begin(), body.end());
    const uLong crc = crc32(0, b.data() + start, static_cast<uInt>(b.size() - start));
    for (int i = 3; i >= 0; --i) b.push_back(static_cast<BYTE>(crc >> (8 * i)));
}

// An 8-bit grey PNG header and an empty image-data chunk: enough for the header to be read.
Bytes PngHeader(std::uint32_t width, std::uint32_t height) {
    Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes ihdr;
    for (std::uint32_t v : {width, height})
        for (int i = 3; i >= 0; --i) ihdr.push_back(static_cast<BYTE>(v >> (8 * i)));
    for (BYTE v : {8, 0, 0, 0, 0}) ihdr.push_back(v);
    PutChunk(b, "IHDR", ihdr);
    PutChunk(b, "IDAT", {});
    PutChunk(b, "IEND", {});
    return b;
}

// An 8 x 8 grey JPEG, Huffman- or arithmetic-coded, whose frame header is then made to declare width x height (the
// scan stays 8 x 8).
Bytes JpegDeclaring(std::uint32_t width, std::uint32_t height, bool arithmetic = false) {
    Bytes out = WriteJpeg(8, 8, 1, JCS_GRAYSCALE, Bytes(64, 128), false, arithmetic);
    for (std::size_t i = 2; i + 9 < out.size(); ++i) {
        // Baseline frame header (Huffman or arithmetic): length, precision, height, width.
        if (out[i] == 0xFF && (out[i + 1] == 0xC0 || out[i + 1] == 0xC9)) {
            out[i + 5] = static_cast<BYTE>(height >> 8);
            out[i + 6] = static_cast<BYTE>(height);
            out[i + 7] = static_cast<BYTE>(width >> 8);
            out[i + 8] = static_cast<BYTE>(width);
            break;
        }
    }
    return out;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

struct Case {
    const char* name;
    const char* reader;  // the reader's name in its debug line
    ImageReaderFn read;
    Bytes file;
};

std::vector<Case> HugeFiles() {
    Bytes dib = BmpHeader(20000, 20000);
    dib.erase(dib.begin(), dib.begin() + 14);
    return {
        {"BMP", "BMP", ReadBmp, BmpHeader(20000, 20000)},
        {"BMP RLE8", "BMP", ReadBmp, BmpHeader(16384, 16385, 1, 8)},
        {"DIB", "BMP", ReadDib, dib},
        {"TGA", "TGA", ReadTga, TgaHeader(65535, 65535)},
        {"DDS", "DDS", ReadDds, DdsHeader(20000, 20000, 1)},
        {"DDS volume", "DDS", ReadDds, DdsHeader(1024, 1024, 1024)},
        {"PNG", "PNG", ReadPng, PngHeader(20000, 20000)},
        {"JPEG", "JPEG", ReadJpeg, JpegDeclaring(65500, 65500)},
        {"PPM", "PPM", ReadPpm, Text("P6 20000 20000 255\n")},
        {"PFM", "PFM", ReadPfm, Text("PF\n20000 20000\n-1.0\n")},
        {"HDR", "HDR", ReadHdr, Text("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 20000 +X 20000\n")},
    };
}

TEST(ResourceLimits, EveryReaderRefusesAHeaderOverTheDefaultLimits) {
    for (const Case& c : HugeFiles()) {
        SCOPED_TRACE(c.name);
        for (bool wantPixels : {false, true}) {
            DebugLines lines;
            DecodedImage direct;
            EXPECT_EQ(ReadWith(c.read, direct, c.file, wantPixels), D3DXERR_INVALIDDATA);
            EXPECT_EQ(direct.pixels, nullptr);
            EXPECT_TRUE(lines.Contains(std::string(c.reader) + ": image ")) << lines.All();
            EXPECT_TRUE(lines.Contains("limit 268435456")) << lines.All();

            DecodedImage viaTrial;
            D3DXIMAGE_INFO info = {};
            EXPECT_EQ(ReadImage(viaTrial, c.file.data(), static_cast<UINT>(c.file.size()), &info, wantPixels),
                      D3DXERR_INVALIDDATA);
        }
    }
}

// The same headers pass the size check once the limits allow them; with pixels wanted each is then refused by the
// reader's own checks (sizes past 32 bits, pixel data the file does not hold), never by the limits.
TEST(ResourceLimits, RaisedLimitsLetTheSameHeadersThroughToTheReadersOwnChecks) {
    ScopedLimits raised({std::uint64_t{1} << 40, std::uint64_t{1} << 40, std::uint64_t{1} << 40, 0});
    for (const Case& c : HugeFiles()) {
        SCOPED_TRACE(c.name);
        DebugLines lines;
        DecodedImage img;
        EXPECT_TRUE(FAILED(ReadWith(c.read, img, c.file, true)));
        EXPECT_FALSE(lines.Contains("limit")) << lines.All();
    }
}

TEST(ResourceLimits, EachLimitIsInclusiveAndNamedWhenExceeded) {
    ScopedLimits small({8, 4, 24, 0});
    struct Size {
        std::uint32_t width, height;
        HRESULT expected;
        const char* named;
    } const kSizes[] = {
        {8, 3, S_OK, nullptr},
        {6, 4, S_OK, nullptr},
        {9, 1, D3DXERR_INVALIDDATA, "width limit 8"},
        {1, 5, D3DXERR_INVALIDDATA, "height limit 4"},
        {7, 4, D3DXERR_INVALIDDATA, "pixel limit 24"},
    };
    for (const Size& s : kSizes) {
        SCOPED_TRACE(testing::Message() << s.width << " x " << s.height);
        Bytes tga = TgaHeader(s.width, s.height);
        tga.resize(tga.size() + std::size_t{s.width} * s.height * 4, 0x11);
        DebugLines lines;
        DecodedImage img;
        EXPECT_EQ(ReadWith(ReadTga, img, tga), s.expected);
        if (s.named != nullptr) {
            EXPECT_TRUE(lines.Contains(s.named)) << lines.All();
        }
    }
    // Depth counts towards the pixels of a volume.
    Bytes volume = DdsHeader(2, 2, 7);
    volume.resize(volume.size() + 2 * 2 * 7 * 4);
    DecodedImage img;
    EXPECT_EQ(ReadWith(ReadDds, img, volume), D3DXERR_INVALIDDATA);
    volume = DdsHeader(2, 2, 6);
    volume.resize(volume.size() + 2 * 2 * 6 * 4);
    DecodedImage fits;
    EXPECT_EQ(ReadWith(ReadDds, fits, volume), S_OK);
}

TEST(ResourceLimits, DefaultsHoldEveryTwoDimensionalImageOfUpTo2To28Pixels) {
    SetImageLimits(kDefaultImageLimits);
    EXPECT_EQ(CheckImageLimits("test", 16384, 16384), S_OK);
    EXPECT_EQ(CheckImageLimits("test", std::uint64_t{1} << 28, 1), S_OK);
    EXPECT_EQ(CheckImageLimits("test", 1, std::uint64_t{1} << 28), S_OK);
    EXPECT_EQ(CheckImageLimits("test", 16384, 16385), D3DXERR_INVALIDDATA);
    EXPECT_EQ(CheckImageLimits("test", 512, 512, 1025), D3DXERR_INVALIDDATA);
    // Products that would wrap 64 bits are still over.
    EXPECT_EQ(CheckImageLimits("test", std::uint64_t{1} << 33, std::uint64_t{1} << 33, std::uint64_t{1} << 33),
              D3DXERR_INVALIDDATA);
}

// Files whose coding lets a few bytes stand for a huge image, each declaring far more than 1024 pixels per byte, and
// files of the same kinds that real writers make, which must keep loading.
Bytes RunLengthBmp(std::uint32_t width, std::uint32_t height, const Bytes& data) {
    Bytes b = BmpHeader(width, height, 1, 8);
    b.insert(b.end(), data.begin(), data.end());
    Set32(b, 2, static_cast<std::uint32_t>(b.size()));
    return b;
}

Bytes RepeatRunHdr(std::uint32_t scanlines, std::uint32_t length) {
    Bytes b = Text("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y " + std::to_string(scanlines) + " +X " +
                   std::to_string(length) + "\n");
    for (std::uint32_t s = 0; s < scanlines; ++s) {
        // One pixel, then repeats of 255, 255 << 8 and the rest: four groups for up to 2^24 pixels.
        const std::uint32_t rest = length - 1;
        for (BYTE v : {BYTE{0x10}, BYTE{0x10}, BYTE{0x10}, BYTE{0x80}}) b.push_back(v);
        for (std::uint32_t shift = 0; shift < 24 && rest >> shift; shift += 8)
            for (BYTE v : {BYTE{1}, BYTE{1}, BYTE{1}, static_cast<BYTE>(rest >> shift)}) b.push_back(v);
    }
    return b;
}

// A blank 1-bit grey PNG of width x height: deflate's best ratio, about 8000 pixels per byte.
Bytes BlankOneBitPng(std::uint32_t width, std::uint32_t height) {
    Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes ihdr;
    for (std::uint32_t v : {width, height})
        for (int i = 3; i >= 0; --i) ihdr.push_back(static_cast<BYTE>(v >> (8 * i)));
    for (BYTE v : {1, 0, 0, 0, 0}) ihdr.push_back(v);
    PutChunk(b, "IHDR", ihdr);
    const Bytes raw(std::size_t{height} * ((width + 7) / 8 + 1), 0);
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    Bytes packed(packedSize);
    compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9);
    packed.resize(packedSize);
    PutChunk(b, "IDAT", packed);
    PutChunk(b, "IEND", {});
    return b;
}

TEST(ResourceLimits, PixelsPerByteLimitRefusesOnlyFilesThatLeanOnUnboundedEscapes) {
    SetImageLimits(kDefaultImageLimits);
    Bytes blankEol;  // an end-of-line for every row of a blank image, then the end of the bitmap
    for (int row = 0; row < 2047; ++row) blankEol.insert(blankEol.end(), {0, 0});
    blankEol.insert(blankEol.end(), {0, 1});
    struct Ratio {
        const char* name;
        ImageReaderFn read;
        Bytes file;
        bool refused;  // by the default ratio; with the ratio off, no file here is refused by a limit
    } const kFiles[] = {
        {"RLE8 16384^2 ending at once", ReadBmp, RunLengthBmp(16384, 16384, {255, 7, 0, 1}), true},
        {"RLE8 16384^2 moving past the last row", ReadBmp, RunLengthBmp(16384, 16384, {0, 2, 0, 255, 0, 2, 0, 255}),
         true},
        {"HDR 256 x 262144 of repeat runs", ReadHdr, RepeatRunHdr(256, 262144), true},
        {"arithmetic JPEG declaring 16000^2", ReadJpeg, JpegDeclaring(16000, 16000, true), true},
        {"HDR 256 x 32768 of repeat runs", ReadHdr, RepeatRunHdr(256, 32768), true},  // 128 MB as floats
        // Within the free allowance: any image of up to 16 M pixels, however it is coded.
        {"RLE8 4096^2 ending at once", ReadBmp, RunLengthBmp(4096, 4096, {0, 1}), false},
        {"RLE8 4096 x 2048 of end-of-lines", ReadBmp, RunLengthBmp(4096, 2048, blankEol), false},
        {"arithmetic JPEG declaring 4096^2", ReadJpeg, JpegDeclaring(4096, 4096, true), false},
        {"HDR 128 x 32768 of repeat runs", ReadHdr, RepeatRunHdr(128, 32768), false},  // 64 MB as floats
        // Formats whose coding has a floor of its own are not held to the ratio.
        {"blank 1-bit PNG 8192 x 1024", ReadPng, BlankOneBitPng(8192, 1024), false},
        {"Huffman JPEG declaring 2800^2", ReadJpeg, JpegDeclaring(2800, 2800), false},
    };
    for (const Ratio& f : kFiles) {
        SCOPED_TRACE(f.name);
        for (bool wantPixels : {false, true}) {
            DebugLines lines;
            DecodedImage img;
            const HRESULT hr = ReadWith(f.read, img, f.file, wantPixels);
            EXPECT_EQ(lines.Contains("exceeds the ratio limit 1024 pixels per byte"), f.refused) << lines.All();
            if (f.refused) {
                EXPECT_EQ(hr, D3DXERR_INVALIDDATA);
                EXPECT_EQ(img.pixels, nullptr);
            }
        }
        ImageLimits off = kDefaultImageLimits;
        off.maxRatio = 0;
        ScopedLimits noRatio(off);
        DebugLines lines;
        DecodedImage img;
        ReadWith(f.read, img, f.file, false);
        EXPECT_FALSE(lines.Contains("limit")) << lines.All();
    }
}

TEST(ResourceLimits, PixelsPerByteIsInclusiveAndSparesImagesOfUpTo16MPixelsAnd64MB) {
    constexpr std::uint64_t k16M = std::uint64_t{1} << 24, k4M = std::uint64_t{1} << 22;
    struct Row {
        std::uint64_t pixels, bytes, ratio, bytesPerPixel;
        HRESULT expected;
    } const kRows[] = {
        {k16M, 1, 1024, 1, S_OK},  // the free allowance, from one byte
        {k16M + 1, 1, 1024, 1, D3DXERR_INVALIDDATA},
        {k16M, 1, 1024, 4, S_OK},  // 64 MB decoded
        {k4M, 1, 1024, 16, S_OK},  // 64 MB of four floats
        {k4M + 1, 1, 1024, 16, D3DXERR_INVALIDDATA},
        {k16M + 1, 1, 2, 1, D3DXERR_INVALIDDATA},  // the allowance does not follow the ratio
        {1024 * 20000, 20000, 1024, 1, S_OK},      // past it, the ratio is inclusive
        {1024 * 20000 + 1, 20000, 1024, 1, D3DXERR_INVALIDDATA},
        {std::uint64_t{1} << 62, 1, 0, 1, S_OK},                     // 0: no limit
        {~std::uint64_t{0}, std::uint64_t{1} << 60, 1024, 1, S_OK},  // the product does not wrap
    };
    for (const Row& r : kRows) {
        SCOPED_TRACE(testing::Message() << r.pixels << " pixels in " << r.bytes << " bytes, ratio " << r.ratio << ", "
                                        << r.bytesPerPixel << " bytes per pixel");
        ImageLimits limits = kDefaultImageLimits;
        limits.maxRatio = r.ratio;
        ScopedLimits scoped(limits);
        DebugLines lines;
        EXPECT_EQ(CheckPixelsPerByte("test", r.pixels, r.bytes, r.bytesPerPixel), r.expected);
        EXPECT_EQ(lines.Contains("test: image of "), FAILED(r.expected)) << lines.All();
    }
}

TEST(ResourceLimits, SwitchSyntax) {
    struct Row {
        const char* text;
        bool ok;
        ImageLimits expected;
    } const kRows[] = {
        {"width=100", true, {100, 7, 9, 11}},
        {"pixels=1000000,height=50", true, {5, 50, 1000000, 11}},
        {"width=1,height=2,pixels=3,ratio=4", true, {1, 2, 3, 4}},
        {"ratio=0", true, {5, 7, 9, 0}},
        {"", false, {5, 7, 9, 11}},
        {"width=0", false, {5, 7, 9, 11}},
        {"width=-1", false, {5, 7, 9, 11}},
        {"ratio=-1", false, {5, 7, 9, 11}},
        {"width=10x", false, {5, 7, 9, 11}},
        {"depth=10", false, {5, 7, 9, 11}},
        {"width=10,", false, {5, 7, 9, 11}},
        {"width=10,bogus", false, {5, 7, 9, 11}},
        {"width=99999999999999999999999", false, {5, 7, 9, 11}},
    };
    for (const Row& r : kRows) {
        SCOPED_TRACE(r.text);
        ImageLimits limits = {5, 7, 9, 11};
        EXPECT_EQ(ParseImageLimits(r.text, limits), r.ok);
        EXPECT_EQ(limits.maxWidth, r.expected.maxWidth);
        EXPECT_EQ(limits.maxHeight, r.expected.maxHeight);
        EXPECT_EQ(limits.maxPixels, r.expected.maxPixels);
        EXPECT_EQ(limits.maxRatio, r.expected.maxRatio);
    }
}

// The switch is read at first use, so each case runs in a fresh process.
TEST(ResourceLimitsDeathTest, EnvironmentSwitchSetsTheLimitsAtFirstUse) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("TARN_IMAGE_LIMITS", "width=640,pixels=4096,ratio=0", 1);
            const ImageLimits l = CurrentImageLimits();
            std::exit(l.maxWidth == 640 && l.maxHeight == kDefaultImageLimits.maxHeight && l.maxPixels == 4096 &&
                              l.maxRatio == 0
                          ? 0
                          : 1);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            setenv("TARN_IMAGE_LIMITS", "width=lots", 1);
            const ImageLimits l = CurrentImageLimits();
            std::exit(l.maxWidth == kDefaultImageLimits.maxWidth && l.maxPixels == kDefaultImageLimits.maxPixels &&
                              l.maxRatio == kDefaultImageLimits.maxRatio
                          ? 0
                          : 1);
        },
        testing::ExitedWithCode(0), "");
}

}  // namespace
