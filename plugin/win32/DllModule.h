// What the library's load hook remembers for the Win32 layer.
#pragma once

#include <windows.h>

// The library's own module handle: its dialog templates are found with it.
HINSTANCE dllModule();

// True once the library is being detached because the process ends. Windows
// and timers are then left alone: the system tears them down itself, and
// destroying windows from the loader at that point is not safe.
bool dllProcessEnding();
