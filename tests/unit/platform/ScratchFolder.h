#pragma once

// A fresh folder in the system's temporary folder for one test, removed with everything in it
// afterwards. Paths are UTF-8 text, as the platform layer takes them, on every system.

#include <gtest/gtest.h>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace larkspan::test {

// What the name of a built program ends in.
#ifdef _WIN32
inline constexpr const char* kProgramSuffix = ".exe";
#else
inline constexpr const char* kProgramSuffix = "";
#endif

// UTF-8 text to a path and back: std::filesystem would read a plain string in the system's
// 8-bit code page on Windows.
inline std::filesystem::path Utf8Path(const std::string& text) {
    return std::filesystem::path(
        std::u8string(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}
inline std::string Utf8Text(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

// Plants a symbolic link at `link` pointing at the file `target`; on failure returns the reason.
// The C++ library of mingw-w64 cannot make links, and Windows lets an ordinary user make them
// only in developer mode, so there the system call is asked directly.
inline std::string PlantFileLink(const std::string& target, const std::string& link) {
#ifdef _WIN32
    if (::CreateSymbolicLinkW(Utf8Path(link).c_str(), Utf8Path(target).c_str(),
                              SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) == 0) {
        return "CreateSymbolicLinkW failed with error " + std::to_string(::GetLastError());
    }
    return {};
#else
    std::error_code error;
    std::filesystem::create_symlink(Utf8Path(target), Utf8Path(link), error);
    return error ? error.message() : std::string();
#endif
}

class ScratchFolder {
public:
    // In $TMPDIR on POSIX (the harness points it into the test's own folder), GetTempPathW on
    // Windows; or in `base`.
    ScratchFolder() : ScratchFolder(std::filesystem::temp_directory_path()) {}
    explicit ScratchFolder(const std::filesystem::path& base) {
        std::error_code error;
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const auto candidate = base / ("platform-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate, error)) {
                path_ = Utf8Text(candidate);
            }
        }
        if (path_.empty()) {
            ADD_FAILURE() << "cannot create a scratch folder under " << base;
        }
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(Utf8Path(path_), ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    // Writes `contents` to `name` (folders created as needed) with the POSIX permissions `mode`
    // (on Windows a mode without a write bit makes the file read-only), and returns the full
    // path.
    std::string Write(const std::string& name, const std::string& contents, int mode = 0644) const {
        const std::string full = *this / name;
        const std::filesystem::path path = Utf8Path(full);
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << contents;
        std::filesystem::permissions(path, static_cast<std::filesystem::perms>(mode));
        return full;
    }

private:
    std::string path_;
};

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(Utf8Path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace larkspan::test
