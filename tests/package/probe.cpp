// A stand-in for the launcher in package tests: a console program linked from
// its own kit with the launcher's libraries. It prints what the package
// identity calls see, one key=value line each, so that a test can check a
// package built by quarn pack under Wine.
//
//   probe.exe [OTHER]   OTHER: another package, by module name
#include <cstdint>
#include <cstdio>
#include <string>

#include "identity/guest_identity.h"
#include "identity/identity_record.h"
#include "identity/version_query.h"

namespace {

constexpr std::uint32_t kUnset = 0xFFFFFFFFu;

void Print(const std::string& key, const char* value) {
    std::printf("%s=%s\n", key.c_str(), value != nullptr ? value : "(none)");
}

// prefix: "" for the running program, "other_" for a module by name.
void PrintIdentity(const std::string& prefix, const char* moduleName) {
    const char* lead = nullptr;
    std::uint32_t size = kUnset;
    const char* identity = quarn::LoadGameIdentity(moduleName, &lead, &size);
    Print(prefix + "identity", identity);
    Print(prefix + "lead", lead);
    Print(prefix + "size", size == kUnset ? nullptr : std::to_string(size).c_str());
}

void PrintBuild(const std::string& prefix, const char* fileName) {
    const char* text = nullptr;
    const std::uint32_t build = quarn::GetFileBuildNumber(fileName, &text);
    Print(prefix + "build", std::to_string(build).c_str());
    Print(prefix + "version", text);
}

}  // namespace

int main(int argc, char** argv) {
    PrintIdentity("", nullptr);
    PrintBuild("", nullptr);
    Print("launch", quarn::GetLaunchIdentity());
    if (argc > 1) {
        PrintIdentity("other_", argv[1]);
        PrintBuild("other_", argv[1]);
    }
    // Asked again after another module's resources were read.
    Print("launch2", quarn::GetLaunchIdentity());
    std::fflush(stdout);
    return 0;
}
