// quarn extract ARCHIVE DIR: maps the archive (or finds a package's payload)
// and unpacks it with the
// launcher's own installation routine, so that a publisher sees exactly what
// a player's machine will get.
#include <filesystem>
#include <string>
#include <system_error>

#include "command.h"
#include "launch/unpack_folder.h"
#include "os/mapping.h"
#include "os/resources.h"

namespace quarn::tool {
namespace {

// The outermost level of folder that does not exist yet; empty when the
// folder exists.
std::filesystem::path TopmostMissingFolder(const std::string& folder) {
    std::error_code error;
    std::filesystem::path missing;
    for (std::filesystem::path p = std::filesystem::absolute(folder, error).lexically_normal();
         !p.empty() && !std::filesystem::exists(p, error); p = p.parent_path()) {
        missing = p;
        if (p == p.parent_path()) break;
    }
    return missing;
}

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
    if (result.failedEntries > result.failures.size()) {
        ReportError(archivePath, "and " + std::to_string(result.failedEntries - result.failures.size()) +
                                     " more entries not installed");
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
    os::ScopedMapping mapped;
    os::ResourceData payload;
    if (FindPackagePayload(path, &payload)) {
        // The package's payload, as the launcher installs it.
    } else if (os::MapFile(path.c_str(), &mapped)) {
        payload = {mapped.data(), mapped.size()};
    } else {
        ReportError(path, "cannot be mapped into memory");
        return kExitFailure;
    }
    // Unlike the launcher, a user may name a folder several levels deep; one
    // made here for an archive that then fails to open is taken away again.
    std::error_code error;
    const std::filesystem::path made = TopmostMissingFolder(folder);
    if (!made.empty()) std::filesystem::create_directories(folder, error);
    const UnpackResult result = UnpackToFolder(payload.data, payload.size, folder.c_str());
    mapped.reset();  // the memory goes before any clean-up below
    if (result.complete) return kExitOk;
    if (!made.empty() && result.openResult != 0) std::filesystem::remove_all(made, error);
    ReportFailures(result, path, folder);
    return kExitFailure;
}

}  // namespace quarn::tool
