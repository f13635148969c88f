// Installs untrusted archives with UnpackToFolder, on two workers, into a real folder and
// checks after each one that nothing was written beside it and that the
// working directory came back.
//
// The target lies several levels below a fresh temporary root, and every
// level must hold only the next one: an entry that climbs out of the target
// by any number of levels up to the root shows as an extra name.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "launch/unpack_folder.h"

namespace {

namespace fs = std::filesystem;

const char* const kLevels[] = {"fence1", "fence2", "fence3", "sandbox", "outer"};
constexpr const char* kTargetName = "game";

struct Sandbox {
    fs::path root;
    fs::path workingFolder;  // the process's, which the unpacking must give back
    fs::path target;
    std::string targetText;  // with a trailing separator, as the launcher names it
};

[[noreturn]] void Violation(const std::string& what) {
    std::fprintf(stderr, "unpack_fuzz: %s\n", what.c_str());
    std::abort();
}

const Sandbox& TheSandbox() {
    static const Sandbox sandbox = [] {
        Sandbox s;
        std::string pattern = (fs::temp_directory_path() / "quarn-unpack-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) Violation("no temporary folder");
        s.root = pattern;
        fs::path at = s.root;
        for (const char* level : kLevels) at /= level;
        fs::create_directories(at);
        s.target = at / kTargetName;
        s.targetText = s.target.string() + "/";
        s.workingFolder = fs::current_path();
        // The root goes at a normal exit; after a violation it stays for a
        // look. libFuzzer's timed end skips this, so fuzz/run.sh gives each
        // run a TMPDIR of its own and empties it.
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(TheSandbox().root, ignored);
        });
        return s;
    }();
    return sandbox;
}

// Each level from the root down must hold exactly the next level, and the
// innermost may hold the target only.
void CheckNothingOutside(const Sandbox& s) {
    fs::path at = s.root;
    const std::size_t depth = std::size(kLevels);
    for (std::size_t i = 0; i <= depth; ++i) {
        const char* expected = i < depth ? kLevels[i] : kTargetName;
        for (const auto& e : fs::directory_iterator(at)) {
            if (e.path().filename() != expected) Violation("written outside: " + e.path().string());
        }
        if (i < depth) at /= kLevels[i];
    }
    std::error_code error;
    if (fs::current_path(error) != s.workingFolder) Violation("working directory not restored");
}

// Removes everything in the target, read-only files and folders included.
void Empty(const fs::path& target) {
    std::error_code ignored;
    if (!fs::exists(target, ignored)) return;
    fs::permissions(target, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (auto it = fs::recursive_directory_iterator(target, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        if (!it->is_symlink(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    for (const auto& e : fs::directory_iterator(target, ignored)) fs::remove_all(e.path(), ignored);
}

// Two workers, so that the shared queue and the per-thread handles meet the
// same inputs as the walk.
constexpr std::uint32_t kWorkers = 2;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 0xFFFFFFFFu) return 0;
    const Sandbox& s = TheSandbox();
    const quarn::UnpackResult result =
        quarn::UnpackToFolder(data, static_cast<std::uint32_t>(size), s.targetText.c_str(), kWorkers);
    CheckNothingOutside(s);
    // Complete means every entry went in; anything failed means not complete.
    if (result.complete && (result.failedEntries != 0 || !result.failures.empty()))
        Violation("complete with failures");
    if (result.failures.size() != std::min<std::size_t>(result.failedEntries, quarn::kMaxListedFailures))
        Violation("failure count differs from the list");
    Empty(s.target);
    return 0;
}
