// The log window: created hidden at EVENT_INIT, shown and hidden with
// "Show Log", one line per outgoing message and per unmatched
// acknowledgement, and the two counters. Every update is skipped while the
// window does not exist.
#pragma once

#include <string>

// Creates the hidden window captioned "Dorrimel v0.4 - Log".
void createLogWindow();

// Appends a line and selects it when the list box took it; its index, or -1.
int appendLogLine(const std::string& text);

// Appends suffix to line index in place; a line that cannot be fetched is
// left as it is.
void extendLogLine(int index, const std::string& suffix);

// Processed and waiting counters into the window, summed over the sessions.
void updateCounters();

// "Show Log": shows the window when it is hidden, hides it otherwise.
void toggleLogWindow();
