// quarn list ARCHIVE: one line per entry, read through the archive interface
// from the named file, or from the payload of a package.
#include <cstdio>
#include <string>

#include "archive/archive.h"
#include "command.h"

namespace quarn::tool {
namespace {

void PrintEntry(const ZipEntry& entry) {
    std::printf("%6d %10u %10u  %-19s  0x%02X  %s\n", entry.index, entry.uncompressedSize,
                entry.compressedSize, FormatUtc(entry.writeTime).c_str(), entry.attributes,
                PrintableName(entry.name).c_str());
}

// Lists every entry; a record that cannot be read is reported in its place
// and the listing goes on. True when every record was read.
bool ListEntries(ArchiveHandle* archive, std::int32_t count) {
    bool allRead = true;
    std::printf("%6s %10s %10s  %-19s  %-4s  %s\n", "Index", "Size", "Packed", "Modified (UTC)",
                "Attr", "Name");
    for (std::int32_t index = 0; index < count; ++index) {
        ZipEntry entry;
        const std::int32_t result = GetEntry(archive, index, &entry);
        if (result == ArchOk) {
            PrintEntry(entry);
        } else {
            std::printf("%6d  error: %s\n", index, ArchiveResultText(result));
            allRead = false;
        }
    }
    return allRead;
}

}  // namespace

int RunList(Arguments arguments) {
    const std::string& path = arguments[0];
    if (const std::string problem = ArchiveFileProblem(path); !problem.empty()) {
        ReportError(path, problem);
        return kExitFailure;
    }
    os::ResourceData payload;
    ArchiveHandle* archive = FindPackagePayload(path, &payload)
                                 ? OpenArchive(payload.data, payload.size, SourceMemory)
                                 : OpenArchive(path.c_str(), 0, SourceFileName);
    if (archive == nullptr) {
        ReportError(path, ArchiveResultText(lastArchiveResult));
        return kExitFailure;
    }
    ZipEntry total;
    const std::int32_t counted = GetEntry(archive, -1, &total);
    bool ok = counted == ArchOk;
    if (ok) {
        ok = ListEntries(archive, total.index);
    } else {
        ReportError(path, ArchiveResultText(counted));
    }
    CloseArchive(archive);
    std::fflush(stdout);
    return ok ? kExitOk : kExitFailure;
}

}  // namespace quarn::tool
