#include "proxy/ui/common/CommandLine.h"

#include <cstdlib>

#include "generated/Version.h"
#include "proxy/settings/DataFolder.h"

namespace {

#ifdef _WIN32
constexpr std::string_view kProgram = "skelvane.exe";
constexpr std::string_view kPluginFile = "plugin.dll";
constexpr std::string_view kHelpOptions = "  -h, --help, /?  print this help and exit\n";
constexpr std::string_view kToolkitNote = "";
constexpr std::string_view kEnding =
    "Closing the window ends the program and saves the settings.\n";
bool isHelp(std::string_view arg) {
    return arg == "-h" || arg == "--help" || arg == "/?" || arg == "-?";
}
bool isOption(std::string_view arg) {
    return arg.starts_with("-") || arg.starts_with("/");
}
#else
constexpr std::string_view kProgram = "skelvane";
constexpr std::string_view kPluginFile = "plugin.so";
constexpr std::string_view kHelpOptions = "  -h, --help      print this help and exit\n";
constexpr std::string_view kToolkitNote =
    "Qt's own options (-platform NAME, -display NAME, -style NAME, ...) are\n"
    "passed on to Qt. Without a display the program runs headless.\n";
constexpr std::string_view kEnding =
    "SIGINT and SIGTERM end the program as its close button does: the settings\n"
    "are saved.\n";
bool isHelp(std::string_view arg) {
    return arg == "-h" || arg == "--help";
}
bool isOption(std::string_view arg) {
    return arg.starts_with("-");
}
#endif

// The toolkit option that `arg` names ("-name", "--name" or, where allowed,
// "-name=value"), with whether the value is joined to it; null if none.
const ToolkitOption* toolkitOption(std::string_view arg, std::span<const ToolkitOption> options,
                                   bool& joined) {
    if (arg.size() < 2 || arg[0] != '-') {
        return nullptr;
    }
    arg.remove_prefix(arg.starts_with("--") ? 2 : 1);
    const std::size_t equals = arg.find('=');
    for (const ToolkitOption& option : options) {
        if (arg == option.name) {
            joined = false;
            return &option;
        }
        if (option.joinedValue && equals != std::string_view::npos &&
            arg.substr(0, equals) == option.name) {
            joined = true;
            return &option;
        }
    }
    return nullptr;
}

enum class CommandAction { Run, Help, Version, Error };

struct CommandLine {
    CommandAction action = CommandAction::Run;
    std::string error;  // for Error: one line, without its line end
};

CommandLine error(std::string text) {
    return {CommandAction::Error,
            std::string(kProgram) + ": " + text + "; try '" + std::string(kProgram) + " --help'"};
}

CommandLine parseCommandLine(std::span<const std::string_view> args,
                             std::span<const ToolkitOption> toolkitOptions) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (optionsEnded) {
            return error("unexpected argument '" + std::string(arg) + "'");
        }
        if (arg == "--") {
            optionsEnded = true;  // what follows is no option; the program takes no other
            continue;
        }
        if (isHelp(arg)) {
            return {CommandAction::Help, {}};
        }
        if (arg == "--version") {
            return {CommandAction::Version, {}};
        }
        bool joined = false;
        if (const ToolkitOption* option = toolkitOption(arg, toolkitOptions, joined)) {
            if (option->takesValue && !joined && ++i == args.size()) {
                return error("option '" + std::string(arg) + "' needs a value");
            }
            continue;
        }
        if (isOption(arg)) {
            return error("unknown option '" + std::string(arg) + "'");
        }
        return error("unexpected argument '" + std::string(arg) + "'");
    }
    return {};
}

std::string usageText(const std::string& programDir, const std::string& userDir) {
    std::string text = "Usage: " + std::string(kProgram) + " [OPTION]...\n";
    text +=
        "Skelvane relays an ICQ client's connection to the ICQ service and offers\n"
        "every chat frame to its plug-in. Point the client's login server at the\n"
        "window's \"Host login\" address and port (by default localhost, 5190).\n"
        "\n"
        "Options:\n";
    text += kHelpOptions;
    text += "      --version   print the version and the licence and exit\n";
    text += "      --          end of the options\n";
    text += kToolkitNote;
    const std::string pluginLine = "  " + std::string(kPluginFile) +
                                   std::string(16 - kPluginFile.size(), ' ') +
                                   "the plug-in, loaded when the client signs on\n";
    const bool portable = folderWritable(programDir);
    if (portable) {
        text += "\nFiles, all in the program's folder (" + programDir + "):\n";
    } else {
        text += "\nThe program's folder (" + programDir +
                ") cannot be written: settings and logs\nare kept in " + userDir + ".\n";
        text += "Files there:\n";
    }
    text +=
        "  skelvane.ini    the six addresses and ports, saved when the program ends\n"
        "  dump.log        the log, appended to on every run\n";
    if (portable) {
        text += pluginLine;
    }
    text +=
        "  dorrimel.ini    the options of the Dorrimel plug-in\n"
        "  msgack.log      the log of the Dorrimel plug-in\n";
    if (!portable) {
        text += "In the program's folder:\n" + pluginLine;
    }
    text += "\n";
    text += kEnding;
    return text;
}

std::string versionText() {
    return std::string("skelvane ") + SKELVANE_VERSION + "\n" + SKELVANE_COPYRIGHT + "\n" +
           SKELVANE_LICENCE + ": free to use, copy, change and share; no warranty.\n";
}

}  // namespace

int answerCommandLine(std::span<const std::string_view> args,
                      std::span<const ToolkitOption> toolkitOptions, const std::string& programDir,
                      const TellUser& tell) {
    const CommandLine line = parseCommandLine(args, toolkitOptions);
    switch (line.action) {
        case CommandAction::Help:
            return tell(usageText(programDir, userDataDir()), false) ? EXIT_SUCCESS : EXIT_FAILURE;
        case CommandAction::Version:
            return tell(versionText(), false) ? EXIT_SUCCESS : EXIT_FAILURE;
        case CommandAction::Error:
            tell(line.error + "\n", true);
            return EXIT_USAGE;
        case CommandAction::Run:
            break;
    }
    return -1;
}
