// The folder that holds the program's own files (skelvane.ini, dump.log and
// the plug-in's dorrimel.ini and msgack.log): the program's folder when it
// can be written, as for a portable copy, else the user's own folder for
// the program, created when needed.
#pragma once

#include <string>

enum class DataFolderKind {
    Program,     // the program's folder
    User,        // the user's folder, since the program's cannot be written
    Unwritable,  // neither can be written: the program's folder, and nothing is saved
};

struct DataFolder {
    std::string path;
    DataFolderKind kind = DataFolderKind::Program;
};

// The user's folder for the program: $XDG_CONFIG_HOME/skelvane, else
// $HOME/.config/skelvane; %APPDATA%\Skelvane on Windows. Empty when the
// environment names none.
std::string userDataDir();

// Whether a file can be made in `dir`: one is created and removed again.
bool folderWritable(const std::string& dir);

// Chooses where the files are kept; `userDir` is made when it is taken.
DataFolder chooseDataFolder(const std::string& programDir, const std::string& userDir);
