#include "launch/launch_sequence.h"

#include <cstring>
#include <string>

#include "base/text.h"
#include "identity/guest_identity.h"
#include "identity/identity_record.h"
#include "identity/version_query.h"
#include "launch/install_payload.h"
#include "launch/paths.h"
#include "os/folder_lock.h"
#include "os/resources.h"
#include "os/shell.h"

namespace quarn {

namespace {

// A composed path in a fixed buffer; a text that would not fit marks it
// failed, and a failed path is never used.
class ComposedPath {
public:
    ComposedPath() = default;
    explicit ComposedPath(const char* start) { append(start); }

    ComposedPath& append(const char* text) {
        if (text == nullptr) return *this;
        std::size_t n = std::strlen(text);
        if (length_ + n + 1 > sizeof text_) {
            failed_ = true;
        } else if (!failed_) {
            std::memcpy(text_ + length_, text, n + 1);
            length_ += n;
        }
        return *this;
    }
    ComposedPath& separator() {
        if (!failed_ && !AppendPathSeparator(text_, sizeof text_)) failed_ = true;
        length_ = std::strlen(text_);
        return *this;
    }
    char* text() { return text_; }
    const char* text() const { return text_; }
    bool usable() const { return !failed_; }

private:
    char text_[kComposedPathSize] = {};
    std::size_t length_ = 0;
    bool failed_ = false;
};

// "bin\<owner>\<game>\": the identity's last '.' becomes the separator.
ComposedPath GameSubfolder(const std::string& identity) {
    ComposedPath folder("bin");
    folder.separator().append(identity.c_str());
    char* lastDot = std::strrchr(folder.text(), '.');
    if (lastDot != nullptr) *lastDot = '\\';
    folder.separator();
    return folder;
}

bool IsUsableFolder(const ComposedPath& folder) {
    return folder.usable() && (PathExists(folder.text()) || CreateFolderPath(folder.text()));
}

bool RegistryCandidate(const ComposedPath& subfolder, ComposedPath* chosen) {
    char value[kUserPathLimit + 1] = {};
    if (!os::ReadUserRegistryText(kSettingsKey, kUserPathValue, value, kUserPathLimit)) {
        return false;
    }
    ComposedPath folder(value);
    folder.separator().append(subfolder.text());
    if (!IsUsableFolder(folder)) return false;
    *chosen = folder;
    return true;
}

bool ShellFolderCandidate(int folderId, const ComposedPath& subfolder, ComposedPath* chosen) {
    char base[os::kSpecialFolderSize] = {};
    if (!os::SpecialFolderPath(folderId, base)) return false;
    ComposedPath folder(base);
    folder.separator().append("QUARN").separator().append(subfolder.text());
    if (!IsUsableFolder(folder)) return false;
    *chosen = folder;
    return true;
}

bool ChooseInstallFolder(const std::string& identity, ComposedPath* chosen) {
    const ComposedPath subfolder = GameSubfolder(identity);
    if (!subfolder.usable()) return false;
    return RegistryCandidate(subfolder, chosen) ||
           ShellFolderCandidate(os::kFolderDocuments, subfolder, chosen) ||
           ShellFolderCandidate(os::kFolderApplicationData, subfolder, chosen);
}

struct Stamp {
    std::uint32_t buildNumber = 0;
    std::uint32_t payloadSize = 0;
};

// False when the stamp file cannot be read; numbers that are not there read as 0.
bool ReadStamp(const char* path, Stamp* stamp) {
    std::FILE* file = os::OpenTextFile(path, "rt");
    if (file == nullptr) return false;
    unsigned long build = 0, size = 0;
    // Numbers that are not there (an empty file) stay 0, so how many were read
    // does not matter.
    [[maybe_unused]] const int matched = std::fscanf(file, "%lu %lu", &build, &size);
    std::fclose(file);
    stamp->buildNumber = static_cast<std::uint32_t>(build);
    stamp->payloadSize = static_cast<std::uint32_t>(size);
    return true;
}

bool WriteStamp(const char* path, const Stamp& stamp) {
    std::FILE* file = os::OpenTextFile(path, "wt");
    if (file == nullptr) return false;
    bool ok = std::fprintf(file, "%lu %lu", static_cast<unsigned long>(stamp.buildNumber),
                           static_cast<unsigned long>(stamp.payloadSize)) > 0;
    return std::fclose(file) == 0 && ok;
}

// The identity, copied at once: the decoders' buffers are reused.
std::string TakeIdentity(std::uint32_t* payloadSize) {
    *payloadSize = 0;
    if (const char* identity = LoadGameIdentity(nullptr, nullptr, payloadSize)) return identity;
    if (const char* guest = GetLaunchIdentity()) return guest;
    return {};
}

// Unpacks when the stamp differs; the stamp is rewritten only after a
// complete unpacking, so that an interrupted or partial update is tried again
// at the next start instead of being recorded as installed.
void UpdateInstallation(const ComposedPath& folder, LaunchReport& report) {
    ComposedPath stampPath(folder.text());
    stampPath.separator().append(kStampFileName);
    if (!stampPath.usable()) return;
    Stamp stored;
    const Stamp current{report.buildNumber, report.payloadSize};
    const bool readable = ReadStamp(stampPath.text(), &stored);
    if (readable && stored.buildNumber == current.buildNumber &&
        stored.payloadSize == current.payloadSize) {
        return;
    }
    report.unpacked = true;
    InstallPayload(nullptr, folder.text(), &report.unpackComplete);
    if (report.unpackComplete) report.stampWritten = WriteStamp(stampPath.text(), current);
}

// A name that stays inside the install folder: no separator, no drive, not
// "." or "..", no control character. What OriginalFilename holds is the
// package's word, which is not trusted further than that.
bool IsPlainFileName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (const char c : name) {
        if (IsPathSeparator(c) || c == ':' || static_cast<unsigned char>(c) < 0x20) return false;
    }
    return true;
}

// The installed program named like the launcher; when it is missing, the one
// the launcher's OriginalFilename names, if that exists. Empty: neither.
std::string ChooseProgram(const ComposedPath& folder) {
    const char* ownName = FileNamePart(os::ProgramName());
    if (ownName == nullptr) return {};
    ComposedPath program(folder.text());
    program.separator().append(ownName);
    if (!program.usable()) return {};
    if (PathExists(program.text())) return program.text();
    const std::string original = GetOriginalFilename(nullptr);
    if (!IsPlainFileName(original) || original == ownName) return program.text();
    ComposedPath recorded(folder.text());
    recorded.separator().append(original.c_str());
    if (recorded.usable() && PathExists(recorded.text())) return recorded.text();
    return program.text();
}

}  // namespace

std::uint32_t StartProgram(const char* path) {
    // Quoted, so that a path with spaces cannot start another program.
    char commandLine[os::kCommandLineSize];
    std::size_t n = std::strlen(path);
    if (n + 3 > sizeof commandLine) return 0;
    commandLine[0] = '"';
    std::memcpy(commandLine + 1, path, n);
    commandLine[n + 1] = '"';
    commandLine[n + 2] = '\0';
    return os::StartProcess(commandLine);
}

LaunchReport RunLaunchSequence(std::uint32_t lockWaitMilliseconds) {
    LaunchReport report;
    report.identity = TakeIdentity(&report.payloadSize);
    report.buildNumber = GetFileBuildNumber(nullptr, nullptr);
    if (report.identity.empty()) return report;

    ComposedPath folder;
    if (!ChooseInstallFolder(report.identity, &folder)) return report;
    report.installFolder = folder.text();

    {
        os::FolderLock lock;
        report.lockHeld = lock.Acquire(folder.text(), lockWaitMilliseconds);
        UpdateInstallation(folder, report);
    }
    report.program = ChooseProgram(folder);
    if (!report.program.empty()) report.processId = StartProgram(report.program.c_str());
    return report;
}

}  // namespace quarn
