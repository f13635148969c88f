// The launch table: a test double for what a POSIX program knows of itself
// (src/os/posix/running_program.h). Tests and fuzz targets fill it
// in-process, and the seam's launch services answer from it, so that the
// launch sequence runs natively. Linked as objects into the POSIX test
// programs only (target quarn_launch_table); shipped programs link the plain
// provider instead.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quarn::testing {

struct LaunchTable {
    // RCDATA resources of the running program, by name.
    std::map<std::string, std::string> resources;
    // The first command-line argument; none stands for an empty argument list.
    std::optional<std::string> programName;
    // What ModuleFileName reports for the running program.
    std::string modulePath;
    // Version information blocks (the bytes of a VS_VERSIONINFO resource) by
    // file name, as VersionInfo would read them from the file. A name that is
    // not in the table is looked up as a PE file on disk.
    std::map<std::string, std::string> versionBlocks;
    std::uint16_t userLanguage = 0x0409;
    // Registry values under HKEY_CURRENT_USER: "<key path>\\<value name>" -> data.
    std::map<std::string, std::string> registry;
    // Special folders by shell folder id.
    std::map<int, std::string> specialFolders;
    // Every command line StartProcess was asked to start, and whether it
    // succeeds: a program is started when its path (the command line's first
    // word, quotes removed) names an existing file.
    std::vector<std::string> startedCommandLines;
    std::uint32_t nextProcessId = 1000;
};

// The one table of the process. Reset() empties it again.
LaunchTable& TestLaunchTable();
void ResetTestLaunchTable();

}  // namespace quarn::testing
