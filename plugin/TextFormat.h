// printf-style formatting into a std::string, for the log and notice texts
// whose layouts are given as printf formats.
#pragma once

#include <string>

#if defined(__GNUC__)
#define PLUGIN_PRINTF_FORMAT __attribute__((format(printf, 1, 2)))
#else
#define PLUGIN_PRINTF_FORMAT
#endif

std::string formatText(const char* format, ...) PLUGIN_PRINTF_FORMAT;
