#include "FormatTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "tests/app/Direct3DStubs.h"
#include "Formats.h"
#include "ImageReader.h"
#include "PixelCodec.h"
#include "TextureDeviceFixture.h"

using namespace tarn::texture;

namespace {

FormatDesc Wanted(D3DFORMAT like) {
    FormatDesc d = LookUpFormatDesc(like);
    d.format = static_cast<D3DFORMAT>(0);  // a description only, no code to match by name
    return d;
}

TEST(FormatTable, UnknownFormatsLookUpToTheDefaultRecord) {
    const FormatDesc& d = LookUpFormatDesc(D3DFMT_UNKNOWN);
    EXPECT_EQ(d.format, static_cast<D3DFORMAT>(0));
    EXPECT_EQ(d.bits, 32u);
    EXPECT_EQ(d.widths[1], 8);
    EXPECT_EQ(&LookUpFormatDesc(D3DFMT_MULTI2_ARGB8), &d);
    EXPECT_EQ(LookUpFormatDesc(D3DFMT_DXT1).format, D3DFMT_DXT1);
}

TEST(FormatTable, DistanceCostsAndIncompatiblePairs) {
    struct Case {
        D3DFORMAT wanted, candidate;
        DWORD cost;
    } cases[] = {
        {D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, 0},
        {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, 0x1000000},       // alpha missing
        {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, (3 + 2 + 3) << 16},  // precision lost
        {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, 256},             // unwanted alpha
        {D3DFMT_R5G6B5, D3DFMT_X8R8G8B8, 3 + 2 + 3},         // surplus precision
        {D3DFMT_L8, D3DFMT_X8R8G8B8, 0},                     // colour may stand in for luminance
        {D3DFMT_P8, D3DFMT_A8R8G8B8, 0},                     // and for palettised
        {D3DFMT_X8R8G8B8, D3DFMT_L8, kFormatsIncompatible},  // not the other way round
        {D3DFMT_V8U8, D3DFMT_X8R8G8B8, kFormatsIncompatible},
        {D3DFMT_D16, D3DFMT_L16, kFormatsIncompatible},
        {D3DFMT_A8, D3DFMT_X8R8G8B8, kFormatsIncompatible},  // every wanted channel missing
        {D3DFMT_V8U8, D3DFMT_Q8W8V8U8, 256 + 256},           // W and Q not asked for
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "wanted " << c.wanted << " candidate " << c.candidate);
        EXPECT_EQ(FormatDistance(LookUpFormatDesc(c.wanted), LookUpFormatDesc(c.candidate)), c.cost);
    }
}

TEST(FormatTable, DistanceOrdersMissingThenLostThenUnwantedThenSurplus) {
    const FormatDesc wanted = LookUpFormatDesc(D3DFMT_A4R4G4B4);
    const DWORD missing = FormatDistance(wanted, LookUpFormatDesc(D3DFMT_X8R8G8B8));  // alpha missing
    const DWORD lost = FormatDistance(wanted, LookUpFormatDesc(D3DFMT_A1R5G5B5));     // alpha 4 -> 1
    const DWORD surplus = FormatDistance(wanted, LookUpFormatDesc(D3DFMT_A8R8G8B8));
    EXPECT_GT(missing, lost);
    EXPECT_GT(lost, surplus);
    const FormatDesc rgb = LookUpFormatDesc(D3DFMT_R5G6B5);
    EXPECT_GT(FormatDistance(rgb, LookUpFormatDesc(D3DFMT_A8R8G8B8)),  // unwanted alpha beats ...
              FormatDistance(rgb, LookUpFormatDesc(D3DFMT_X8R8G8B8)));  // ... surplus alone
}

TEST(FormatTable, FindBestFormatWithoutDevice) {
    struct Case {
        const char* what;
        FormatDesc wanted;
        D3DFORMAT expected;
    } cases[] = {
        {"a named format is chosen itself over an earlier equal", LookUpFormatDesc(D3DFMT_X8B8G8R8), D3DFMT_X8B8G8R8},
        {"an ineligible format asked for by name", LookUpFormatDesc(D3DFMT_R8G8B8), D3DFMT_R8G8B8},
        {"equal costs: the first in table order", Wanted(D3DFMT_X8B8G8R8), D3DFMT_X8R8G8B8},
        {"equal costs: fewer bits wins over table order", Wanted(D3DFMT_L8), D3DFMT_L8},
        {"24-bit colour with one bit of alpha", [] {
             FormatDesc d = Wanted(D3DFMT_R8G8B8);
             d.widths[1] = 1;
             return d;
         }(), D3DFMT_A8R8G8B8},
        {"unknown format: 32-bit ARGB", LookUpFormatDesc(D3DFMT_UNKNOWN), D3DFMT_A8R8G8B8},
        {"signed two channels", Wanted(D3DFMT_V8U8), D3DFMT_V8U8},
        {"16-bit float red: the 16-bit integer red-green pair", Wanted(D3DFMT_R16F), D3DFMT_G16R16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(FindBestFormat(nullptr, 0, D3DRTYPE_TEXTURE, c.wanted), c.expected);
    }
}

// A device that supports every format and answers GetDeviceCaps with `caps`.
class CapsDevice : public tarn::test::StubDevice {
public:
    explicit CapsDevice(DWORD textureCaps) {
        caps.TextureCaps = textureCaps;
        caps.MaxTextureWidth = caps.MaxTextureHeight = caps.MaxVolumeExtent = 4096;
    }
    HRESULT GetDirect3D(IDirect3D9** out) override {
        *out = &d3d;
        return D3D_OK;
    }
    HRESULT GetDeviceCaps(D3DCAPS9* out) override {
        *out = caps;
        return D3D_OK;
    }
    HRESULT GetDisplayMode(UINT, D3DDISPLAYMODE* mode) override {
        *mode = {800, 600, 60, D3DFMT_X8R8G8B8};
        return D3D_OK;
    }

private:
    struct AnyFormat : tarn::test::StubDirect3D {
        HRESULT CheckDeviceFormat(UINT, D3DDEVTYPE, D3DFORMAT, DWORD, D3DRESOURCETYPE, D3DFORMAT) override {
            return D3D_OK;
        }
    } d3d;
    D3DCAPS9 caps = {};
};

// Block-compressed sizes are whole blocks before the device's power-of-two and full-chain rules look at them:
// on a device that allows other sizes only without mip maps, a 6 x 6 DXT request is an 8 x 8 texture and may
// have its full chain; 12 x 12 may not.
TEST(FormatTable, RequirementsRoundBlockSizesBeforeTheChainRules) {
    struct Case {
        D3DRESOURCETYPE type;
        DWORD caps;
        D3DFORMAT format;
        UINT size, expectedSize, expectedLevels;
    } cases[] = {
        {D3DRTYPE_TEXTURE, D3DPTEXTURECAPS_MIPMAP | D3DPTEXTURECAPS_NONPOW2CONDITIONAL, D3DFMT_DXT1, 6, 8, 4},
        {D3DRTYPE_TEXTURE, D3DPTEXTURECAPS_MIPMAP | D3DPTEXTURECAPS_NONPOW2CONDITIONAL, D3DFMT_DXT5, 3, 4, 3},
        {D3DRTYPE_TEXTURE, D3DPTEXTURECAPS_MIPMAP | D3DPTEXTURECAPS_NONPOW2CONDITIONAL, D3DFMT_DXT1, 10, 12, 1},
        {D3DRTYPE_TEXTURE, D3DPTEXTURECAPS_MIPMAP | D3DPTEXTURECAPS_NONPOW2CONDITIONAL, D3DFMT_A8R8G8B8, 6, 6, 1},
        {D3DRTYPE_CUBETEXTURE, D3DPTEXTURECAPS_MIPCUBEMAP | D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL,
         D3DFMT_DXT3, 7, 8, 4},
        {D3DRTYPE_TEXTURE, D3DPTEXTURECAPS_MIPMAP | D3DPTEXTURECAPS_POW2, D3DFMT_DXT1, 6, 8, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << ", format " << c.format << ", size " << c.size);
        CapsDevice device(c.caps);
        UINT w = c.size, h = c.size, d = 1, levels = D3DX_DEFAULT;
        D3DFORMAT format = c.format;
        ASSERT_EQ(CheckResourceRequirements(&device, &w, &h, &d, &levels, 0, &format, D3DPOOL_MANAGED, c.type), S_OK);
        EXPECT_EQ(format, c.format);
        EXPECT_EQ(w, c.expectedSize);
        EXPECT_EQ(h, c.expectedSize);
        EXPECT_EQ(levels, c.expectedLevels);
    }
}

// The library's table and the device layer's layouts describe the same formats: each side knows the other's
// formats (bar a few named below), and where both describe a format they agree on its family, its pixel size and
// what its pixels decode to.
TEST(FormatTable, AgreesWithTheDeviceLayouts) {
    using tarn::d3d9::FormatKind;
    // Formats that only one side has: the library's two wide working formats, and depth and stencil formats
    // the library never converts.
    const std::set<D3DFORMAT> libraryOnly = {D3DFMT_INTERNAL_AL16, D3DFMT_INTERNAL_R16};
    const std::set<D3DFORMAT> deviceOnly = {D3DFMT_D32_LOCKABLE, D3DFMT_S8_LOCKABLE};
    struct KindFamily {
        FormatKind kind;
        FormatFamily family;
    } kFamilies[] = {
        {FormatKind::Colour, FormatFamily::Colour},       {FormatKind::Compressed, FormatFamily::Colour},
        {FormatKind::Pair, FormatFamily::Colour},         {FormatKind::Palettised, FormatFamily::Palettised},
        {FormatKind::Luminance, FormatFamily::Luminance}, {FormatKind::Signed, FormatFamily::Signed},
        {FormatKind::Depth, FormatFamily::Depth},
    };

    std::set<D3DFORMAT> library;
    for (const FormatDesc* d = FormatTableBegin(); d != FormatTableEnd(); ++d) {
        SCOPED_TRACE(tarn::d3d9::FormatName(d->format));
        EXPECT_TRUE(library.insert(d->format).second) << "listed twice";
        const tarn::d3d9::FormatLayout* layout = tarn::d3d9::FindLayout(d->format);
        if (libraryOnly.count(d->format)) {
            EXPECT_EQ(layout, nullptr);
            continue;
        }
        ASSERT_NE(layout, nullptr) << "the device layer cannot store a format of the library";
        const KindFamily* match = std::find_if(std::begin(kFamilies), std::end(kFamilies),
                                               [&](const KindFamily& k) { return k.kind == layout->kind; });
        ASSERT_NE(match, std::end(kFamilies));
        EXPECT_EQ(d->family, match->family);
        // Block formats count the bits of the decoded block; every other format its stored pixel.
        const UINT pixels = layout->blockWidth * layout->blockHeight;
        EXPECT_EQ(d->bits, layout->kind == FormatKind::Compressed ? 16u : layout->bytesPerBlock * 8u / pixels);
        if (d->packed.bytes != 0) {
            EXPECT_EQ(d->packed.bytes * 8u, d->bits);
        }
    }
    for (const D3DFORMAT f : deviceOnly) EXPECT_EQ(library.count(f), 0u) << tarn::d3d9::FormatName(f);
    EXPECT_EQ(library.count(D3DFMT_UNKNOWN), 0u);

    // Every format the device layer stores as pixels (not buffers) is in the library's table or named above.
    int deviceFormats = 0;
    for (DWORD code = 1; code < 256; ++code) {
        const tarn::d3d9::FormatLayout* layout = tarn::d3d9::FindLayout(static_cast<D3DFORMAT>(code));
        if (layout == nullptr || layout->kind == FormatKind::Buffer) continue;
        ++deviceFormats;
        EXPECT_TRUE(library.count(layout->format) || deviceOnly.count(layout->format)) << layout->name;
    }
    for (const D3DFORMAT fourCc : {D3DFMT_UYVY, D3DFMT_YUY2, D3DFMT_R8G8_B8G8, D3DFMT_G8R8_G8B8, D3DFMT_DXT1,
                                   D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5}) {
        ASSERT_NE(tarn::d3d9::FindLayout(fourCc), nullptr);
        ++deviceFormats;
    }
    EXPECT_EQ(deviceFormats + libraryOnly.size(), library.size() + deviceOnly.size());
}

// Where both sides can decode a packed format, they read the same bytes as the same values: every channel of
// the library's packed layout sits where the device layer reads it.
TEST(FormatTable, PackedLayoutsDecodeAsTheDeviceLayerDoes) {
    for (const FormatDesc* d = FormatTableBegin(); d != FormatTableEnd(); ++d) {
        if (d->packed.bytes == 0 || !tarn::d3d9::CanDecode(d->format)) continue;
        SCOPED_TRACE(tarn::d3d9::FormatName(d->format));
        // Every bit pattern of a byte in every byte position, so that each channel takes small, large and
        // sign-bit values.
        constexpr UINT kWidth = 256;
        std::vector<BYTE> bytes(kWidth * d->packed.bytes);
        for (UINT x = 0; x < kWidth; ++x) {
            for (UINT b = 0; b < d->packed.bytes; ++b)
                bytes[x * d->packed.bytes + b] = static_cast<BYTE>(x * (b + 1) + 37 * b);
        }
        std::vector<float> device(4 * kWidth);
        tarn::d3d9::DecodeRow(d->format, bytes.data(), kWidth, device.data());

        ImageDesc desc;
        desc.memory = bytes.data();
        desc.format = d->format;
        desc.rowPitch = desc.slicePitch = kWidth * d->packed.bytes;
        desc.box = {0, 0, kWidth, 1, 0, 1};
        std::unique_ptr<PixelCodec> codec = CreatePixelCodec(desc);
        ASSERT_TRUE(codec);
        std::vector<Float4> library(kWidth);
        codec->DecodeRow(0, 0, library.data());
        // The library carries the unsigned L of the mixed signed formats (L6V5U5, X8L8V8U8) in its alpha slot,
        // which conversions keep apart from colour; the device layer samples it as blue.
        const bool mixedLuminance = d->packed.channel[2].kind == ChannelKind::Absent &&
                                    d->packed.channel[3].kind == ChannelKind::Unsigned &&
                                    d->packed.category == CodecCategory::Signed3;
        const int deviceChannel[4] = {0, 1, mixedLuminance ? 3 : 2, mixedLuminance ? 2 : 3};
        bool agree = true;
        for (UINT x = 0; x < kWidth && agree; ++x) {
            const float* got = &library[x].r;
            for (int c = 0; c < 4 && agree; ++c) {
                const float want = device[4 * x + deviceChannel[c]];
                agree = std::fabs(got[c] - want) <= 1e-6f;
                EXPECT_TRUE(agree) << "pixel " << x << " channel " << c << ": " << got[c] << " against " << want;
            }
        }
    }
}

TEST(FormatTable, BlockAndPackedPairFormatsFollowTheirCodecs) {
    struct Case {
        D3DFORMAT format;
        bool block, pair;
    } cases[] = {
        {D3DFMT_DXT1, true, false},
        {D3DFMT_DXT2, true, false},
        {D3DFMT_DXT3, true, false},
        {D3DFMT_DXT4, true, false},
        {D3DFMT_DXT5, true, false},
        {D3DFMT_UYVY, false, true},
        {D3DFMT_YUY2, false, true},
        {D3DFMT_R8G8_B8G8, false, true},
        {D3DFMT_G8R8_G8B8, false, true},
        {D3DFMT_A8R8G8B8, false, false},
        {D3DFMT_P8, false, false},
        {D3DFMT_R32F, false, false},
        {D3DFMT_D24S8, false, false},
        {D3DFMT_UNKNOWN, false, false},
        {static_cast<D3DFORMAT>(0x31545844u + 1), false, false},  // one past "DXT1": no such format
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(tarn::d3d9::FormatName(c.format));
        EXPECT_EQ(IsBlockFormat(c.format), c.block);
        EXPECT_EQ(IsPackedPairFormat(c.format), c.pair);
    }
}

TEST(FormatTable, BitLength) {
    EXPECT_EQ(BitLength(0), 0u);
    EXPECT_EQ(BitLength(1), 1u);
    EXPECT_EQ(BitLength(128), 8u);
    EXPECT_EQ(BitLength(256), 9u);
    EXPECT_EQ(BitLength(800), 10u);
    EXPECT_EQ(BitLength(0xFFFFFFFFu), 32u);
}

}  // namespace

// D3DXCheck...Requirements and D3DXCreate...Texture on the null device, under the capability profiles that the
// cases need.
namespace {

using texture_test::CubeVolumeTexture;
using texture_test::TextureDevice;

TEST_F(TextureDevice, CheckTextureRequirements) {
    EXPECT_EQ(D3DXCheckTextureRequirements(device, nullptr, nullptr, nullptr, 0, nullptr, D3DPOOL_MANAGED), S_OK);
    UINT w = D3DX_DEFAULT, h = D3DX_DEFAULT, levels = D3DX_DEFAULT;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    ASSERT_EQ(D3DXCheckTextureRequirements(device, &w, &h, &levels, 0, &format, D3DPOOL_MANAGED), S_OK);
    EXPECT_EQ(w, 256u);
    EXPECT_EQ(h, 256u);
    EXPECT_EQ(levels, 9u);
    EXPECT_EQ(format, D3DFMT_A8R8G8B8);

    w = h = 1;
    levels = 1;
    format = D3DFMT_DXT1;
    ASSERT_EQ(D3DXCheckTextureRequirements(device, &w, &h, &levels, 0, &format, D3DPOOL_MANAGED), S_OK);
    EXPECT_EQ(format, D3DFMT_DXT1);
    EXPECT_EQ(w, 4u);
    EXPECT_EQ(h, 4u);

    w = 5;
    h = D3DX_DEFAULT;  // only one given: the other copies it
    ASSERT_EQ(D3DXCheckTextureRequirements(device, &w, &h, nullptr, 0, nullptr, D3DPOOL_SCRATCH), S_OK);
    EXPECT_EQ(h, 5u);

    EXPECT_EQ(D3DXCheckTextureRequirements(nullptr, nullptr, nullptr, nullptr, 0, nullptr, D3DPOOL_MANAGED),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCheckTextureRequirements(device, nullptr, nullptr, nullptr, 0x4, nullptr, D3DPOOL_MANAGED),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCheckTextureRequirements(device, nullptr, nullptr, nullptr, 0, nullptr, static_cast<D3DPOOL>(4)),
              D3DERR_INVALIDCALL);

    UseProfile("rgb-only");
    format = D3DFMT_V8U8;
    EXPECT_EQ(D3DXCheckTextureRequirements(device, nullptr, nullptr, nullptr, 0, &format, D3DPOOL_MANAGED),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(format, D3DFMT_V8U8);  // nothing written on failure
}

TEST_F(TextureDevice, RenderTargetSizesFollowThePowerOfTwoCaps) {
    struct Case {
        const char* profile;
        UINT width, height;
    } cases[] = {{"pow2-conditional", 800, 600}, {"pow2", 1024, 1024}, {"default", 800, 600}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.profile);
        UseProfile(c.profile);
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(
            D3DXCreateTexture(device, 800, 600, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &texture),
            S_OK);
        D3DSURFACE_DESC desc;
        texture->GetLevelDesc(0, &desc);
        EXPECT_EQ(desc.Width, c.width);
        EXPECT_EQ(desc.Height, c.height);
        EXPECT_EQ(texture->GetLevelCount(), 1u);
        texture->Release();
    }
    EXPECT_EQ(D3DXCreateTexture(device, 8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, nullptr), D3DERR_INVALIDCALL);
}

TEST_F(CubeVolumeTexture, RequirementsFollowTheProfile) {
    struct Case {
        const char* profile;
        bool volume;
        UINT width, height, depth, levels;
        D3DFORMAT format;
        HRESULT result;
        UINT outWidth, outHeight, outDepth, outLevels;
        D3DFORMAT outFormat;
    } cases[] = {
        {"default", false, 100, 100, 1, D3DX_DEFAULT, D3DFMT_A8R8G8B8, S_OK, 100, 100, 1, 7, D3DFMT_A8R8G8B8},
        {"pow2", false, 100, 100, 1, D3DX_DEFAULT, D3DFMT_A8R8G8B8, S_OK, 128, 128, 1, 8, D3DFMT_A8R8G8B8},
        {"pow2-conditional", false, 100, 100, 1, 1, D3DFMT_A8R8G8B8, S_OK, 100, 100, 1, 1, D3DFMT_A8R8G8B8},
        {"pow2-conditional", false, 100, 100, 1, D3DX_DEFAULT, D3DFMT_A8R8G8B8, S_OK, 128, 128, 1, 8, D3DFMT_A8R8G8B8},
        {"default", false, 1, 1, 1, 1, D3DFMT_DXT1, S_OK, 4, 4, 1, 1, D3DFMT_DXT1},
        {"max256", false, 1000, 1000, 1, 1, D3DFMT_A8R8G8B8, S_OK, 256, 256, 1, 1, D3DFMT_A8R8G8B8},
        {"no-volume", false, 64, 64, 1, D3DX_DEFAULT, D3DFMT_A8R8G8B8, S_OK, 64, 64, 1, 7, D3DFMT_A8R8G8B8},
        {"default", true, 100, 60, 30, D3DX_DEFAULT, D3DFMT_A8R8G8B8, S_OK, 100, 60, 30, 7, D3DFMT_A8R8G8B8},
        {"pow2", true, 100, 60, 30, D3DX_DEFAULT, D3DFMT_A8R8G8B8, S_OK, 128, 64, 32, 8, D3DFMT_A8R8G8B8},
        {"pow2", true, 16, 16, 3, D3DX_DEFAULT, D3DFMT_A8R8G8B8, S_OK, 16, 16, 4, 5, D3DFMT_A8R8G8B8},
        {"pow2-conditional", true, 100, 60, 30, 1, D3DFMT_A8R8G8B8, S_OK, 100, 60, 30, 1, D3DFMT_A8R8G8B8},
        // Each extent is limited to MaxVolumeExtent on its own; a depth of 0 counts as 1.
        {"max256", true, 1000, 10, 300, 1, D3DFMT_A8R8G8B8, S_OK, 256, 10, 256, 1, D3DFMT_A8R8G8B8},
        {"default", true, 8, 8, 0, D3DX_DEFAULT, D3DFMT_A8R8G8B8, S_OK, 8, 8, 1, 4, D3DFMT_A8R8G8B8},
        // Volumes of block formats are not offered for sampling: the closest plain format stands in.
        {"default", true, 8, 8, 8, 1, D3DFMT_DXT1, S_OK, 8, 8, 8, 1, D3DFMT_A8R8G8B8},
        {"no-volume", true, 8, 8, 8, 1, D3DFMT_A8R8G8B8, D3DERR_NOTAVAILABLE, 8, 8, 8, 1, D3DFMT_A8R8G8B8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.profile << (c.volume ? " volume " : " cube ") << c.width << " x "
                                        << c.height << " x " << c.depth);
        UseProfile(c.profile);
        UINT w = c.width, h = c.height, d = c.depth, levels = c.levels;
        D3DFORMAT format = c.format;
        const HRESULT hr =
            c.volume ? D3DXCheckVolumeTextureRequirements(device, &w, &h, &d, &levels, 0, &format, D3DPOOL_MANAGED)
                     : D3DXCheckCubeTextureRequirements(device, &w, &levels, 0, &format, D3DPOOL_MANAGED);
        ASSERT_EQ(hr, c.result);
        EXPECT_EQ(w, c.outWidth);
        if (c.volume) {
            EXPECT_EQ(h, c.outHeight);
            EXPECT_EQ(d, c.outDepth);
        }
        EXPECT_EQ(levels, c.outLevels);
        EXPECT_EQ(format, c.outFormat);
    }
}

TEST_F(CubeVolumeTexture, RequirementsWithNothingGiven) {
    EXPECT_EQ(D3DXCheckCubeTextureRequirements(device, nullptr, nullptr, 0, nullptr, D3DPOOL_MANAGED), S_OK);
    EXPECT_EQ(
        D3DXCheckVolumeTextureRequirements(device, nullptr, nullptr, nullptr, nullptr, 0, nullptr, D3DPOOL_MANAGED),
        S_OK);
    UINT size = D3DX_DEFAULT, levels = D3DX_DEFAULT;
    ASSERT_EQ(D3DXCheckCubeTextureRequirements(device, &size, &levels, 0, nullptr, D3DPOOL_MANAGED), S_OK);
    EXPECT_EQ(size, 256u);
    EXPECT_EQ(levels, 9u);
    EXPECT_EQ(D3DXCheckCubeTextureRequirements(nullptr, nullptr, nullptr, 0, nullptr, D3DPOOL_MANAGED),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(
        D3DXCheckVolumeTextureRequirements(device, nullptr, nullptr, nullptr, nullptr, 0x4, nullptr, D3DPOOL_MANAGED),
        D3DERR_INVALIDCALL);
}

TEST_F(CubeVolumeTexture, CreateFitsTheRequestToTheDevice) {
    UseProfile("pow2");
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(D3DXCreateCubeTexture(device, 100, D3DX_DEFAULT, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &cube), S_OK);
    D3DSURFACE_DESC face = {};
    cube->GetLevelDesc(0, &face);
    EXPECT_EQ(face.Width, 128u);
    EXPECT_EQ(face.Height, 128u);
    EXPECT_EQ(cube->GetLevelCount(), 8u);
    cube->Release();

    IDirect3DVolumeTexture9* volume = nullptr;
    ASSERT_EQ(
        D3DXCreateVolumeTexture(device, 100, 60, 30, 2, D3DX_DEFAULT, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &volume),
        S_OK);
    D3DVOLUME_DESC desc = {};
    volume->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 128u);
    EXPECT_EQ(desc.Height, 64u);
    EXPECT_EQ(desc.Depth, 32u);
    EXPECT_EQ(desc.Pool, D3DPOOL_SYSTEMMEM);
    EXPECT_EQ(volume->GetLevelCount(), 2u);
    volume->Release();

    EXPECT_EQ(D3DXCreateCubeTexture(device, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, nullptr), D3DERR_INVALIDCALL);
    UseProfile("no-volume");
    EXPECT_EQ(D3DXCreateVolumeTexture(device, 8, 8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &volume),
              D3DERR_NOTAVAILABLE);
}

}  // namespace
