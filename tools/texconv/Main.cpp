// tarn-texconv: converts images into textures for the engine (tools/texconv/TexConv.h has the parts; --help the
// options). The progress bar is drawn only when standard error is a terminal.
#include <unistd.h>

#include <cstdio>

#include "tools/texconv/TexConv.h"

int main(int argc, char** argv) {
    using namespace tarn::texconv;
    const ParseResult parsed = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.help) {
        std::fputs(UsageText(), stdout);
        return 0;
    }
    if (!parsed.ok) {
        std::fprintf(stderr, "tarn-texconv: %s\n", parsed.error.c_str());
        return 2;
    }
    return Run(parsed.options, stderr, isatty(STDERR_FILENO) == 1);
}
