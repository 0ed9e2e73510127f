// Keyboard query for the connect cancel: whether Escape was pressed since the
// previous query. No key source exists on this platform: never pressed.
#pragma once

inline bool AsyncKey_escapePressed() { return false; }
