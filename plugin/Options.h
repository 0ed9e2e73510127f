// The options window: opened and closed by EVENT_PREFERENCES, it edits the
// settings, saves them on OK and carries the "Show Log" button.
#pragma once

#include "plugin/PluginWindows.h"

// EVENT_PREFERENCES: a box before EVENT_INIT; otherwise closes the window
// when it is open and opens it when it is not.
void preferencesEvent();

// OK: takes the edit texts, the selection and the check box, restarts the
// timer when its period changed, saves and closes.
void acceptOptions(const OptionsResult& result);

// Cancel or the close button: closes, changing nothing.
void cancelOptions();
