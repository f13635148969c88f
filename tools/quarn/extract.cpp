// quarn extract ARCHIVE DIR: maps the archive and unpacks it with the
// launcher's own installation routine, so that a publisher sees exactly what
// a player's machine will get.
#include <string>

#include "command.h"
#include "launch/unpack_folder.h"
#include "os/mapping.h"

namespace quarn::tool {
namespace {

bool IsFolderCode(std::int32_t code) {
    return code == UnpackErrSaveFolder || code == UnpackErrEnterFolder;
}

void ReportFailures(const UnpackResult& result, const std::string& archivePath,
                    const std::string& folder) {
    if (result.openResult != 0) {
        ReportError(IsFolderCode(result.openResult) ? folder : archivePath,
                    UnpackResultText(result.openResult));
        return;
    }
    for (const UnpackFailure& failure : result.failures) {
        const std::string subject =
            failure.name.empty() ? "entry " + std::to_string(failure.index) : failure.name;
        ReportError(subject, UnpackResultText(failure.code));
    }
    if (result.failures.empty()) ReportError(archivePath, "unpacking incomplete");
}

}  // namespace

int RunExtract(Arguments arguments) {
    const std::string& path = arguments[0];
    const std::string& folder = arguments[1];
    if (const std::string problem = ArchiveFileProblem(path); !problem.empty()) {
        ReportError(path, problem);
        return kExitFailure;
    }
    os::MappedFile mapped;
    if (!os::MapFile(path.c_str(), &mapped)) {
        ReportError(path, "cannot be mapped into memory");
        return kExitFailure;
    }
    const UnpackResult result = UnpackToFolder(mapped.data, mapped.size, folder.c_str());
    os::UnmapFile(&mapped);
    if (result.complete) return kExitOk;
    ReportFailures(result, path, folder);
    return kExitFailure;
}

}  // namespace quarn::tool
