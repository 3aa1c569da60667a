// Runner option parsing: strict numbers (the whole argument must be the number), one error message per mistake.
#include "CommandLine.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace tarn::platform {
namespace {

bool ParsePositiveLong(const std::string& text, long* value) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    long parsed = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != 0 || parsed <= 0) {
        return false;
    }
    *value = parsed;
    return true;
}

bool ParsePositiveSeconds(const std::string& text, double* value) {
    if (text.empty() || text[0] == ' ') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    double parsed = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == text.c_str() || *end != 0 || !std::isfinite(parsed) || parsed <= 0.0) {
        return false;
    }
    *value = parsed;
    return true;
}

std::string Quoted(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) {
        return arg;
    }
    std::string out = "\"";
    for (char c : arg) {
        if (c == '"') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

const ProgramOption* FindProgramOption(const ProgramUsage* usage, const std::string& name) {
    if (usage == nullptr) {
        return nullptr;
    }
    for (const ProgramOption& option : usage->options) {
        if (option.name != nullptr && name == option.name) {
            return &option;
        }
    }
    return nullptr;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args, const ProgramUsage* usage) {
    CommandLine result;
    auto fail = [&result](std::string message) {
        result.action = CommandLine::Action::Error;
        result.error = std::move(message);
        return result;
    };
    auto toProgram = [&result](const std::string& arg) {
        result.programArgList.push_back(arg);
        if (!result.programArgs.empty()) {
            result.programArgs += ' ';
        }
        result.programArgs += Quoted(arg);
    };
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            toProgram(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            // A program with options of its own must see where they end too.
            if (usage != nullptr) {
                toProgram(arg);
            }
            continue;
        }
        std::string name = arg;
        std::string value;
        bool hasValue = false;
        std::size_t equals = arg.find('=');
        if (arg.starts_with("--") && equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
            hasValue = true;
        } else if (arg.starts_with("-C") && arg.size() > 2) {
            name = "-C";
            value = arg.substr(2);
            hasValue = true;
        }
        bool takesValue = name == "--frames" || name == "--screenshot" || name == "--clock-step" || name == "-C";
        const bool runnerOption =
            takesValue || name == "--help" || name == "-h" || name == "--version" || name == "--headless";
        if (const ProgramOption* own = runnerOption ? nullptr : FindProgramOption(usage, name)) {
            if (own->value != nullptr && !hasValue) {
                if (i + 1 >= args.size()) {
                    return fail("option " + name + " needs a value");
                }
                value = args[++i];
                hasValue = true;
            } else if (own->value == nullptr && hasValue) {
                return fail("option " + name + " takes no value");
            }
            toProgram(name);
            if (hasValue) {
                toProgram(value);
            }
            continue;
        }
        if (takesValue && !hasValue) {
            if (i + 1 >= args.size()) {
                return fail("option " + name + " needs a value");
            }
            value = args[++i];
            hasValue = true;
        } else if (!takesValue && hasValue) {
            return fail("option " + name + " takes no value");
        }
        if (name == "--help" || name == "-h") {
            result.action = CommandLine::Action::Help;
            return result;
        } else if (name == "--version") {
            result.action = CommandLine::Action::Version;
            return result;
        } else if (name == "--headless") {
            result.options.headless = true;
        } else if (name == "--frames") {
            if (!ParsePositiveLong(value, &result.options.frames)) {
                return fail("--frames needs a positive whole number, not '" + value + "'");
            }
        } else if (name == "--screenshot") {
            if (value.empty()) {
                return fail("--screenshot needs a file name");
            }
            result.options.screenshotPath = value;
        } else if (name == "--clock-step") {
            if (!ParsePositiveSeconds(value, &result.options.clockStep)) {
                return fail("--clock-step needs a positive number of seconds, not '" + value + "'");
            }
        } else if (name == "-C") {
            if (value.empty()) {
                return fail("-C needs a directory");
            }
            result.directory = value;
        } else {
            return fail("unknown option " + name);
        }
    }
    return result;
}

std::string UsageText(const std::string& program, const ProgramUsage* usage) {
    const std::string runner =
        "  --frames N            close the window after N presented frames\n"
        "  --screenshot FILE.png save the last presented frame (the Nth with --frames) as PNG\n"
        "  --headless            never show a window; draw off screen\n"
        "  --clock-step SECONDS  the performance counter advances SECONDS on every read\n"
        "  -C DIR                run in directory DIR\n"
        "  --help                show this text\n"
        "  --version             show the version\n";
    if (usage == nullptr) {
        return "Usage: " + program + " [options]\n" + runner + "Without options the program runs as it always does.\n";
    }
    auto lines = [](const std::string& text) { return text.empty() || text.back() == '\n' ? text : text + "\n"; };
    std::string out = "Usage: " + program + " [options]" + (usage->arguments.empty() ? "" : " " + usage->arguments) +
                      "\n" + lines(usage->summary);
    if (!usage->options.empty()) {
        out += "Options:\n";
        for (const ProgramOption& option : usage->options) {
            std::string left =
                std::string("  ") + option.name + (option.value != nullptr ? std::string(" ") + option.value : "");
            left.resize(std::max<std::size_t>(left.size() + 1, 24), ' ');
            out += left + (option.help != nullptr ? option.help : "") + "\n";
        }
    }
    return out + "Runner options:\n" + runner + lines(usage->notes);
}

}  // namespace tarn::platform
