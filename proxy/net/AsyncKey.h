// Keyboard query for the connect cancel: whether Escape was pressed since the
// previous query.
#pragma once

#if defined(_WIN32)
// GetAsyncKeyState's "pressed since the last query" bit for Escape.
bool AsyncKey_escapePressed();
#else
// No key source exists on this platform: never pressed.
inline bool AsyncKey_escapePressed() {
    return false;
}
#endif
