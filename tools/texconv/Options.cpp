// The argument parser of tarn-texconv and the name tables it reads: pixel formats, file formats, filters.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "tools/texconv/TexConv.h"

namespace tarn::texconv {
namespace {

struct NamedFormat {
    D3DFORMAT format;
    const char* name;  // the D3DFMT_ name without its prefix
};

// Every format the library creates textures in and saves to DDS (tests/tools/TexConvTest.cpp converts to each).
const NamedFormat kFormats[] = {
    {D3DFMT_R8G8B8, "R8G8B8"},
    {D3DFMT_A8R8G8B8, "A8R8G8B8"},
    {D3DFMT_X8R8G8B8, "X8R8G8B8"},
    {D3DFMT_R5G6B5, "R5G6B5"},
    {D3DFMT_X1R5G5B5, "X1R5G5B5"},
    {D3DFMT_A1R5G5B5, "A1R5G5B5"},
    {D3DFMT_A4R4G4B4, "A4R4G4B4"},
    {D3DFMT_R3G3B2, "R3G3B2"},
    {D3DFMT_A8, "A8"},
    {D3DFMT_A8R3G3B2, "A8R3G3B2"},
    {D3DFMT_X4R4G4B4, "X4R4G4B4"},
    {D3DFMT_A2B10G10R10, "A2B10G10R10"},
    {D3DFMT_A8B8G8R8, "A8B8G8R8"},
    {D3DFMT_X8B8G8R8, "X8B8G8R8"},
    {D3DFMT_G16R16, "G16R16"},
    {D3DFMT_A2R10G10B10, "A2R10G10B10"},
    {D3DFMT_A16B16G16R16, "A16B16G16R16"},
    {D3DFMT_A8P8, "A8P8"},
    {D3DFMT_P8, "P8"},
    {D3DFMT_L8, "L8"},
    {D3DFMT_A8L8, "A8L8"},
    {D3DFMT_A4L4, "A4L4"},
    {D3DFMT_L16, "L16"},
    {D3DFMT_V8U8, "V8U8"},
    {D3DFMT_L6V5U5, "L6V5U5"},
    {D3DFMT_X8L8V8U8, "X8L8V8U8"},
    {D3DFMT_Q8W8V8U8, "Q8W8V8U8"},
    {D3DFMT_V16U16, "V16U16"},
    {D3DFMT_A2W10V10U10, "A2W10V10U10"},
    {D3DFMT_Q16W16V16U16, "Q16W16V16U16"},
    {D3DFMT_CxV8U8, "CxV8U8"},
    {D3DFMT_UYVY, "UYVY"},
    {D3DFMT_R8G8_B8G8, "R8G8_B8G8"},
    {D3DFMT_YUY2, "YUY2"},
    {D3DFMT_G8R8_G8B8, "G8R8_G8B8"},
    {D3DFMT_DXT1, "DXT1"},
    {D3DFMT_DXT2, "DXT2"},
    {D3DFMT_DXT3, "DXT3"},
    {D3DFMT_DXT4, "DXT4"},
    {D3DFMT_DXT5, "DXT5"},
    {D3DFMT_D16_LOCKABLE, "D16_LOCKABLE"},
    {D3DFMT_D32F_LOCKABLE, "D32F_LOCKABLE"},
    {D3DFMT_R16F, "R16F"},
    {D3DFMT_G16R16F, "G16R16F"},
    {D3DFMT_A16B16G16R16F, "A16B16G16R16F"},
    {D3DFMT_R32F, "R32F"},
    {D3DFMT_G32R32F, "G32R32F"},
    {D3DFMT_A32B32G32R32F, "A32B32G32R32F"},
};

struct NamedFileFormat {
    D3DXIMAGE_FILEFORMAT format;
    const char* name;       // as --out-format takes it (any case)
    const char* extension;  // what an output in a directory is named with
};

// The output formats; "JPEG" and the other extensions map to the same writers.
const NamedFileFormat kFileFormats[] = {
    {D3DXIFF_DDS, "DDS", ".dds"},   {D3DXIFF_PNG, "PNG", ".png"}, {D3DXIFF_JPG, "JPG", ".jpg"},
    {D3DXIFF_JPG, "JPEG", ".jpeg"}, {D3DXIFF_BMP, "BMP", ".bmp"}, {D3DXIFF_TGA, "TGA", ".tga"},
    {D3DXIFF_PPM, "PPM", ".ppm"},   {D3DXIFF_PFM, "PFM", ".pfm"}, {D3DXIFF_HDR, "HDR", ".hdr"},
};

struct NamedFlag {
    const char* name;
    DWORD bits;
};

const NamedFlag kFilterKinds[] = {{"none", D3DX_FILTER_NONE},
                                  {"point", D3DX_FILTER_POINT},
                                  {"linear", D3DX_FILTER_LINEAR},
                                  {"triangle", D3DX_FILTER_TRIANGLE},
                                  {"box", D3DX_FILTER_BOX}};
const NamedFlag kFilterFlags[] = {
    {"mirror", D3DX_FILTER_MIRROR},     {"mirror-u", D3DX_FILTER_MIRROR_U}, {"mirror-v", D3DX_FILTER_MIRROR_V},
    {"mirror-w", D3DX_FILTER_MIRROR_W}, {"dither", D3DX_FILTER_DITHER},     {"diffusion", D3DX_FILTER_DITHER_DIFFUSION},
    {"srgb", D3DX_FILTER_SRGB},         {"srgb-in", D3DX_FILTER_SRGB_IN},   {"srgb-out", D3DX_FILTER_SRGB_OUT}};

bool EqualNoCase(const std::string& a, const char* b) {
    const std::size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// KIND[+FLAG...]: exactly one kind, any flags, each at most once.
bool ParseFilter(const std::string& text, DWORD* filter) {
    DWORD value = 0;
    bool haveKind = false;
    std::size_t start = 0;
    while (true) {
        const std::size_t plus = text.find('+', start);
        const std::string part = text.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
        bool known = false;
        for (const NamedFlag& k : kFilterKinds) {
            if (part == k.name && !haveKind) value |= k.bits, haveKind = known = true;
        }
        for (const NamedFlag& f : kFilterFlags) {
            if (part == f.name && (value & f.bits) != f.bits) value |= f.bits, known = true;
        }
        if (!known) return false;
        if (plus == std::string::npos) break;
        start = plus + 1;
    }
    *filter = value;
    return haveKind;
}

// A decimal number from `low` to `high`, digits only.
bool ParseNumber(const std::string& text, unsigned long low, unsigned long high, unsigned long* out) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    const unsigned long n = std::strtoul(text.c_str(), nullptr, 10);
    if (n < low || n > high) return false;
    *out = n;
    return true;
}

const char kUsage[] =
    "usage: tarn-texconv [options] FILE...\n"
    "       tarn-texconv [options] --cube +X -X +Y -Y +Z -Z -o OUT\n"
    "       tarn-texconv [options] --volume SLICE... -o OUT\n"
    "Converts BMP, DIB, TGA, DDS, PNG, JPEG, HDR, PFM and PPM images into textures for the engine.\n"
    "  -o PATH               output file, or directory for many inputs (made if missing); default: beside each\n"
    "                        input, with the output format's extension\n"
    "  --out-format NAME     DDS, PNG, JPG, BMP, TGA, PPM, PFM or HDR (default: from -o's extension, else DDS)\n"
    "  -f FORMAT             pixel format by its D3DFMT_ name without the prefix (DXT1, A8R8G8B8, R5G6B5, ...;\n"
    "                        see the list below); default: the library's choice for the image\n"
    "  -m LEVELS             mip levels, 0 for the full chain (default: full chain for DDS, else 1)\n"
    "  --mip-filter FILTER   filter for the levels below the first (default box)\n"
    "  -w WIDTH, -h HEIGHT   output size, 1 to 16384 (default: the image's; one alone keeps the aspect)\n"
    "  --filter FILTER       resampling filter: point, linear, triangle, box or none, with +mirror, +mirror-u,\n"
    "                        +mirror-v, +mirror-w, +dither, +diffusion, +srgb, +srgb-in or +srgb-out\n"
    "                        (default: none at the image's own size, else triangle)\n"
    "  --dither              dither when reducing colour depth (adds +dither to both filters)\n"
    "  --color-key AARRGGBB  colour made transparent black, 8 hex digits (default: none)\n"
    "  --quality Q           block-compression effort: fast, default or best\n"
    "  --cube F1 ... F6      the six images +X -X +Y -Y +Z -Z into one cube map (needs -o)\n"
    "  --volume SLICE...     the images, front to back, into one volume texture (needs -o)\n"
    "  -j N                  convert N files at once (default: the number of cores)\n"
    "  --help                show this text\n"
    "Failures print one line each (file and reason) and nothing is written for them; exit status 1 if any.\n";

}  // namespace

const char* UsageText() {
    static const std::string text = [] {
        std::string t = kUsage;
        t += "Formats for -f:";
        std::size_t column = 16;
        for (const NamedFormat& f : kFormats) {
            const std::size_t n = std::strlen(f.name) + 1;
            if (column + n > 110) t += "\n ", column = 1;
            t += ' ';
            t += f.name;
            column += n;
        }
        t += '\n';
        return t;
    }();
    return text.c_str();
}

const char* FormatName(D3DFORMAT format) {
    for (const NamedFormat& f : kFormats) {
        if (f.format == format) return f.name;
    }
    return nullptr;
}

std::vector<D3DFORMAT> OfferedFormats() {
    std::vector<D3DFORMAT> out;
    for (const NamedFormat& f : kFormats) out.push_back(f.format);
    return out;
}

const char* ExtensionOf(D3DXIMAGE_FILEFORMAT format) {
    for (const NamedFileFormat& f : kFileFormats) {
        if (f.format == format) return f.extension;
    }
    return ".dds";
}

D3DXIMAGE_FILEFORMAT OutputFormat(const Options& options, const std::string& output) {
    if (options.outFormatGiven) return options.outFormat;
    const std::size_t dot = output.rfind('.');
    const std::size_t slash = output.rfind('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        const std::string extension = output.substr(dot);
        for (const NamedFileFormat& f : kFileFormats) {
            if (EqualNoCase(extension, f.extension)) return f.format;
        }
    }
    return D3DXIFF_DDS;
}

ParseResult ParseArguments(const std::vector<std::string>& args) {
    ParseResult result;
    Options& o = result.options;
    auto fail = [&](std::string why) {
        result.ok = false;
        result.error = std::move(why);
        return result;
    };
    bool assemblyGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // Options with a value take the next argument, whatever it looks like.
        const bool hasValue = i + 1 < args.size();
        const std::string value = hasValue ? args[i + 1] : std::string();
        auto needsValue = [&](const char* what) { return fail(arg + " needs " + what); };
        if (arg == "--help") {
            result.ok = true;
            result.help = true;
            return result;
        } else if (arg == "-o") {
            if (!hasValue || value.empty()) return needsValue("a file or directory");
            o.output = value, ++i;
        } else if (arg == "--out-format") {
            bool known = false;
            for (const NamedFileFormat& f : kFileFormats) {
                if (hasValue && EqualNoCase(value, f.name)) o.outFormat = f.format, known = true;
            }
            if (!known) return needsValue("DDS, PNG, JPG, BMP, TGA, PPM, PFM or HDR");
            o.outFormatGiven = true, ++i;
        } else if (arg == "-f") {
            bool known = false;
            for (const NamedFormat& f : kFormats) {
                if (hasValue && EqualNoCase(value, f.name)) o.format = f.format, known = true;
            }
            if (!known) return needsValue("a format name such as DXT1 or A8R8G8B8 (--help lists them)");
            ++i;
        } else if (arg == "-m") {
            unsigned long n = 0;
            if (!ParseNumber(value, 0, 32, &n)) return needsValue("a number of levels from 0 (full chain) to 32");
            o.levels = static_cast<UINT>(n), o.levelsGiven = true, ++i;
        } else if (arg == "-w" || arg == "-h") {
            unsigned long n = 0;
            if (!ParseNumber(value, 1, 16384, &n)) return needsValue("a size from 1 to 16384");
            (arg == "-w" ? o.width : o.height) = static_cast<UINT>(n), ++i;
        } else if (arg == "--filter" || arg == "--mip-filter") {
            const bool mip = arg == "--mip-filter";
            if (!ParseFilter(value, mip ? &o.mipFilter : &o.filter))
                return needsValue("point, linear, triangle, box or none, with +flags (--help lists them)");
            (mip ? o.mipFilterGiven : o.filterGiven) = true, ++i;
        } else if (arg == "--dither") {
            o.dither = true;
        } else if (arg == "--color-key") {
            bool hex = value.size() == 8;
            for (char c : value) hex = hex && std::isxdigit(static_cast<unsigned char>(c));
            if (!hex) return needsValue("a colour as 8 hex digits, AARRGGBB");
            o.colorKey = static_cast<D3DCOLOR>(std::strtoul(value.c_str(), nullptr, 16)), ++i;
        } else if (arg == "--quality") {
            if (value == "fast") {
                o.quality = texture::BlockQuality::Fast;
            } else if (value == "default") {
                o.quality = texture::BlockQuality::Default;
            } else if (value == "best") {
                o.quality = texture::BlockQuality::Best;
            } else {
                return needsValue("fast, default or best");
            }
            o.qualityGiven = true, ++i;
        } else if (arg == "-j") {
            unsigned long n = 0;
            if (!ParseNumber(value, 1, 256, &n)) return needsValue("a number of threads from 1 to 256");
            o.jobs = static_cast<unsigned>(n), ++i;
        } else if (arg == "--cube") {
            if (assemblyGiven) return fail("--cube and --volume make one texture each: give one of them once");
            if (!o.inputs.empty()) return fail("unexpected " + o.inputs[0] + ": --cube takes every input");
            if (args.size() - i - 1 < 6) return needsValue("six images: +X -X +Y -Y +Z -Z");
            o.assembly = Assembly::Cube, assemblyGiven = true;
            for (int f = 0; f < 6; ++f) o.inputs.push_back(args[++i]);
        } else if (arg == "--volume") {
            if (assemblyGiven) return fail("--cube and --volume make one texture each: give one of them once");
            if (!o.inputs.empty()) return fail("unexpected " + o.inputs[0] + ": --volume takes every input");
            o.assembly = Assembly::Volume, assemblyGiven = true;
            // The slices run to the next option.
            while (i + 1 < args.size() && !(args[i + 1].size() > 1 && args[i + 1][0] == '-')) {
                o.inputs.push_back(args[++i]);
            }
            if (o.inputs.empty()) return needsValue("at least one slice image");
        } else if (arg.size() > 1 && arg[0] == '-') {
            return fail("unknown option " + arg + " (--help lists the options)");
        } else {
            if (assemblyGiven) return fail("unexpected " + arg + ": --cube and --volume take every input");
            if (arg.empty()) return fail("an input file name is empty");
            o.inputs.push_back(arg);
        }
    }
    if (o.inputs.empty()) return fail("no input files (--help shows the usage)");
    if (o.assembly != Assembly::EachFile && o.output.empty())
        return fail(std::string(o.assembly == Assembly::Cube ? "--cube" : "--volume") + " needs -o OUT");
    result.ok = true;
    return result;
}

}  // namespace tarn::texconv
