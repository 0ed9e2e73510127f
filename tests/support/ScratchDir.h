// A fresh empty folder under the system's temporary directory, removed with
// everything in it when the object goes away. Portable (no mkdtemp).
// ScratchWorkDir also makes it the current folder for its life; readFile
// and readText read back what was written there.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

class ScratchDir {
  public:
    explicit ScratchDir(const std::string& stem = "skelvane") {
        std::random_device seed;
        std::mt19937_64 random(seed() ^
                               static_cast<std::uint64_t>(
                                   std::chrono::steady_clock::now().time_since_epoch().count()));
        const auto base = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 100; ++attempt) {
            const auto candidate = base / (stem + "-" + std::to_string(random() % 1000000000ULL));
            std::error_code ec;
            if (std::filesystem::create_directory(candidate, ec)) {
                path_ = candidate;
                return;
            }
        }
        throw std::runtime_error("no scratch folder could be made under " + base.string());
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }

    const std::filesystem::path& path() const { return path_; }
    std::string string() const { return path_.string(); }

  private:
    std::filesystem::path path_;
};

// A scratch folder that is the current folder while the object lives. The
// folder that was current before comes back first, so that the scratch one
// can be removed (Windows keeps the current folder).
class ScratchWorkDir {
  public:
    explicit ScratchWorkDir(const std::string& stem)
        : previous_(std::filesystem::current_path()), dir_(stem) {
        std::filesystem::current_path(dir_.path());
    }
    ~ScratchWorkDir() {
        std::error_code ec;
        std::filesystem::current_path(previous_, ec);
    }

    const std::filesystem::path& path() const { return dir_.path(); }
    std::string string() const { return dir_.string(); }

  private:
    std::filesystem::path previous_;
    ScratchDir dir_;
};

// A file's bytes as they are; empty when it cannot be read.
inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A text file as a program reads it in text mode (on Windows "\r\n" is "\n").
inline std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
