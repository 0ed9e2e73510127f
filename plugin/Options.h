// The options window: opened and closed by EVENT_PREFERENCES, it edits the
// settings, saves them on OK and carries the "Show Log" button.
#pragma once

#include "plugin/PluginWindows.h"

// EVENT_PREFERENCES: closes the window when it is open and opens it when it
// is not. Before EVENT_INIT it first reads the settings file, so that OK
// saves what the next session reads; the box comes only when no window opens.
void preferencesEvent();

// OK: takes the edit texts, the selection and the check box, restarts the
// running timer when its period changed, saves and closes. A field that
// cannot be taken keeps the window open and changes nothing.
void acceptOptions(const OptionsResult& result);

// Cancel or the close button: closes, changing nothing.
void cancelOptions();
