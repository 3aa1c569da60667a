// Parsing of the runner options that every program's main accepts before WinMain runs. Pure: no side effects,
// so tests can run every case; main applies the result (chdir, Runner(), printing).
#pragma once

#include <string>
#include <vector>

#include "platform/Runner.h"

namespace tarn::platform {

struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    RunnerOptions options;
    std::string directory;    // -C DIR; empty when not given
    std::string programArgs;  // arguments that are not options, joined with spaces: WinMain's command line
    std::string error;        // what was wrong, for Action::Error
};

// Parses argv[1..]. Options take their value as the next argument or after '=' (--frames=3); "--" ends options.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The --help text (ends with a newline); `program` is the name shown.
std::string UsageText(const std::string& program);

}  // namespace tarn::platform
