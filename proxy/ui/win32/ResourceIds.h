// Resource ids of skelvane.exe, for skelvane.rc and the code that loads them.
#pragma once

#define IDI_SKELVANE 1  // the program's icon (proxy/ui/icon/skelvane.ico)
