// The settings file: lines of key, "=", value, read once into a table and
// written back one line at a time. One table for the program.
#pragma once

#include <cstdio>
#include <string>

// Reads the file into the table, replacing what it held. A missing or
// unreadable file (or a folder) leaves the table empty.
void IniLoad(const std::string& fileName);
// The value of the first entry whose key equals `key` exactly, else `def`.
std::string IniGet(const std::string& key, const std::string& def);
// Writes one entry line (key, " = ", value, CR LF) to an open file. A value
// with a leading or trailing space, a double quote, a CR or an LF is quoted,
// so that IniLoad reads every value back as it was.
void IniPut(std::FILE* file, const std::string& key, const std::string& value);
// Number of entries the last load kept.
int IniCount();
