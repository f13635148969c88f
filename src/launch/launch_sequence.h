// The launcher's whole work, without any window: find the game's identity
// and the build number, choose the install folder (the registry's userpath,
// else the documents folder, else the application-data folder, each with
// QUARN\ but the first), unpack the payload there when gameversion.txt does
// not hold (build number, payload size), and start the installed program
// that bears the launcher's own file name.
#pragma once

#include <cstdint>
#include <string>

namespace quarn {

inline constexpr std::uint32_t kComposedPathSize = 500;
inline constexpr std::uint32_t kUserPathLimit = 260;
inline constexpr char kSettingsKey[] = "Software\\Velmor\\QUARN";
inline constexpr char kUserPathValue[] = "userpath";
inline constexpr char kStampFileName[] = "gameversion.txt";

// What one run did, for tests and diagnostics; the launcher itself ignores it.
struct LaunchReport {
    std::string identity;       // empty: none, the run ended at once
    std::string installFolder;  // empty: no usable candidate
    std::uint32_t buildNumber = 0;
    std::uint32_t payloadSize = 0;
    bool unpacked = false;      // the stamp differed and unpacking was tried
    bool unpackComplete = false;
    bool stampWritten = false;
    std::uint32_t processId = 0;  // 0: nothing started
};

LaunchReport RunLaunchSequence();

// Starts the program with its quoted path as the whole command line; the
// process id, or 0 when it did not start or the line would not fit.
std::uint32_t StartProgram(const char* path);

}  // namespace quarn
