// Shared by the folder lock's tests on both sides.
#pragma once

#include <future>
#include <string>
#include <utility>

#include "os/folder_lock.h"
#include "support/temp_folder.h"

namespace quarn::os {

// Acquire on a thread of its own: a Win32 mutex lets its owning thread in
// again, so the contract is about other threads and processes.
inline bool AcquireElsewhere(const std::string& folder, std::uint32_t waitMilliseconds) {
    return std::async(std::launch::async, [&] {
               FolderLock other;
               return other.Acquire(folder.c_str(), waitMilliseconds);
           }).get();
}

// Two sibling folders "a" and "b" made in temp, by their paths.
inline std::pair<std::string, std::string> TwoFolders(const quarn::testing::TempFolder& temp) {
    std::filesystem::create_directories(temp / "a");
    std::filesystem::create_directories(temp / "b");
    return {(temp / "a").string(), (temp / "b").string()};
}

}  // namespace quarn::os
