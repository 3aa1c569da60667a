#include "tools/view/ViewerOptions.h"

#include <cerrno>
#include <cstdlib>

namespace tarn::view {
namespace {

// The whole text must be the number.
bool ParseWhole(const std::string& text, long low, long high, long* value) {
    if (text.empty() || text[0] == ' ' || text[0] == '+') return false;
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || parsed < low || parsed > high) return false;
    *value = parsed;
    return true;
}

// A window larger than this is no window of a desktop; the back buffer would not fit the renderer anyway.
constexpr long kLargestSide = 8192;

}  // namespace

bool ParseViewerOptions(const std::vector<std::string>& args, ViewerOptions* options, std::string* error) {
    ViewerOptions parsed;
    bool optionsEnded = false;
    bool haveScene = false;
    auto fail = [error](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            auto value = [&](std::string* out) {
                if (i + 1 >= args.size()) return false;
                *out = args[++i];
                return true;
            };
            std::string text;
            if (arg == "--camera") {
                long camera = 0;
                if (!value(&text) || !ParseWhole(text, 0, 1L << 30, &camera))
                    return fail("--camera needs a camera number (0 for the first), not '" + text + "'");
                parsed.camera = static_cast<int>(camera);
            } else if (arg == "--size") {
                const std::size_t x = value(&text) ? text.find('x') : std::string::npos;
                long w = 0, h = 0;
                if (x == std::string::npos || !ParseWhole(text.substr(0, x), 1, kLargestSide, &w) ||
                    !ParseWhole(text.substr(x + 1), 1, kLargestSide, &h))
                    return fail("--size needs WIDTHxHEIGHT in pixels (at most " + std::to_string(kLargestSide) +
                                " each), not '" + text + "'");
                parsed.width = static_cast<int>(w);
                parsed.height = static_cast<int>(h);
            } else if (arg == "--water-dir") {
                if (!value(&text) || text.empty()) return fail("--water-dir needs a directory");
                parsed.waterDirectory = text;
            } else if (arg == "--paused") {
                parsed.paused = true;
            } else if (arg == "--water") {
                parsed.water = true;
            } else {
                return fail("unknown option " + arg);
            }
            continue;
        }
        if (haveScene) return fail("one scene file at a time: '" + parsed.scenePath + "' and '" + arg + "'");
        parsed.scenePath = arg;
        haveScene = true;
    }
    if (!haveScene || parsed.scenePath.empty()) return fail("no scene file given (tarn-view SCENE.TRS)");
    *options = parsed;
    return true;
}

platform::ProgramUsage ViewerUsage() {
    platform::ProgramUsage usage;
    usage.arguments = "SCENE.TRS";
    usage.summary =
        "Shows a Tarn Engine scene file: the whole scene framed in a resizable window, or one of its cameras.";
    usage.options = {
        {"--camera", "N", "start from the scene's camera N (0 is the first) instead of framing the scene"},
        {"--paused", nullptr, "start with the animation paused"},
        {"--water", nullptr, "start with the demo's water effects over the scene (caustics, tint, ripple)"},
        {"--water-dir", "DIR", "read the caustic frames from DIR/Water/caust0.tga ... caust31.tga"},
        {"--size", "WxH", "the window's client size in pixels (default 800x600)"},
    };
    usage.notes =
        "Mouse: left drag orbits the camera around the point it looks at, right or middle drag pans, the wheel\n"
        "zooms in (forward) and out (back).\n"
        "Keys: C switches to the scene's next camera (after the last, back to the framed view), F frames the whole\n"
        "scene, Space plays and pauses the animation (key times in seconds), W turns the water effects on and off,\n"
        "Escape quits.\n"
        "Without --water-dir the caustic frames are the installed demo's (share/tarn/seascene).\n";
    return usage;
}

}  // namespace tarn::view
