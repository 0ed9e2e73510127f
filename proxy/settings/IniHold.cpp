// The settings file reader, look-up and line writer.
#include "proxy/settings/IniHold.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>
#include <vector>

namespace {

// One table for the program: parallel keys and values, the first iniCount
// entries in use. The room starts at 20 per load and doubles when full.
std::vector<std::string> iniKeys;
std::vector<std::string> iniValues;
std::int32_t iniCount = 0;
std::int32_t iniCapacity = 0;

constexpr std::int32_t kStartCapacity = 20;

std::string TrimSpaces(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

// Undoes the writer's quoting: "" is one double quote, a double quote
// followed by anything else (the writer's "r") is a line break CR LF.
// Only the text between the outer quotes is looked at, so a stray quote
// near the end never reads beyond it.
std::string DecodeQuoted(const std::string& rest) {
    const std::string inner = rest.size() >= 2 ? rest.substr(1, rest.size() - 2) : std::string{};
    std::string value;
    std::size_t i = 0;
    while (i < inner.size()) {
        if (inner[i] != '"') {
            value += inner[i];
            ++i;
        } else if (i + 1 < inner.size() && inner[i + 1] == '"') {
            value += '"';
            i += 2;
        } else {
            value += "\r\n";
            i += 3;
        }
    }
    return value;
}

std::string DecodeValue(const std::string& rest) {
    if (rest.front() == '"' && rest.back() == '"') {
        return DecodeQuoted(rest);
    }
    return rest;
}

void AddEntry(std::string key, std::string value) {
    iniKeys[iniCount] = std::move(key);
    iniValues[iniCount] = std::move(value);
    ++iniCount;
    if (iniCount == iniCapacity) {
        iniCapacity *= 2;
        iniKeys.resize(iniCapacity);
        iniValues.resize(iniCapacity);
    }
}

void ParseLine(std::string line) {
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    const auto equals = line.find('=');
    if (equals == std::string::npos) {
        return;
    }
    const std::string rest = TrimSpaces(line.substr(equals + 1));
    if (rest.empty()) {
        return;  // an empty value counts as a missing key
    }
    AddEntry(TrimSpaces(line.substr(0, equals)), DecodeValue(rest));
}

bool NeedsQuotes(const std::string& value) {
    if (value.empty()) {
        return false;
    }
    return value.front() == ' ' || value.back() == ' ' ||
           value.find_first_of("\"\r") != std::string::npos;
}

std::string QuoteValue(const std::string& value) {
    std::string quoted = "\"";
    for (const char c : value) {
        if (c == '\n') {
            continue;
        }
        if (c == '\r') {
            quoted += "\"r\"";
        } else if (c == '"') {
            quoted += "\"\"";
        } else {
            quoted += c;
        }
    }
    quoted += '"';
    return quoted;
}

}  // namespace

void IniLoad(const std::string& fileName) {
    iniCapacity = kStartCapacity;
    iniCount = 0;
    iniKeys.assign(iniCapacity, std::string{});
    iniValues.assign(iniCapacity, std::string{});

    std::error_code error;
    if (std::filesystem::is_directory(fileName, error)) {
        return;
    }
    std::ifstream file(fileName, std::ios::binary);
    std::string line;
    while (std::getline(file, line)) {
        ParseLine(line);
    }
}

std::string IniGet(const std::string& key, const std::string& def) {
    for (std::int32_t i = 0; i < iniCount; ++i) {
        if (iniKeys[i] == key) {
            return iniValues[i];
        }
    }
    return def;
}

int IniCount() {
    return iniCount;
}

void IniPut(std::FILE* file, const std::string& key, const std::string& value) {
    if (file == nullptr) {
        return;
    }
    const std::string line =
        key + " = " + (NeedsQuotes(value) ? QuoteValue(value) : value) + "\r\n";
    // A failed write is not reported: the file is rewritten at every shutdown.
    (void)std::fwrite(line.data(), 1, line.size(), file);
}
