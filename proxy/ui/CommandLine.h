// The program's command line, read before anything else is made: --help and
// --version answer and end the program, and an option the program does not
// know ends it with a one-line error. Options that belong to the window
// toolkit (Qt's -platform and the like) are let through for it to read.
#pragma once

#include <span>
#include <string>
#include <string_view>

enum class CommandAction { Run, Help, Version, Error };

// An option of the window toolkit: its name without dashes, whether it takes
// the next argument as its value, and whether it also takes "name=value".
struct ToolkitOption {
    std::string_view name;
    bool takesValue;
    bool joinedValue;
};

struct CommandLine {
    CommandAction action = CommandAction::Run;
    std::string error;  // for Error: one line, without its line end
};

// `args` are the arguments after the program's name.
CommandLine parseCommandLine(std::span<const std::string_view> args,
                             std::span<const ToolkitOption> toolkitOptions);

// What --help prints: the options, the files in `programDir` and how the
// program is ended.
std::string usageText(std::string_view programDir);

// What --version prints: "skelvane <version>".
std::string versionLine();

// The exit codes: 0 after --help and --version, 2 after a wrong option.
inline constexpr int EXIT_USAGE = 2;
