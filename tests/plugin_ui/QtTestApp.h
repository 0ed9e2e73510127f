// One QApplication on Qt's offscreen platform for the whole test program,
// as the host has one when it loads the plug-in.
#pragma once

#include <QWidget>
#include <vector>

// Runs the deferred deletions that the host's event loop would run.
void flushDeferredDeletes();

// The visible top-level windows of class T.
template <typename T>
std::vector<T*> visibleWindows();
