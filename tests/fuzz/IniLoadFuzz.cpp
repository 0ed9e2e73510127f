// The settings reader and writer. Input byte 0 picks the mode:
//   even: the rest is a whole skelvane.ini; it is loaded and every key the
//         program reads is looked up (nothing may fault);
//   odd:  the rest is cut into entries (key and value separated by zero
//         bytes), written with IniPut and read back with IniLoad; every
//         non-empty value, line breaks included, must come back unchanged
//         under the first occurrence of its key.
#include <algorithm>
#include <fstream>
#include <map>
#include <memory>

#include "proxy/settings/IniHold.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

constexpr const char* kFile = "fuzz.ini";
constexpr std::array<const char*, 6> kKeys{"HostLoginIP",     "HostLoginPort", "ServerLoginIP",
                                           "ServerLoginPort", "HostChatIP",    "HostChatPort"};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

void enterOnce() {
    static const std::filesystem::path dir = enterScratchFolder();
}

void loadRaw(const Bytes& text) {
    std::ofstream(kFile, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(text.data()),
               static_cast<std::streamsize>(text.size()));
    IniLoad(kFile);
    fuzzCheck(IniCount() >= 0, "negative entry count");
    for (const char* key : kKeys) {
        static_cast<void>(IniGet(key, "default"));
    }
}

// A key as a file can hold it: no "=", no line feed, no spaces at its ends.
std::string keyOf(std::string text) {
    std::replace(text.begin(), text.end(), '=', '_');
    std::replace(text.begin(), text.end(), '\n', '_');
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

void roundTrip(const Bytes& text) {
    std::vector<std::string> parts(1);
    for (const std::uint8_t b : text) {
        if (b == 0) {
            parts.emplace_back();
        } else {
            parts.back() += static_cast<char>(b);
        }
    }
    std::map<std::string, std::string> first;
    {
        const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(kFile, "wb"));
        fuzzCheck(file != nullptr, "cannot write the settings file");
        for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
            const std::string key = keyOf(parts[i]);
            IniPut(file.get(), key, parts[i + 1]);
            first.emplace(key, parts[i + 1]);
        }
    }
    IniLoad(kFile);
    for (const auto& [key, value] : first) {
        if (value.empty()) {
            continue;  // an empty value reads as a missing key
        }
        fuzzCheck(IniGet(key, std::string(1, '\0') + "missing") == value,
                  "value changed by writing and reading back: [" + key + "] [" + value + "]");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    enterOnce();
    const Bytes text(data + 1, data + size);
    if ((data[0] & 1) == 0) {
        loadRaw(text);
    } else {
        roundTrip(text);
    }
    return 0;
}
