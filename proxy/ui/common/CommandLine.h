// The program's command line, read before anything else is made: --help and
// --version answer and end the program, and an option the program does not
// know ends it with a one-line error. Options that belong to the window
// toolkit (Qt's -platform and the like) are let through for it to read.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>

// An option of the window toolkit: its name without dashes, whether it takes
// the next argument as its value, and whether it also takes "name=value".
struct ToolkitOption {
    std::string_view name;
    bool takesValue;
    bool joinedValue;
};

// The exit code after a wrong option.
inline constexpr int EXIT_USAGE = 2;

// Where the program's answers go: the text, and whether it reports an error;
// false if it could not be delivered.
using TellUser = std::function<bool(const std::string& text, bool isError)>;

// Reads `args` (the arguments after the program's name) and answers --help
// (the options, the files and the folders that hold them, how the program
// ends), --version
// ("skelvane <version>") or a wrong argument through `tell`. Returns the exit
// code (0, 1 when the answer could not be delivered, EXIT_USAGE), or -1 when
// the program is to run.
int answerCommandLine(std::span<const std::string_view> args,
                      std::span<const ToolkitOption> toolkitOptions, const std::string& programDir,
                      const TellUser& tell);
