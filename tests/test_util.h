// Small helpers shared by the tests.
#pragma once

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "files/png_image.h"
#include "math/vector3.h"

// A fresh directory in the system's temporary folder, removed with
// everything in it. Paths use '/', which Windows takes as well.
class TempDir {
public:
    TempDir() {
        static std::mt19937_64 rng(std::random_device{}());
        do path_ = (std::filesystem::temp_directory_path() / ("wildview-test-" + std::to_string(rng()))).generic_string();
        while (!std::filesystem::create_directory(path_));
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A PNG as 8-bit RGBA; a failure is reported with its reason.
inline ::testing::AssertionResult ReadPng(const std::string& path, std::uint32_t& width, std::uint32_t& height,
                                          std::vector<std::uint8_t>& rgba) {
    std::string error;
    if (ReadPngFile(path, width, height, rgba, error)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << error;
}

inline void PutU32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    if (out.size() < at + 4) out.resize(at + 4);
    for (int k = 0; k < 4; ++k) out[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
}

inline void ExpectNear(const Vector3& a, const Vector3& b, float eps = 1e-5f) {
    EXPECT_NEAR(a.x, b.x, eps);
    EXPECT_NEAR(a.y, b.y, eps);
    EXPECT_NEAR(a.z, b.z, eps);
}

// A shell command's exit status and what it wrote, kept in dir.
// Points the settings folder (XDG_CONFIG_HOME here, %APPDATA% on Windows)
// at a test's own folder while it lives; what was set before comes back.
class SettingsHome {
public:
    explicit SettingsHome(const std::string& path) {
        if (const char* before = std::getenv(kVariable)) before_ = before, hadOne_ = true;
        Set(path.c_str());
    }
    ~SettingsHome() { Set(hadOne_ ? before_.c_str() : nullptr); }
    SettingsHome(const SettingsHome&) = delete;
    SettingsHome& operator=(const SettingsHome&) = delete;

private:
#ifdef _WIN32
    static constexpr const char* kVariable = "APPDATA";
    static void Set(const char* value) { _putenv_s(kVariable, value ? value : ""); }
#else
    static constexpr const char* kVariable = "XDG_CONFIG_HOME";
    static void Set(const char* value) { value ? setenv(kVariable, value, 1) : unsetenv(kVariable); }
#endif
    std::string before_;
    bool hadOne_ = false;
};

struct RunResult {
    int status;
    std::string out, err;
};

// Each run writes fresh files: under Wine a program that has just ended can
// still hold its output open for a moment.
inline RunResult RunShell(const TempDir& dir, const std::string& command) {
    static int runs = 0;
    const std::string out = dir.File("stdout-" + std::to_string(++runs)), err = dir.File("stderr-" + std::to_string(runs));
    const int raw = std::system((command + " >" + out + " 2>" + err).c_str());
#ifdef _WIN32
    return {raw, ReadText(out), ReadText(err)};  // the command's own exit code
#else
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(out), ReadText(err)};
#endif
}

// A copy of file compressed as the old compress.exe did (SZDD), written to
// to; what mscompress said when it failed.
inline ::testing::AssertionResult LzCompress(const std::string& file, const std::string& to) {
    const std::string staged = to + ".plain";
    std::filesystem::copy_file(file, staged, std::filesystem::copy_options::overwrite_existing);
    const int status = std::system(("mscompress '" + staged + "' 2>&1").c_str());
    std::filesystem::remove(staged);
    if (status != 0) return ::testing::AssertionFailure() << "mscompress " << file << " exited with " << status;
    std::filesystem::rename(staged + "_", to);
    return ::testing::AssertionSuccess();
}
