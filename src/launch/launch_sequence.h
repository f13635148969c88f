// The launcher's whole work, without any window: find the game's identity
// and the build number, choose the install folder (the registry's userpath,
// else the documents folder, else the application-data folder, each with
// QUARN\ but the first), unpack the payload there when gameversion.txt does
// not hold (build number, payload size), and start the installed program
// that bears the launcher's own file name, or, when there is none, the one
// that the launcher's version information names as OriginalFilename (a
// package saved under another name, such as "Game (1).exe").
//
// The stamp is read and the payload unpacked under the install folder's lock
// (os/folder_lock.h), so that a second launcher started meanwhile waits and
// then finds the stamp current. A holder that does not let go within the wait
// is passed over: the game must start all the same.
#pragma once

#include <cstdint>
#include <string>

namespace quarn {

inline constexpr std::uint32_t kComposedPathSize = 500;
inline constexpr std::uint32_t kUserPathLimit = 260;
inline constexpr char kSettingsKey[] = "Software\\Velmor\\QUARN";
inline constexpr char kUserPathValue[] = "userpath";
inline constexpr char kStampFileName[] = "gameversion.txt";
// Long enough for a large payload on a slow disk; the lock's holder normally
// releases it much sooner, or ends and so releases it.
inline constexpr std::uint32_t kInstallLockWaitMilliseconds = 5 * 60 * 1000;

// What one run did, for tests and diagnostics; the launcher itself ignores it.
struct LaunchReport {
    std::string identity;       // empty: none, the run ended at once
    std::string installFolder;  // empty: no usable candidate
    std::uint32_t buildNumber = 0;
    std::uint32_t payloadSize = 0;
    bool lockHeld = false;      // the install folder's lock was held for the update
    bool unpacked = false;      // the stamp differed and unpacking was tried
    bool unpackComplete = false;
    bool stampWritten = false;
    std::string program;          // the program started or tried; empty: none
    std::uint32_t processId = 0;  // 0: nothing started
};

LaunchReport RunLaunchSequence(std::uint32_t lockWaitMilliseconds = kInstallLockWaitMilliseconds);

// Starts the program with its quoted path as the whole command line; the
// process id, or 0 when it did not start or the line would not fit.
std::uint32_t StartProgram(const char* path);

}  // namespace quarn
