// The commands of quarn and the helpers they share.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "os/file.h"
#include "os/resources.h"

namespace quarn::tool {

// Exit statuses: usage errors are told apart from failed work.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

using Arguments = std::span<const std::string>;

// One entry of the command table. The dispatcher checks the argument count
// before run is called, so a command sees exactly the arguments it asked for.
struct Command {
    std::string_view name;
    std::string_view arguments;  // for the usage text, e.g. "ARCHIVE DIR"
    std::string_view summary;
    std::size_t minArguments;
    std::size_t maxArguments;
    int (*run)(Arguments arguments);
};

int RunList(Arguments arguments);
int RunExtract(Arguments arguments);
int RunPack(Arguments arguments);  // built only with libzip
int RunInspect(Arguments arguments);

// Prints "quarn: SUBJECT: MESSAGE" (or "quarn: MESSAGE") as one line on stderr.
void ReportError(std::string_view subject, std::string_view message);

// Why the file cannot serve as an archive (missing, a folder, not a regular
// file, unreadable, 4 GiB or larger); empty when it can be tried.
std::string ArchiveFileProblem(const std::string& path);

// A launcher package is read as the archive it carries: true, with its
// GAMEDATA resource, when the file is a program that holds one. Any other
// file, a self-extracting archive included, is read as a ZIP archive.
bool FindPackagePayload(const std::string& path, os::ResourceData* payload);

// "YYYY-MM-DD HH:MM:SS" in UTC, or "-" for a zero time.
std::string FormatUtc(const os::FileTime& time);

// The name with control bytes shown as \xNN, so that one entry stays one line.
std::string PrintableName(std::string_view name);

}  // namespace quarn::tool
