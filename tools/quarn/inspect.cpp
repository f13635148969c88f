// quarn inspect FILE.exe: reads a package the way the launcher does and says
// what a player's machine would get: the identity (or why there is none), the
// build number, the payload with every entry's data checked, and the
// configuration archive, the image size and the signature. Exit 0 only for a
// sound package: an identity with both halves or a guest configuration, a
// payload that opens, every entry intact, an image Windows would load, and no
// signature that the file no longer matches.
//
// The package is read through the launch-services seam by module name: the
// real resource calls on Windows, the PE file on disk elsewhere.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "archive/archive.h"
#include "command.h"
#include "identity/cipher.h"
#include "identity/guest_identity.h"
#include "identity/identity_record.h"
#include "identity/package.h"
#include "identity/version_query.h"
#include "image_facts.h"
#include "launch/unpack_folder.h"
#include "os/file.h"
#include "os/resources.h"
#include "signature.h"

namespace quarn::tool {
namespace {

// Marks a payload size that LoadGameIdentity did not report.
constexpr std::uint32_t kNoSize = 0xFFFFFFFFu;
constexpr std::uint32_t kCheckBlock = 64 * 1024;

struct Verdict {
    bool identity = false;  // a game identity or a guest identity
    bool payload = false;   // opens, and every entry is intact
    bool image = true;      // Windows would load it, and no signature is broken
    std::vector<std::string> problems;
};

void Line(const std::string& key, const std::string& value) {
    std::printf("%-9s %s\n", (key + ":").c_str(), value.c_str());
}

std::string Quoted(const char* text) { return "\"" + PrintableName(text) + "\""; }

// Why LoadGameIdentity gave none, asked of the resources in its order.
std::string MissingIdentityReason(const char* path, std::uint32_t reportedSize) {
    os::ResourceData data;
    const std::string payload = kPayloadResource;
    const std::string identity = kIdentityResource;
    if (!os::FindRcData(path, kPayloadResource, &data)) return "no " + payload + " resource";
    if (data.size == 0) return payload + " is empty";
    if (!os::FindRcData(path, kIdentityResource, &data)) return "no " + identity + " resource";
    if (data.size == 0) return identity + " is empty";
    if (reportedSize != kNoSize) return "the " + identity + " record holds no identity (no '.')";
    return identity + " does not decode for this payload size";
}

void InspectIdentity(const std::string& path, Verdict* verdict) {
    const char* lead = nullptr;
    std::uint32_t size = kNoSize;
    const char* identity = LoadGameIdentity(path.c_str(), &lead, &size);
    // Both live in the decoder's buffer until the next decoding.
    const std::string leadText = lead != nullptr ? Quoted(lead) : std::string();
    if (identity != nullptr) {
        Line("identity", PrintableName(identity));
        const std::string_view text(identity);
        const std::size_t dot = text.find('.');
        if (dot == 0 || dot + 1 == text.size()) {
            // An empty half puts the game straight into its owner's folder,
            // or every game of one name into one folder.
            verdict->problems.push_back(std::string("the identity's ") +
                                        (dot == 0 ? "owner" : "game") + " is empty");
        } else {
            verdict->identity = true;
        }
    } else {
        Line("identity", "none: " + MissingIdentityReason(path.c_str(), size));
    }
    if (!leadText.empty()) Line("lead", leadText);
}

void InspectBuild(const std::string& path) {
    const char* text = nullptr;
    const std::uint32_t build = GetFileBuildNumber(path.c_str(), &text);
    if (text != nullptr) {
        Line("build", std::to_string(build) + " (FileVersion " + Quoted(text) + ")");
    } else {
        Line("build", "0: no FileVersion found");
    }
}

// Reads the entry's data to the end; ArchOk when it is complete and intact.
std::int32_t CheckEntryData(ArchiveHandle* archive, std::int32_t index,
                            std::vector<std::uint8_t>& block) {
    std::int32_t result;
    do {
        result = ExtractEntry(archive, index, block.data(), kCheckBlock, SourceMemory);
    } while (result == ArchDataDelivered);
    return result;
}

void InspectSignature(const std::string& path, const std::string& caFile,
                      std::uint32_t certificateSize, Verdict* verdict) {
    if (certificateSize == 0) {
        Line("signed", "no");
        return;
    }
    const SignatureCheck check = CheckSignature(path, caFile);
    const std::string by = check.subject.empty() ? std::string() : " by " + PrintableName(check.subject);
    switch (check.state) {
    case SignatureState::kVerified:
        Line("signed", "yes" + by + ", verified");
        break;
    case SignatureState::kUntrusted:
        Line("signed", "yes" + by + ", intact but not verified: " + check.detail);
        break;
    case SignatureState::kUnchecked:
        Line("signed", "yes, not checked: " + check.detail);
        break;
    case SignatureState::kBroken:
        Line("signed", "yes" + by + ", BROKEN: " + check.detail);
        verdict->problems.push_back("the signature does not match the file: " + check.detail);
        verdict->image = false;
        break;
    }
}

// The headers: the size Windows maps the program at, and its signature.
void InspectImage(const std::string& path, const std::string& caFile, Verdict* verdict) {
    ImageFacts facts;
    if (!ReadImageFacts(path, &facts)) {
        Line("image", "not a PE file");
        verdict->problems.push_back("not a PE file");
        verdict->image = false;
        return;
    }
    Line("image", std::to_string(facts.imageSize) + " bytes in memory");
    if (const std::string tooLarge = ImageSizeProblem(facts.imageSize); !tooLarge.empty()) {
        verdict->problems.push_back(tooLarge);
        verdict->image = false;
    }
    if (const std::string risk = ImageSizeRisk(facts.imageSize); !risk.empty()) Line("warning", risk);
    InspectSignature(path, caFile, facts.certificateSize, verdict);
}

// Every entry: readable record, a name the launcher installs, intact data.
std::uint32_t CheckEntries(ArchiveHandle* archive, std::int32_t count, Verdict* verdict) {
    std::vector<std::uint8_t> block(kCheckBlock);
    std::uint32_t damaged = 0;
    for (std::int32_t index = 0; index < count; ++index) {
        ZipEntry entry;
        std::int32_t result = GetEntry(archive, index, &entry);
        std::string subject = "entry " + std::to_string(index);
        if (result == ArchOk) {
            subject = PrintableName(entry.name);
            result = IsSafeEntryName(entry.name) ? CheckEntryData(archive, index, block)
                                                 : UnpackErrUnsafeName;
        }
        if (result != ArchOk) {
            Line("damaged", subject + ": " + UnpackResultText(result));
            verdict->problems.push_back(subject + ": " + UnpackResultText(result));
            ++damaged;
        } else if ((entry.attributes & os::kAttrReadOnly) != 0 &&
                   (entry.attributes & os::kAttrDirectory) == 0) {
            // A read-only file stays as it is: every later update skips it.
            Line("warning", subject + " installs read-only: no later update can replace it");
        }
    }
    return damaged;
}

void InspectPayload(const std::string& path, Verdict* verdict) {
    os::ResourceData data;
    if (!os::FindRcData(path.c_str(), kPayloadResource, &data)) {
        Line("payload", std::string("none: no ") + kPayloadResource + " resource");
        verdict->problems.push_back("no payload");
        return;
    }
    const std::string size = std::to_string(data.size) + " bytes";
    ArchiveHandle* archive = OpenArchive(data.data, data.size, SourceMemory);
    if (archive == nullptr) {
        Line("payload", size + ", not an archive: " + ArchiveResultText(lastArchiveResult));
        verdict->problems.push_back("the payload does not open");
        return;
    }
    ZipEntry total;
    if (const std::int32_t counted = GetEntry(archive, -1, &total); counted != ArchOk) {
        Line("payload", size + ", entries cannot be counted: " + ArchiveResultText(counted));
        verdict->problems.push_back("the payload does not open");
        CloseArchive(archive);
        return;
    }
    Line("payload", size + ", " + std::to_string(total.index) + " entries");
    const std::uint32_t damaged = CheckEntries(archive, total.index, verdict);
    Line("entries", damaged == 0 ? "all intact"
                                 : std::to_string(damaged) + " of " + std::to_string(total.index) +
                                       " damaged");
    // The launcher starts the installed file that bears its own name.
    const std::string program = std::filesystem::path(path).filename().string();
    if (FindEntry(archive, program.c_str(), true, nullptr, nullptr) != ArchOk) {
        Line("warning", "the payload holds no " + PrintableName(program) +
                            " at its top: the launcher would start nothing");
    }
    CloseArchive(archive);
    verdict->payload = damaged == 0;
}

// "N bytes, M entries" for the deciphered configuration, or why it is no
// archive; false then.
bool DescribeConfig(const os::ResourceData& config, std::string* description) {
    std::vector<std::uint8_t> copy(config.data, config.data + config.size);
    IdentityCipher().Apply(copy.data(), static_cast<std::uint32_t>(copy.size()));
    *description = std::to_string(config.size) + " bytes";
    ArchiveHandle* archive = OpenArchive(copy.data(), static_cast<std::uint32_t>(copy.size()),
                                         SourceMemory);
    if (archive == nullptr) {
        *description += ", does not decipher to an archive: ";
        *description += ArchiveResultText(lastArchiveResult);
        return false;
    }
    ZipEntry total;
    if (GetEntry(archive, -1, &total) == ArchOk) {
        *description += ", " + std::to_string(total.index) + " entries";
    }
    CloseArchive(archive);
    return true;
}

void InspectConfig(const std::string& path, Verdict* verdict) {
    os::ResourceData config;
    if (!os::FindRcData(path.c_str(), kConfigResource, &config)) {
        Line("config", "none");
        return;
    }
    std::string description;
    bool hub = false;
    if (DescribeConfig(config, &description)) {
        // Asked the way the launcher asks, letter case ignored.
        std::uint32_t hubSize = 0;
        char* content = ReadConfigFile(path.c_str(), "hub.ini", &hubSize);
        hub = content != nullptr;
        description += hub ? ", hub.ini " + std::to_string(hubSize) + " bytes" : ", no hub.ini";
        std::free(content);
        ReadConfigFile(nullptr, nullptr, nullptr);  // closes the cached archive
    }
    Line("config", description);
    if (hub && !verdict->identity) {
        // What GetLaunchIdentity would give when started under this name.
        Line("guest", "Guest." + std::filesystem::path(path).filename().string());
        verdict->identity = true;
    }
}

}  // namespace

int RunInspect(Arguments arguments) {
    std::string path;
    std::string caFile;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--ca" && i + 1 < arguments.size() && caFile.empty()) {
            caFile = arguments[++i];
        } else if (path.empty() && !arguments[i].starts_with("--")) {
            path = arguments[i];
        } else {
            ReportError({}, "usage: quarn inspect [--ca FILE] FILE.exe");
            return kExitUsage;
        }
    }
    if (path.empty()) {
        ReportError({}, "usage: quarn inspect [--ca FILE] FILE.exe");
        return kExitUsage;
    }
    if (const std::string problem = ArchiveFileProblem(path); !problem.empty()) {
        ReportError(path, problem);
        return kExitFailure;
    }
    std::error_code error;
    if (!caFile.empty() && !std::filesystem::is_regular_file(caFile, error)) {
        ReportError(caFile, "no such certificate file");
        return kExitFailure;
    }
    Line("file", PrintableName(path));
    Verdict verdict;
    InspectIdentity(path, &verdict);
    InspectBuild(path);
    InspectImage(path, caFile, &verdict);
    InspectPayload(path, &verdict);
    InspectConfig(path, &verdict);
    if (!verdict.identity) verdict.problems.insert(verdict.problems.begin(), "no identity");
    const bool sound = verdict.identity && verdict.payload && verdict.image;
    Line("verdict", sound ? "sound" : "not sound");
    std::fflush(stdout);
    if (sound) return kExitOk;
    std::string reasons;
    for (const std::string& problem : verdict.problems) {
        reasons += (reasons.empty() ? "" : "; ") + problem;
    }
    ReportError(path, "not a sound package: " + reasons);
    return kExitFailure;
}

}  // namespace quarn::tool
