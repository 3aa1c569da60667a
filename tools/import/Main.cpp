// tarn-import: models into the engine's scene files (tools/import/Import.h has the parts; --help the options).
#include <cstdio>

#include "tools/import/Import.h"

int main(int argc, char** argv) {
    using namespace tarn::import;
    const ParseResult parsed = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.help) {
        std::fputs(UsageText(), stdout);
        return 0;
    }
    if (!parsed.ok) {
        std::fprintf(stderr, "tarn-import: %s\n", parsed.error.c_str());
        return 2;
    }
    return Run(parsed.options, stderr);
}
