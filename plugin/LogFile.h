// The log file "msgack.log" in the current directory: one time-stamped line
// per start, stop, tracked message, acknowledgement and removal.
#pragma once

#include <string>

inline constexpr char LOG_FILE_NAME[] = "msgack.log";

// Appends "dd.mm.yyyy hh:mm:ss.mmm " + text + line break. Does nothing when
// LogFile is 0; 1 when the file could not be opened (the line is lost).
int logToFile(const std::string& text);
