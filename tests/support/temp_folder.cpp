#include "support/temp_folder.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <system_error>

namespace quarn::testing {

namespace {
std::atomic<unsigned> counter{0};
}

TempFolder::TempFolder() {
    auto base = std::filesystem::temp_directory_path();
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
        std::ostringstream name;
        name << "quarn-test-" << stamp << "-" << counter++;
        std::error_code error;
        if (std::filesystem::create_directory(base / name.str(), error)) {
            path_ = base / name.str();
            return;
        }
    }
}

TempFolder::~TempFolder() {
    std::error_code error;
    // Read-only files made by the tests must not keep the folder alive.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, error);
    }
    std::filesystem::remove_all(path_, error);
}

std::string TempFolder::text(bool trailingSeparator) const {
    std::string s = path_.string();
    if (trailingSeparator) s += static_cast<char>(std::filesystem::path::preferred_separator);
    return s;
}

std::filesystem::path Utf8Path(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string Utf8Text(const std::filesystem::path& path) {
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteWholeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace quarn::testing
