#include "proxy/net/AsyncKey.h"

#include <windows.h>

bool AsyncKey_escapePressed() {
    // Bit 0: pressed since the previous query of any caller.
    return (GetAsyncKeyState(VK_ESCAPE) & 1) != 0;
}
