// The argument parser of tarn-import and its usage text.
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "tools/import/Import.h"

namespace tarn::import {
namespace {

bool ParseUnsigned(const std::string& text, unsigned long min, unsigned long max, unsigned* out) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str(), &end, 10);
    if (errno != 0 || *end != 0 || v < min || v > max) return false;
    *out = static_cast<unsigned>(v);
    return true;
}

bool ParseNumber(const std::string& text, double* out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != 0 || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

}  // namespace

const char* UsageText() {
    return "Usage: tarn-import MODEL [options]\n"
           "Converts a model file into the engine's scene format: DIR/NAME.TRS (NAME from the model's file name)\n"
           "and the textures it names beside it (NAME_<image>.dds). Reads glTF 2.0 and 1.0 (.gltf, .glb), OBJ with\n"
           "MTL, FBX, COLLADA, 3DS, PLY, STL, DirectX .x and every other format of the Open Asset Import Library.\n"
           "The model is parsed in a child process under the limits below; a file the parser cannot read gives one\n"
           "line and exit status 1, and nothing is written.\n"
           "\n"
           "Options:\n"
           "  -o DIR            write into DIR (made when missing; default: the current directory)\n"
           "  --up y|z          the model's up axis (default y; z for most CAD, STL and PLY files)\n"
           "  --scale S         multiply every length by S (default 1)\n"
           "  --keep-images     copy the images the model names as they are instead of converting them to DDS\n"
           "                    (DXT1 when opaque, DXT5 when not, full mip chains)\n"
           "  --animation N     which of the model's animations becomes the node keys (default 0, the first)\n"
           "  --key-rate HZ     keys per second where an animation is resampled (default 30)\n"
           "  --max-memory MB   the parser's address space (default 2048)\n"
           "  --max-time S      the parser's processor time in seconds (default 60; twice that of wall time)\n"
           "  -j N              convert N textures at once (default: one per core)\n"
           "  --stats           print one line of times and peak memory\n"
           "  --help            show this text\n"
           "\n"
           "Key times are in seconds. A model without a camera gets one that frames it; one without lights gets a\n"
           "directional light. What the format cannot hold (skins, morph targets, metal-roughness and other maps\n"
           "besides the base colour, a second texture-coordinate set, vertex colours, points and lines) is dropped\n"
           "with one warning line each.\n";
}

ParseResult ParseArguments(const std::vector<std::string>& args) {
    ParseResult r;
    Options& o = r.options;
    auto fail = [&](const std::string& why) {
        r.ok = false;
        r.error = why;
        return r;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= args.size()) return false;
            *out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            r.help = true;
            r.ok = true;
            return r;
        } else if (a == "-o") {
            if (!value(&v) || v.empty()) return fail("-o needs a directory");
            o.outputDir = v;
        } else if (a == "--up") {
            if (!value(&v)) return fail("--up needs y or z");
            if (v == "y" || v == "Y") {
                o.up = UpAxis::Y;
            } else if (v == "z" || v == "Z") {
                o.up = UpAxis::Z;
            } else {
                return fail("--up takes y or z, not '" + v + "'");
            }
        } else if (a == "--scale") {
            if (!value(&v) || !ParseNumber(v, &o.scale) || o.scale == 0 || std::fabs(o.scale) > 1e12 ||
                std::fabs(o.scale) < 1e-12)
                return fail("--scale needs a number other than 0");
        } else if (a == "--keep-images") {
            o.keepImages = true;
        } else if (a == "--animation") {
            if (!value(&v) || !ParseUnsigned(v, 0, 1u << 20, &o.animation))
                return fail("--animation needs an animation number (0 the first)");
        } else if (a == "--key-rate") {
            if (!value(&v) || !ParseNumber(v, &o.sampleRate) || o.sampleRate < 0 || o.sampleRate > 1000)
                return fail("--key-rate needs keys per second, 0 to 1000");
        } else if (a == "--max-memory") {
            if (!value(&v) || !ParseUnsigned(v, 64, 1u << 20, &o.maxMemoryMb))
                return fail("--max-memory needs megabytes, at least 64");
        } else if (a == "--max-time") {
            if (!value(&v) || !ParseUnsigned(v, 1, 86400, &o.maxSeconds))
                return fail("--max-time needs seconds, 1 to 86400");
        } else if (a == "-j") {
            if (!value(&v) || !ParseUnsigned(v, 1, 256, &o.jobs)) return fail("-j needs a number of jobs, 1 to 256");
        } else if (a == "--stats") {
            o.stats = true;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return fail("unknown option " + a + " (see --help)");
        } else if (o.model.empty()) {
            o.model = a;
        } else {
            return fail("one model at a time (" + o.model + ", then " + a + ")");
        }
    }
    if (o.model.empty()) return fail("no model given (see --help)");
    r.ok = true;
    return r;
}

}  // namespace tarn::import
