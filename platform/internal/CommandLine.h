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
    std::vector<std::string> programArgList;  // the program's own options and values, and every other argument
    std::string programArgs;  // programArgList, joined with spaces (quoted where needed): WinMain's command line
    std::string error;        // what was wrong, for Action::Error
};

// Parses argv[1..]. Options take their value as the next argument or after '=' (--frames=3); "--" ends options.
// The options of `usage` (when given) go to the program with their values; any other option is a mistake.
CommandLine ParseCommandLine(const std::vector<std::string>& args, const ProgramUsage* usage = nullptr);

// The --help text (ends with a newline); `program` is the name shown, with the program's own usage when given.
std::string UsageText(const std::string& program, const ProgramUsage* usage = nullptr);

}  // namespace tarn::platform
