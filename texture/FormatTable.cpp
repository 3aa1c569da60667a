// The format table and the fitting of texture requests to a device.
#include "FormatTable.h"

#include <algorithm>
#include <array>
#include <iterator>

#include "platform/Bits.h"
#include "BlockCodec.h"
#include "ImageReader.h"
#include "PackedPairCodec.h"
#include "PixelCodec.h"
#include "PlainCodecs.h"

namespace tarn::texture {

namespace {

constexpr D3DFORMAT Code(DWORD value) { return static_cast<D3DFORMAT>(value); }
constexpr D3DFORMAT FourCc(char a, char b, char c, char d) {
    return static_cast<D3DFORMAT>(static_cast<DWORD>(static_cast<BYTE>(a)) |
                                  (static_cast<DWORD>(static_cast<BYTE>(b)) << 8) |
                                  (static_cast<DWORD>(static_cast<BYTE>(c)) << 16) |
                                  (static_cast<DWORD>(static_cast<BYTE>(d)) << 24));
}

constexpr FormatFamily C = FormatFamily::Colour;
constexpr FormatFamily P = FormatFamily::Palettised;
constexpr FormatFamily L = FormatFamily::Luminance;
constexpr FormatFamily S = FormatFamily::Signed;
constexpr FormatFamily D = FormatFamily::Depth;

// Codec factories, and the parts of a packed layout: unsigned, signed and encode-only channels at (shift, bits),
// absent channels, the category of the four floats and the values absent channels decode to.
constexpr CodecFactory Packed = CreatePackedCodec;
constexpr CodecFactory Palette = CreatePaletteCodec;
constexpr CodecFactory Float = CreateFloatCodec;
constexpr CodecFactory Block = CreateBlockCodec;
constexpr CodecFactory Pair = CreatePackedPairCodec;
constexpr PackedChannel u(BYTE shift, BYTE bits) { return {shift, bits, ChannelKind::Unsigned}; }
constexpr PackedChannel s(BYTE shift, BYTE bits) { return {shift, bits, ChannelKind::Signed}; }
constexpr PackedChannel x(BYTE shift, BYTE bits) { return {shift, bits, ChannelKind::EncodeOnly}; }
constexpr PackedChannel __ = {0, 0, ChannelKind::Absent};
constexpr CodecCategory kU = CodecCategory::Unsigned;
constexpr CodecCategory kS3 = CodecCategory::Signed3;
constexpr CodecCategory kS4 = CodecCategory::Signed4;
constexpr std::array<float, 4> k0001 = {0, 0, 0, 1};
constexpr std::array<float, 4> k0011 = {0, 0, 1, 1};
constexpr std::array<float, 4> k0000 = {0, 0, 0, 0};

// Search order matters: among substitutes of equal cost the first found with the fewest bits wins.
// clang-format off
const FormatDesc kFormats[] = {
    //                                +---------------------------------------------- family
    //                                |   +------------------------------------------ bits per pixel
    //                                |   |    +------------------------------------- widths: extra, alpha/Q, R/L/W,
    //                                |   |    |                                      G/L/V/S, B/L/U/D
    //                                |   |    |                    +---------------- eligible as a substitute
    //                                |   |    |                    |      +--------- codec factory
    //                                |   |    |                    |      |         +- packed layout: category, bytes
    //                                |   |    |                    |      |         |  per pixel, red/L/U, green/V,
    //                                |   |    |                    |      |         |  blue/W, alpha/Q/L, fill values
    //                                |   |    |                    |      |         |  for absent channels, luminance
    {D3DFMT_R8G8B8,               C,  24, {0, 0, 8, 8, 8},     false, Packed,  {kU,  3, {u(16, 8),  u(8, 8),   u(0, 8),   __       }, k0001, false}},
    {D3DFMT_A8R8G8B8,             C,  32, {0, 8, 8, 8, 8},     true,  Packed,  {kU,  4, {u(16, 8),  u(8, 8),   u(0, 8),   u(24, 8) }, k0001, false}},
    {D3DFMT_X8R8G8B8,             C,  32, {0, 0, 8, 8, 8},     true,  Packed,  {kU,  4, {u(16, 8),  u(8, 8),   u(0, 8),   x(24, 8) }, k0001, false}},
    {D3DFMT_R5G6B5,               C,  16, {0, 0, 5, 6, 5},     true,  Packed,  {kU,  2, {u(11, 5),  u(5, 6),   u(0, 5),   __       }, k0001, false}},
    {D3DFMT_X1R5G5B5,             C,  16, {0, 0, 5, 5, 5},     true,  Packed,  {kU,  2, {u(10, 5),  u(5, 5),   u(0, 5),   x(15, 1) }, k0001, false}},
    {D3DFMT_A8P8,                 P,  16, {0, 8, 8, 8, 8},     true,  Palette, {}},
    {D3DFMT_P8,                   P,   8, {0, 8, 8, 8, 8},     true,  Palette, {}},
    {D3DFMT_A1R5G5B5,             C,  16, {0, 1, 5, 5, 5},     true,  Packed,  {kU,  2, {u(10, 5),  u(5, 5),   u(0, 5),   u(15, 1) }, k0001, false}},
    {D3DFMT_A4R4G4B4,             C,  16, {0, 4, 4, 4, 4},     true,  Packed,  {kU,  2, {u(8, 4),   u(4, 4),   u(0, 4),   u(12, 4) }, k0001, false}},
    {D3DFMT_R3G3B2,               C,   8, {0, 0, 3, 3, 2},     true,  Packed,  {kU,  1, {u(5, 3),   u(2, 3),   u(0, 2),   __       }, k0001, false}},
    {D3DFMT_A8,                   C,   8, {0, 8, 0, 0, 0},     true,  Packed,  {kU,  1, {__,        __,        __,        u(0, 8)  }, k0001, false}},
    {D3DFMT_A8R3G3B2,             C,  16, {0, 8, 3, 3, 2},     true,  Packed,  {kU,  2, {u(5, 3),   u(2, 3),   u(0, 2),   u(8, 8)  }, k0001, false}},
    {D3DFMT_X4R4G4B4,             C,  16, {0, 0, 4, 4, 4},     true,  Packed,  {kU,  2, {u(8, 4),   u(4, 4),   u(0, 4),   x(12, 4) }, k0001, false}},
    {D3DFMT_A2B10G10R10,          C,  32, {0, 2, 10, 10, 10},  true,  Packed,  {kU,  4, {u(0, 10),  u(10, 10), u(20, 10), u(30, 2) }, k0001, false}},
    {D3DFMT_A8B8G8R8,             C,  32, {0, 8, 8, 8, 8},     true,  Packed,  {kU,  4, {u(0, 8),   u(8, 8),   u(16, 8),  u(24, 8) }, k0001, false}},
    {D3DFMT_X8B8G8R8,             C,  32, {0, 0, 8, 8, 8},     true,  Packed,  {kU,  4, {u(0, 8),   u(8, 8),   u(16, 8),  x(24, 8) }, k0001, false}},
    {D3DFMT_G16R16,               C,  32, {0, 0, 16, 16, 0},   true,  Packed,  {kU,  4, {u(0, 16),  u(16, 16), __,        __       }, k0011, false}},
    {D3DFMT_A2R10G10B10,          C,  32, {0, 2, 10, 10, 10},  true,  Packed,  {kU,  4, {u(20, 10), u(10, 10), u(0, 10),  u(30, 2) }, k0001, false}},
    {D3DFMT_A16B16G16R16,         C,  64, {0, 16, 16, 16, 16}, true,  Packed,  {kU,  8, {u(0, 16),  u(16, 16), u(32, 16), u(48, 16)}, k0001, false}},
    {D3DFMT_L8,                   L,   8, {0, 0, 8, 8, 8},     true,  Packed,  {kU,  1, {u(0, 8),   __,        __,        __       }, k0001, true}},
    {D3DFMT_A8L8,                 L,  16, {0, 8, 8, 8, 8},     true,  Packed,  {kU,  2, {u(0, 8),   __,        __,        u(8, 8)  }, k0001, true}},
    {D3DFMT_A4L4,                 L,   8, {0, 4, 4, 4, 4},     true,  Packed,  {kU,  1, {u(0, 4),   __,        __,        u(4, 4)  }, k0001, true}},
    {D3DFMT_L16,                  L,  16, {0, 0, 16, 16, 16},  true,  Packed,  {kU,  2, {u(0, 16),  __,        __,        __       }, k0001, true}},
    {D3DFMT_V8U8,                 S,  16, {0, 0, 0, 8, 8},     true,  Packed,  {kS3, 2, {s(0, 8),   s(8, 8),   __,        __       }, k0011, false}},
    {D3DFMT_L6V5U5,               S,  16, {6, 0, 0, 5, 5},     true,  Packed,  {kS3, 2, {s(0, 5),   s(5, 5),   __,        u(10, 6) }, k0011, false}},
    {D3DFMT_X8L8V8U8,             S,  32, {8, 0, 0, 8, 8},     true,  Packed,  {kS3, 4, {s(0, 8),   s(8, 8),   __,        u(16, 8) }, k0011, false}},
    {D3DFMT_Q8W8V8U8,             S,  32, {0, 8, 8, 8, 8},     true,  Packed,  {kS4, 4, {s(0, 8),   s(8, 8),   s(16, 8),  s(24, 8) }, k0000, false}},
    {D3DFMT_V16U16,               S,  32, {0, 0, 0, 16, 16},   true,  Packed,  {kS3, 4, {s(0, 16),  s(16, 16), __,        __       }, k0011, false}},
    {D3DFMT_A2W10V10U10,          S,  32, {2, 0, 10, 10, 10},  true,  Packed,  {kS3, 4, {s(0, 10),  s(10, 10), s(20, 10), u(30, 2) }, k0001, false}},
    {D3DFMT_Q16W16V16U16,         S,  64, {0, 16, 16, 16, 16}, true,  Packed,  {kS4, 8, {s(0, 16),  s(16, 16), s(32, 16), s(48, 16)}, k0000, false}},
    {D3DFMT_CxV8U8,               S,  16, {8, 0, 0, 8, 8},     false, Packed,  {kS3, 2, {s(0, 8),   s(8, 8),   __,        __       }, k0011, false}},
    {FourCc('U', 'Y', 'V', 'Y'),  C,  16, {0, 0, 8, 8, 8},     false, Pair,    {}},
    {FourCc('R', 'G', 'B', 'G'),  C,  16, {0, 0, 8, 8, 8},     false, Pair,    {}},
    {FourCc('Y', 'U', 'Y', '2'),  C,  16, {0, 0, 8, 8, 8},     false, Pair,    {}},
    {FourCc('G', 'R', 'G', 'B'),  C,  16, {0, 0, 8, 8, 8},     false, Pair,    {}},
    {FourCc('D', 'X', 'T', '1'),  C,  16, {0, 1, 5, 6, 5},     false, Block,   {}},
    {FourCc('D', 'X', 'T', '2'),  C,  16, {0, 4, 5, 6, 5},     false, Block,   {}},
    {FourCc('D', 'X', 'T', '3'),  C,  16, {0, 4, 5, 6, 5},     false, Block,   {}},
    {FourCc('D', 'X', 'T', '4'),  C,  16, {0, 8, 5, 6, 5},     false, Block,   {}},
    {FourCc('D', 'X', 'T', '5'),  C,  16, {0, 8, 5, 6, 5},     false, Block,   {}},
    {D3DFMT_D16_LOCKABLE,         D,  16, {1, 0, 0, 0, 16},    true,  Packed,  {kU,  2, {u(0, 16),  __,        __,        __       }, k0001, true}},
    {D3DFMT_D32F_LOCKABLE,        D,  32, {1, 0, 0, 0, 32},    false, Float,   {}},
    {D3DFMT_D32,                  D,  32, {0, 0, 0, 0, 32},    true,  nullptr, {}},
    {D3DFMT_D15S1,                D,  16, {0, 0, 0, 1, 15},    true,  nullptr, {}},
    {D3DFMT_D24S8,                D,  32, {0, 0, 0, 8, 24},    true,  nullptr, {}},
    {D3DFMT_D16,                  D,  16, {0, 0, 0, 0, 16},    true,  nullptr, {}},
    {D3DFMT_D24X8,                D,  32, {0, 0, 0, 0, 24},    true,  nullptr, {}},
    {D3DFMT_D24X4S4,              D,  32, {0, 0, 0, 4, 24},    true,  nullptr, {}},
    {D3DFMT_D24FS8,               D,  32, {0, 0, 0, 8, 24},    false, nullptr, {}},
    {D3DFMT_R16F,                 C,  16, {0, 0, 16, 0, 0},    false, Float,   {}},
    {D3DFMT_G16R16F,              C,  32, {0, 0, 16, 16, 0},   false, Float,   {}},
    {D3DFMT_A16B16G16R16F,        C,  64, {0, 16, 16, 16, 16}, false, Float,   {}},
    {D3DFMT_R32F,                 C,  32, {0, 0, 32, 0, 0},    false, Float,   {}},
    {D3DFMT_G32R32F,              C,  64, {0, 0, 32, 32, 0},   false, Float,   {}},
    {D3DFMT_A32B32G32R32F,        C, 128, {0, 32, 32, 32, 32}, false, Float,   {}},
    {D3DFMT_INTERNAL_AL16,        L,  32, {0, 16, 16, 16, 16}, false, Packed,  {kU,  4, {u(0, 16),  __,        __,        u(16, 16)}, k0001, true}},
    {D3DFMT_INTERNAL_R16,         C,  48, {0, 0, 16, 16, 16},  false, Packed,  {kU,  6, {u(32, 16), u(16, 16), u(0, 16),  __       }, k0001, false}},
};
// clang-format on
static_assert(FourCc('D', 'X', 'T', '1') == D3DFMT_DXT1 && FourCc('Y', 'U', 'Y', '2') == D3DFMT_YUY2,
              "four-character codes are stored first character lowest");

const FormatDesc kDefaultDesc = {Code(0), C, 32, {0, 8, 8, 8, 8}, false, nullptr, {}};

// kCompatible[wanted][candidate]: may a candidate of that family stand in for the wanted family?
constexpr bool kCompatible[5][5] = {
    //  colour palettised luminance signed depth     <- candidate
    {true, false, false, false, false},  // colour
    {true, true, false, false, false},   // palettised
    {true, false, true, false, false},   // luminance
    {false, false, false, true, false},  // signed
    {false, false, false, false, true},  // depth
};

constexpr DWORD kRejectedUsage = 0xFFE039ECu;
constexpr DWORD kQueryUsageMask = 0x1F8000u;

// Block-compressed textures hold whole 4 x 4 blocks: width and height rise to multiples of 4.
void RoundUpToWholeBlocks(D3DFORMAT format, UINT& w, UINT& h) {
    if (!IsBlockFormat(format)) return;
    w = w > 0xFFFFFFFCu ? w : (w + 3) & ~3u;
    h = h > 0xFFFFFFFCu ? h : (h + 3) & ~3u;
}

}  // namespace

const FormatDesc& LookUpFormatDesc(D3DFORMAT format) {
    for (const FormatDesc& desc : kFormats) {
        if (desc.format == format) return desc;
    }
    return kDefaultDesc;
}

const FormatDesc* FormatTableBegin() { return std::begin(kFormats); }
const FormatDesc* FormatTableEnd() { return std::end(kFormats); }

// The row's codec says which shape a format's pixels have; unknown formats have none.
bool IsBlockFormat(D3DFORMAT format) { return LookUpFormatDesc(format).codec == CreateBlockCodec; }
bool IsPackedPairFormat(D3DFORMAT format) { return LookUpFormatDesc(format).codec == CreatePackedPairCodec; }

UINT BitLength(UINT n) {
    UINT bits = 0;
    while (n != 0) {
        ++bits;
        n >>= 1;
    }
    return bits;
}

DWORD FormatDistance(const FormatDesc& wanted, const FormatDesc& candidate) {
    if (!kCompatible[static_cast<int>(wanted.family)][static_cast<int>(candidate.family)]) return kFormatsIncompatible;
    DWORD cost = 0;
    DWORD wantedChannels = 0;
    for (int slot = 0; slot < 5; ++slot) {
        const DWORD w = wanted.widths[slot];
        const DWORD c = candidate.widths[slot];
        if (w > 0) ++wantedChannels;
        if (w < c) {
            cost += (w == 0) ? 256u : (c - w);
        } else if (w > c) {
            cost += (c == 0) ? 0x1000000u : ((w - c) << 16);
        }
    }
    if ((cost >> 24) == wantedChannels) return kFormatsIncompatible;
    return cost;
}

D3DFORMAT FindBestFormat(IDirect3DDevice9* device, DWORD usage, D3DRESOURCETYPE type, const FormatDesc& wanted) {
    IDirect3D9* d3d = nullptr;
    D3DCAPS9 caps = {};
    D3DDISPLAYMODE mode = {};
    if (device != nullptr) {
        if (FAILED(device->GetDirect3D(&d3d)) || d3d == nullptr) return Code(0);
        if (FAILED(device->GetDeviceCaps(&caps)) || FAILED(device->GetDisplayMode(0, &mode))) {
            d3d->Release();
            return Code(0);
        }
        if (usage & D3DUSAGE_QUERY_VERTEXTEXTURE) {
            D3DDEVICE_CREATION_PARAMETERS params = {};
            if (SUCCEEDED(device->GetCreationParameters(&params)) &&
                (params.BehaviorFlags & D3DCREATE_SOFTWARE_VERTEXPROCESSING)) {
                usage |= D3DUSAGE_SOFTWAREPROCESSING;
            }
        }
    }

    D3DFORMAT chosen = Code(0);
    DWORD bestCost = kFormatsIncompatible;
    UINT bestBits = 0;
    for (const FormatDesc& entry : kFormats) {
        if (entry.format == Code(0)) continue;
        if (d3d != nullptr && FAILED(d3d->CheckDeviceFormat(caps.AdapterOrdinal, caps.DeviceType, mode.Format,
                                                            usage, type, entry.format))) {
            continue;
        }
        if (entry.format == wanted.format) {
            chosen = entry.format;
            bestCost = 0;
            break;
        }
        if (!entry.eligible) continue;
        const DWORD cost = FormatDistance(wanted, entry);
        if (cost == kFormatsIncompatible) continue;
        if (chosen == Code(0) || cost < bestCost || (cost == bestCost && entry.bits < bestBits)) {
            chosen = entry.format;
            bestCost = cost;
            bestBits = entry.bits;
        }
    }
    if (d3d != nullptr) d3d->Release();
    return chosen;
}

HRESULT CheckResourceRequirements(IDirect3DDevice9* device, UINT* width, UINT* height, UINT* depth,
                                  UINT* mipLevels, DWORD usage, D3DFORMAT* format, D3DPOOL pool,
                                  D3DRESOURCETYPE type) {
    if (device == nullptr) return D3DERR_INVALIDCALL;
    if (usage == D3DX_DEFAULT) usage = 0;
    if ((usage & kRejectedUsage) != 0) return D3DERR_INVALIDCALL;
    if (pool != D3DPOOL_DEFAULT && pool != D3DPOOL_MANAGED && pool != D3DPOOL_SYSTEMMEM && pool != D3DPOOL_SCRATCH) {
        return D3DERR_INVALIDCALL;
    }

    // Format.
    D3DFORMAT fmt = format != nullptr ? *format : D3DFMT_UNKNOWN;
    if (pool == D3DPOOL_SCRATCH) {
        if (fmt == D3DFMT_UNKNOWN) fmt = D3DFMT_A8R8G8B8;
    } else {
        fmt = FindBestFormat(device, usage, type, LookUpFormatDesc(fmt));
        if (fmt == Code(0)) return D3DERR_NOTAVAILABLE;
    }

    // Sizes.
    UINT w = width != nullptr ? *width : D3DX_DEFAULT;
    UINT h = height != nullptr ? *height : D3DX_DEFAULT;
    const bool haveW = w != D3DX_DEFAULT;
    const bool haveH = h != D3DX_DEFAULT;
    if (!haveW && !haveH) {
        w = h = 256;
    } else if (!haveW) {
        w = h;
    } else if (!haveH) {
        h = w;
    }
    if (w == 0) w = 1;
    if (h == 0) h = 1;
    if (type == D3DRTYPE_CUBETEXTURE) w = h = std::max(w, h);
    UINT d = depth != nullptr ? *depth : D3DX_DEFAULT;
    if (d == D3DX_DEFAULT || d == 0) d = 1;
    UINT levels = mipLevels != nullptr ? *mipLevels : D3DX_DEFAULT;

    bool fullChains = true;
    if (pool != D3DPOOL_SCRATCH) {
        D3DCAPS9 caps = {};
        HRESULT hr = device->GetDeviceCaps(&caps);
        if (FAILED(hr)) return hr;
        if (type == D3DRTYPE_VOLUMETEXTURE) {
            if (caps.MaxVolumeExtent != 0) {
                w = std::min<UINT>(w, caps.MaxVolumeExtent);
                h = std::min<UINT>(h, caps.MaxVolumeExtent);
                d = std::min<UINT>(d, caps.MaxVolumeExtent);
            }
        } else {
            if (caps.MaxTextureWidth != 0) w = std::min<UINT>(w, caps.MaxTextureWidth);
            if (caps.MaxTextureHeight != 0) h = std::min<UINT>(h, caps.MaxTextureHeight);
            if (type == D3DRTYPE_TEXTURE) {
                const UINT limit = (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) ? 1u : caps.MaxTextureAspectRatio;
                if (limit != 0) {
                    w = static_cast<UINT>(std::min<std::uint64_t>(w, std::uint64_t(limit) * h));
                    h = static_cast<UINT>(std::min<std::uint64_t>(h, std::uint64_t(limit) * w));
                }
            }
        }

        const DWORD pow2Bit = type == D3DRTYPE_VOLUMETEXTURE ? D3DPTEXTURECAPS_VOLUMEMAP_POW2
                              : type == D3DRTYPE_CUBETEXTURE ? D3DPTEXTURECAPS_CUBEMAP_POW2
                                                             : D3DPTEXTURECAPS_POW2;
        const bool conditional = (caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) != 0;
        const bool waived = levels == 1 && conditional && !IsBlockFormat(fmt);
        if ((caps.TextureCaps & pow2Bit) && !waived) {
            w = tarn::NextPowerOfTwo(w);
            h = tarn::NextPowerOfTwo(h);
            d = tarn::NextPowerOfTwo(d);
        }
        RoundUpToWholeBlocks(fmt, w, h);

        // The sizes that the texture will have decide whether a full chain is possible: a block-compressed
        // 6 x 6 request becomes 8 x 8, a power of two.
        const DWORD mipBit = type == D3DRTYPE_VOLUMETEXTURE ? D3DPTEXTURECAPS_MIPVOLUMEMAP
                             : type == D3DRTYPE_CUBETEXTURE ? D3DPTEXTURECAPS_MIPCUBEMAP
                                                            : D3DPTEXTURECAPS_MIPMAP;
        const bool allPow2 =
            tarn::IsPowerOfTwo(w) && tarn::IsPowerOfTwo(h) && (type != D3DRTYPE_VOLUMETEXTURE || tarn::IsPowerOfTwo(d));
        fullChains = (caps.TextureCaps & mipBit) && (!conditional || allPow2);
    } else {
        RoundUpToWholeBlocks(fmt, w, h);
    }

    if (fullChains) {
        UINT full = std::max(BitLength(w), BitLength(h));
        if (type == D3DRTYPE_VOLUMETEXTURE) full = std::max(full, BitLength(d));
        if (levels == 0 || levels > full) levels = full;
        if (levels != 1 && (usage & D3DUSAGE_AUTOGENMIPMAP)) levels = 0;
    } else {
        levels = 1;
    }

    if (width != nullptr) *width = w;
    if (height != nullptr) *height = h;
    if (depth != nullptr) *depth = d;
    if (mipLevels != nullptr) *mipLevels = levels;
    if (format != nullptr) *format = fmt;
    return S_OK;
}

}  // namespace tarn::texture

using namespace tarn::texture;

HRESULT D3DXCheckTextureRequirements(IDirect3DDevice9* device, UINT* width, UINT* height, UINT* mipLevels,
                                     DWORD usage, D3DFORMAT* format, D3DPOOL pool) {
    return CheckResourceRequirements(device, width, height, nullptr, mipLevels, usage, format, pool,
                                     D3DRTYPE_TEXTURE);
}

HRESULT D3DXCreateTexture(IDirect3DDevice9* device, UINT width, UINT height, UINT mipLevels, DWORD usage,
                          D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture) {
    if (device == nullptr || texture == nullptr) return D3DERR_INVALIDCALL;
    if (usage == D3DX_DEFAULT) usage = 0;
    HRESULT hr = D3DXCheckTextureRequirements(device, &width, &height, &mipLevels, usage, &format, pool);
    if (FAILED(hr)) return hr;
    IDirect3DTexture9* created = nullptr;
    hr = device->CreateTexture(width, height, mipLevels, usage & ~kQueryUsageMask, format, pool, &created, nullptr);
    if (FAILED(hr)) return hr;
    *texture = created;
    return S_OK;
}

HRESULT D3DXCheckCubeTextureRequirements(IDirect3DDevice9* device, UINT* size, UINT* mipLevels, DWORD usage,
                                         D3DFORMAT* format, D3DPOOL pool) {
    // One edge stands for both: the check makes width and height the larger of the two, and they are equal here.
    UINT width = size != nullptr ? *size : D3DX_DEFAULT;
    UINT height = width;
    const HRESULT hr = CheckResourceRequirements(device, &width, &height, nullptr, mipLevels, usage, format, pool,
                                                 D3DRTYPE_CUBETEXTURE);
    if (SUCCEEDED(hr) && size != nullptr) *size = width;
    return hr;
}

HRESULT D3DXCreateCubeTexture(IDirect3DDevice9* device, UINT size, UINT mipLevels, DWORD usage, D3DFORMAT format,
                              D3DPOOL pool, IDirect3DCubeTexture9** cubeTexture) {
    if (device == nullptr || cubeTexture == nullptr) return D3DERR_INVALIDCALL;
    if (usage == D3DX_DEFAULT) usage = 0;
    HRESULT hr = D3DXCheckCubeTextureRequirements(device, &size, &mipLevels, usage, &format, pool);
    if (FAILED(hr)) return hr;
    IDirect3DCubeTexture9* created = nullptr;
    hr = device->CreateCubeTexture(size, mipLevels, usage & ~kQueryUsageMask, format, pool, &created, nullptr);
    if (FAILED(hr)) return hr;
    *cubeTexture = created;
    return S_OK;
}

HRESULT D3DXCheckVolumeTextureRequirements(IDirect3DDevice9* device, UINT* width, UINT* height, UINT* depth,
                                           UINT* mipLevels, DWORD usage, D3DFORMAT* format, D3DPOOL pool) {
    return CheckResourceRequirements(device, width, height, depth, mipLevels, usage, format, pool,
                                     D3DRTYPE_VOLUMETEXTURE);
}

HRESULT D3DXCreateVolumeTexture(IDirect3DDevice9* device, UINT width, UINT height, UINT depth, UINT mipLevels,
                                DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DVolumeTexture9** volumeTexture) {
    if (device == nullptr || volumeTexture == nullptr) return D3DERR_INVALIDCALL;
    if (usage == D3DX_DEFAULT) usage = 0;
    HRESULT hr = D3DXCheckVolumeTextureRequirements(device, &width, &height, &depth, &mipLevels, usage, &format, pool);
    if (FAILED(hr)) return hr;
    IDirect3DVolumeTexture9* created = nullptr;
    hr = device->CreateVolumeTexture(width, height, depth, mipLevels, usage & ~kQueryUsageMask, format, pool, &created,
                                     nullptr);
    if (FAILED(hr)) return hr;
    *volumeTexture = created;
    return S_OK;
}
