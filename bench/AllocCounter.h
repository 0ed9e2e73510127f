// Counts the heap allocations made anywhere in the benchmark process: every
// operator new and every malloc, calloc and realloc, whoever calls them (the
// core, the plug-in, the C library, Qt). A sanitizer build keeps the
// sanitizer's allocator and counts nothing.
#pragma once

#include <cstdint>

// Whether this build counts at all.
bool allocationsCounted();
// Allocations made since the process started.
std::uint64_t allocationCount();
