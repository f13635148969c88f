// Helpers shared by the commands: error lines, archive file checks, times.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "command.h"
#include "identity/package.h"

namespace quarn::tool {

void ReportError(std::string_view subject, std::string_view message) {
    std::string line = "quarn: ";
    if (!subject.empty()) {
        line.append(PrintableName(subject));
        line.append(": ");
    }
    line.append(message);
    line.push_back('\n');
    std::fputs(line.c_str(), stderr);
}

std::string ArchiveFileProblem(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found) return "no such file";
    if (error) return "cannot be examined: " + error.message();
    if (status.type() == fs::file_type::directory) return "is a folder, not an archive";
    if (status.type() != fs::file_type::regular) return "is not a regular file";
    // The reader works with 32-bit offsets and sizes throughout.
    const std::uintmax_t size = fs::file_size(path, error);
    if (error) return "cannot be examined: " + error.message();
    if (size >= (std::uintmax_t{1} << 32)) return "is 4 GiB or larger, beyond what archives may be";
    if (!std::ifstream(path, std::ios::binary)) return "cannot be opened for reading";
    return {};
}

bool FindPackagePayload(const std::string& path, os::ResourceData* payload) {
    char magic[2] = {};
    std::ifstream in(path, std::ios::binary);
    if (!in.read(magic, sizeof magic) || magic[0] != 'M' || magic[1] != 'Z') return false;
    return os::FindRcData(path.c_str(), kPayloadResource, payload);
}

std::string FormatUtc(const os::FileTime& time) {
    if (time.low == 0 && time.high == 0) return "-";
    using namespace std::chrono;
    const std::uint64_t ticks = (std::uint64_t{time.high} << 32) | time.low;
    const sys_seconds instant{
        seconds{static_cast<std::int64_t>(ticks / os::kFileTimeTicksPerSecond) -
                os::kUnixEpochInFileTimeSeconds}};
    const sys_days day = floor<days>(instant);
    const year_month_day date{day};
    const hh_mm_ss clock{instant - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return text;
}

std::string PrintableName(std::string_view name) {
    std::string shown;
    shown.reserve(name.size());
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            shown.append(escape);
        } else {
            shown.push_back(c);
        }
    }
    return shown;
}

}  // namespace quarn::tool
