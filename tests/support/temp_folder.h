// A fresh folder for one test, removed with everything in it at the end.
#pragma once

#include <filesystem>
#include <string>

namespace quarn::testing {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The path as a narrow text, with a trailing separator when asked.
    std::string text(bool trailingSeparator = false) const;
    std::filesystem::path operator/(const std::string& relative) const { return path_ / relative; }

private:
    std::filesystem::path path_;
};

// Reads a whole file; empty when it cannot be read.
// UTF-8 names and paths, as the program speaks them, to and from
// std::filesystem (whose narrow strings are the ANSI code page on Windows).
std::filesystem::path Utf8Path(const std::string& text);
std::string Utf8Text(const std::filesystem::path& path);  // generic: '/' separators

std::string ReadWholeFile(const std::filesystem::path& path);
void WriteWholeFile(const std::filesystem::path& path, const std::string& bytes);

// Restores the working directory at the end of a scope.
class WorkingFolderGuard {
public:
    WorkingFolderGuard() : saved_(std::filesystem::current_path()) {}
    ~WorkingFolderGuard() {
        std::error_code ignored;
        std::filesystem::current_path(saved_, ignored);
    }
    WorkingFolderGuard(const WorkingFolderGuard&) = delete;
    WorkingFolderGuard& operator=(const WorkingFolderGuard&) = delete;

private:
    std::filesystem::path saved_;
};

}  // namespace quarn::testing
