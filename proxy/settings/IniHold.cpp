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

// Line breaks inside a quoted value: a double quote, one letter, a double
// quote. "r" is CR LF, the only form older files hold; a lone LF or CR has
// a letter of its own, so that every value reads back as it was written.
constexpr char kCrLfLetter = 'r';
constexpr char kLfLetter = 'n';
constexpr char kCrLetter = 'c';

// Undoes the writer's quoting: "" is one double quote, a double quote
// followed by a letter is the line break that the letter names; any other
// character after it stands for CR LF, as in older files. Only the text
// between the outer quotes is looked at, so a stray quote near the end
// never reads beyond it.
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
            const char letter = i + 1 < inner.size() ? inner[i + 1] : kCrLfLetter;
            value += letter == kLfLetter ? "\n" : letter == kCrLetter ? "\r" : "\r\n";
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
           value.find_first_of("\"\r\n") != std::string::npos;
}

std::string LineBreak(char letter) {
    return std::string{'"', letter, '"'};
}

std::string QuoteValue(const std::string& value) {
    std::string quoted = "\"";
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') {
            quoted += LineBreak(kCrLfLetter);
            ++i;
        } else if (c == '\r') {
            quoted += LineBreak(kCrLetter);
        } else if (c == '\n') {
            quoted += LineBreak(kLfLetter);
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
