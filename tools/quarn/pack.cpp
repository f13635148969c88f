// quarn pack: turns a game folder into a launcher package. The folder is
// zipped as GAMEDATA, the identity enciphered for that payload's size as
// GAMEID, an optional configuration folder zipped and enciphered as
// GAMECONFIG; a resource script with these, the version resource and dialog
// 102 is compiled with windres and linked with a launcher kit, then signed
// with osslsigncode when --sign is given.
//
// Everything is checked before any work starts, and nothing is made that
// inspect would call unsound; the work happens in a scratch folder that is
// removed at the end, and FILE.exe appears only when every step succeeded.
// The same inputs give the same bytes: no time of the moment, no random
// number and no scratch path reaches the package.
#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "base/text.h"
#include "command.h"
#include "identity/package.h"
#include "identity_encoder.h"
#include "image_facts.h"
#include "os/resources.h"
#include "resource_script.h"
#include "run_tool.h"
#include "zip_folder.h"

namespace quarn::tool {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kWindres = QUARN_WINDRES_PROGRAM;
constexpr std::string_view kLinker = QUARN_MINGW_CXX_PROGRAM;
constexpr std::string_view kDefaultKit = QUARN_DEFAULT_KIT;
constexpr std::string_view kInstalledKit = QUARN_INSTALLED_KIT;
constexpr std::string_view kSigner = "osslsigncode";
constexpr const char* kSignPasswordVariable = "QUARN_SIGN_PASSWORD";

struct PackOptions {
    std::string game;
    std::string id;
    bool noId = false;
    std::string version;
    std::string lead;
    bool haveLead = false;
    std::string config;
    std::string out;
    std::string kit;
    std::vector<std::string> excludes;
    std::string sign;
    std::string timestamp;
    std::string level;
};

// What the checked options come to.
struct PackPlan {
    fs::path game;
    bool withId = false;
    std::string owner;
    std::string gameName;
    std::string lead;
    FileVersion version{};
    fs::path config;  // empty: no GAMECONFIG
    fs::path out;
    fs::path kit;
    fs::path windres;
    fs::path linker;
    ZipOptions zip;
    fs::path signCertificate;  // empty: not signed
    std::string timestampUrl;
    fs::path signer;
};

int UsageError(std::string_view message) {
    ReportError({}, std::string(message) + " (see quarn --help)");
    return kExitUsage;
}

// A bad value of an option: the value is repeated, with what to do instead.
int BadValue(std::string_view option, std::string_view value, std::string_view message) {
    ReportError({}, std::string(option) + " '" + PrintableName(value) + "': " + std::string(message));
    return kExitUsage;
}

// The next option's value: joined to it ("--name=value") or the word after
// it. False when there is none.
bool TakeValue(Arguments arguments, std::size_t* i, const std::optional<std::string>& joined,
               std::string* value) {
    if (joined) {
        *value = *joined;
        return true;
    }
    if (*i + 1 == arguments.size()) return false;
    *value = arguments[++*i];
    return true;
}

// Fills options from the words; a usage error is reported and gives kExitUsage.
int ParseOptions(Arguments arguments, PackOptions* options) {
    struct Valued {
        std::string_view name;
        std::string* value;
    };
    const Valued valued[] = {{"--game", &options->game},       {"--id", &options->id},
                             {"--version", &options->version}, {"--lead", &options->lead},
                             {"--config", &options->config},   {"--out", &options->out},
                             {"--kit", &options->kit},         {"--sign", &options->sign},
                             {"--timestamp", &options->timestamp}, {"--level", &options->level}};
    std::vector<std::string> seen;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string word = arguments[i];
        std::optional<std::string> joined;
        if (const std::size_t equals = word.find('=');
            word.starts_with("--") && equals != std::string::npos) {
            joined = word.substr(equals + 1);
            word.resize(equals);
        }
        if (word == "--exclude") {
            std::string pattern;
            if (!TakeValue(arguments, &i, joined, &pattern)) return UsageError(word + " needs a value");
            options->excludes.push_back(std::move(pattern));
            continue;
        }
        if (std::find(seen.begin(), seen.end(), word) != seen.end()) {
            return UsageError(word + " given twice");
        }
        seen.push_back(word);
        if (word == "--no-id") {
            if (joined) return UsageError("--no-id takes no value");
            options->noId = true;
            continue;
        }
        const Valued* match = nullptr;
        for (const Valued& option : valued) {
            if (option.name == word) match = &option;
        }
        if (match == nullptr) return UsageError("pack: unknown option '" + word + "'");
        if (!TakeValue(arguments, &i, joined, match->value)) return UsageError(word + " needs a value");
        if (word == "--lead") options->haveLead = true;
    }
    if (options->game.empty()) return UsageError("pack needs --game DIR");
    if (options->id.empty() == !options->noId) {
        return UsageError("pack needs either --id OWNER.GAME or --no-id");
    }
    if (options->noId && options->haveLead) return UsageError("--lead goes with --id, not --no-id");
    if (options->noId && options->config.empty()) {
        return UsageError("--no-id needs --config DIR with a hub.ini: without either, the package "
                          "has no identity and installs nothing");
    }
    if (options->version.empty()) return UsageError("pack needs --version A.B.C.D");
    if (options->out.empty()) return UsageError("pack needs --out FILE.exe");
    if (!options->timestamp.empty() && options->sign.empty()) {
        return UsageError("--timestamp goes with --sign");
    }
    return kExitOk;
}

int Refuse(std::string_view subject, std::string_view message) {
    ReportError(subject, message);
    return kExitFailure;
}

// Why one half of an identity is unfit, with what to do instead; empty when fit.
std::string IdentityHalfProblem(std::string_view what, const std::string& half) {
    if (half.empty()) {
        return "the " + std::string(what) + " is empty: an identity is OWNER.GAME with both halves, "
               "e.g. lumenworks.lumendrift";
    }
    bool upper = false;
    bool other = false;
    for (const char c : half) {
        upper = upper || (c >= 'A' && c <= 'Z');
        other = other || !((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '@' ||
                           (c >= 'A' && c <= 'Z'));
    }
    const std::string quoted = "the " + std::string(what) + " '" + half + "'";
    if (other) return quoted + " may hold only a-z, 0-9 and '@'";
    if (upper) return quoted + " holds capital letters: use lowercase";
    return {};
}

int CheckIdentity(const PackOptions& options, PackPlan* plan) {
    if (options.noId) return kExitOk;
    const std::size_t dot = options.id.find('.');
    if (dot == std::string::npos || options.id.find('.', dot + 1) != std::string::npos) {
        return BadValue("--id", options.id,
                        "an identity is OWNER.GAME, with exactly one '.', e.g. lumenworks.lumendrift");
    }
    plan->withId = true;
    plan->owner = options.id.substr(0, dot);
    plan->gameName = options.id.substr(dot + 1);
    plan->lead = options.lead;
    for (const auto& [what, half] : {std::pair<std::string_view, const std::string&>{"owner", plan->owner},
                                     {"game", plan->gameName}}) {
        if (const std::string problem = IdentityHalfProblem(what, half); !problem.empty()) {
            return BadValue("--id", options.id, problem);
        }
    }
    // The record does not depend on the payload size: check it before any work.
    std::string resource;
    std::string error;
    if (!MakeGameIdResource(plan->owner, plan->gameName, plan->lead, 0, &resource, &error)) {
        return BadValue(options.haveLead ? "--lead" : "--id",
                        options.haveLead ? options.lead : options.id, error);
    }
    return kExitOk;
}

bool IsFolder(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

// The .exe files at the folder's top, sorted, for a message about a missing one.
std::string ProgramsAtTop(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() > 4 && EqualsIgnoringAsciiCase(std::string_view(name).substr(name.size() - 4), ".exe")) {
            names.push_back(name);
        }
    }
    if (names.empty()) return "it holds no .exe file";
    std::sort(names.begin(), names.end());
    std::string list;
    for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
    return "its .exe files: " + list;
}

// A package without an identity works only when its configuration gives the
// guest identity: a hub.ini at the top, found as the launcher looks, letter
// case ignored.
bool HoldsHubIni(const fs::path& config) {
    std::error_code error;
    for (fs::directory_iterator it(config, error), end; !error && it != end; it.increment(error)) {
        if (EqualsIgnoringAsciiCase(it->path().filename().string(), "hub.ini") &&
            it->is_regular_file(error)) {
            return true;
        }
    }
    return false;
}

int CheckFolders(const PackOptions& options, PackPlan* plan) {
    plan->out = fs::absolute(options.out);
    const fs::path program = plan->out.filename();
    if (program.empty() || program == "." || program == "..") {
        return Refuse(options.out, "names no file");
    }
    if (IsFolder(plan->out)) return Refuse(options.out, "is a folder");
    // A missing folder of the output is made once the package is built.
    std::error_code error;
    for (fs::path above = plan->out.parent_path(); !above.empty(); above = above.parent_path()) {
        const fs::file_status status = fs::status(above, error);
        if (status.type() == fs::file_type::directory) break;
        if (status.type() != fs::file_type::not_found) {
            return Refuse(options.out, above.string() + " is in its path and is not a folder");
        }
        if (above == above.parent_path()) break;
    }

    plan->game = fs::absolute(options.game);
    if (!IsFolder(plan->game)) return Refuse(options.game, "no such game folder");
    // The launcher starts the installed file that bears its own name.
    const fs::path gameProgram = plan->game / program;
    if (fs::symlink_status(gameProgram, error).type() != fs::file_type::regular) {
        return Refuse(options.game, "holds no file named " + program.string() +
                                        " at its top (letter case matters; " +
                                        ProgramsAtTop(plan->game) +
                                        "): the launcher starts the game's program under the "
                                        "package's own file name");
    }
    if (fs::equivalent(gameProgram, plan->out, error)) {
        return Refuse(options.out, "would overwrite the game's own program");
    }
    if (!options.config.empty()) {
        plan->config = fs::absolute(options.config);
        if (!IsFolder(plan->config)) return Refuse(options.config, "no such configuration folder");
        if (options.noId && !HoldsHubIni(plan->config)) {
            return Refuse(options.config,
                          "holds no hub.ini at its top: a package made with --no-id gets its "
                          "guest identity from it and installs nothing without one (add hub.ini, "
                          "or give --id OWNER.GAME)");
        }
    }
    return kExitOk;
}

// An installed quarn finds its kit beside itself, in ../lib/quarn/kit; one
// run from its build tree uses the kit of the Windows build.
fs::path DefaultKit() {
    char self[4096];
    if (os::ModuleFileName(nullptr, self, sizeof self) != 0) {
        std::error_code error;
        const fs::path installed = (fs::path(self).parent_path() / kInstalledKit).lexically_normal();
        if (fs::is_regular_file(installed / "launcher.o", error)) return installed;
    }
    return fs::path(kDefaultKit);
}

int CheckTools(const PackOptions& options, PackPlan* plan) {
    plan->kit = fs::absolute(options.kit.empty() ? DefaultKit() : fs::path(options.kit));
    std::error_code error;
    if (!fs::is_regular_file(plan->kit / "launcher.o", error) ||
        !fs::is_regular_file(plan->kit / "link.txt", error) ||
        !fs::is_regular_file(plan->kit / kDialogScript, error)) {
        return Refuse(plan->kit.string(),
                      "no launcher kit here (launcher.o, link.txt, dialog.rc): build the Windows preset "
                      "(cmake --preset windows && cmake --build --preset windows) or name a kit "
                      "with --kit DIR");
    }
    plan->windres = FindProgram(std::string(kWindres));
    if (plan->windres.empty()) {
        return Refuse(kWindres, "not found: install binutils-mingw-w64-x86-64");
    }
    plan->linker = FindProgram(std::string(kLinker));
    if (plan->linker.empty()) return Refuse(kLinker, "not found: install g++-mingw-w64-x86-64-posix");
    if (!options.sign.empty()) {
        plan->signCertificate = fs::absolute(options.sign);
        if (!fs::is_regular_file(plan->signCertificate, error)) {
            return Refuse(options.sign, "no such certificate file (a PKCS#12 file, .p12 or .pfx)");
        }
        plan->timestampUrl = options.timestamp;
        plan->signer = FindProgram(std::string(kSigner));
        if (plan->signer.empty()) return Refuse(kSigner, "not found: install osslsigncode");
    }
    return kExitOk;
}

// SOURCE_DATE_EPOCH, when set: the latest time the package may record.
int ReadSourceDateEpoch(PackPlan* plan) {
    const char* text = std::getenv("SOURCE_DATE_EPOCH");
    if (text == nullptr || *text == '\0') return kExitOk;
    const std::string_view value(text);
    std::int64_t seconds = 0;
    const auto [end, problem] = std::from_chars(value.data(), value.data() + value.size(), seconds);
    if (problem != std::errc() || end != value.data() + value.size() || seconds < 0) {
        return BadValue("SOURCE_DATE_EPOCH", value, "not a count of seconds since 1970");
    }
    plan->zip.latestTime = seconds;
    return kExitOk;
}

// A scratch folder of its own under the system's temporary folder, removed
// with everything in it when the object goes.
class WorkFolder {
public:
    WorkFolder() = default;
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    ~WorkFolder() {
        std::error_code error;
        if (!path_.empty()) fs::remove_all(path_, error);
    }

    bool Create(std::string* problem) {
        std::error_code error;
        const fs::path base = fs::absolute(fs::temp_directory_path(error));
        if (error) {
            *problem = "no temporary folder: " + error.message();
            return false;
        }
        std::random_device seed;
        std::mt19937_64 random(seed());
        for (int attempt = 0; attempt < 100; ++attempt) {
            const fs::path candidate = base / ("quarn-pack-" + std::to_string(random() % 1000000000));
            if (fs::create_directory(candidate, error)) {
                path_ = candidate;
                return true;
            }
            if (error) break;
        }
        *problem = base.string() + ": no scratch folder can be made there" +
                   (error ? ": " + error.message() : std::string());
        return false;
    }

    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

bool WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

// The one line of link.txt, split at blanks.
std::vector<std::string> KitLinkArguments(const fs::path& kit) {
    std::ifstream in(kit / "link.txt");
    std::string line;
    std::getline(in, line);
    std::istringstream words(line);
    std::vector<std::string> arguments;
    for (std::string word; words >> word;) arguments.push_back(word);
    return arguments;
}

bool RunStep(const std::vector<std::string>& argv, const fs::path& work) {
    const ToolRun run = RunTool(argv, work, work / "tool-output.txt");
    if (!run.started) {
        ReportError(argv[0], "cannot be started: " + run.startError);
        return false;
    }
    if (run.exitCode == 0) return true;
    ReportError(argv[0], run.exitCode < 0 ? "was killed"
                                          : "failed with exit status " +
                                                std::to_string(run.exitCode) + ":");
    std::fputs(run.output.c_str(), stderr);
    return false;
}

// The outermost folder on the way to path that does not exist yet; empty
// when its folder exists.
fs::path TopmostMissingFolder(const fs::path& path) {
    std::error_code error;
    fs::path missing;
    for (fs::path above = path.parent_path(); !above.empty() && !fs::exists(above, error);
         above = above.parent_path()) {
        missing = above;
        if (above == above.parent_path()) break;
    }
    return missing;
}

// Puts the linked file in place: copied beside the target first, so that
// the target is either the old file or the whole new one. Folders made for
// it are taken away again when it cannot be written.
bool Deliver(const fs::path& linked, const fs::path& out) {
    fs::path partial = out;
    partial += ".quarn-partial";
    const fs::path made = TopmostMissingFolder(out);
    std::error_code error;
    if (!made.empty()) fs::create_directories(out.parent_path(), error);
    if (!error) fs::copy_file(linked, partial, fs::copy_options::overwrite_existing, error);
    if (!error) fs::rename(partial, out, error);
    if (error) {
        std::error_code ignored;
        fs::remove(partial, ignored);
        if (!made.empty()) fs::remove_all(made, ignored);
        ReportError(out.string(), "cannot be written: " + error.message());
        return false;
    }
    return true;
}

struct Built {
    ZippedFolder payload;
    ZippedFolder config;
};

void PrintWarnings(const std::vector<std::string>& warnings) {
    for (const std::string& warning : warnings) ReportError({}, "warning: " + warning);
}

// The resources and their script, written into the scratch folder.
int WriteResources(const PackPlan& plan, const fs::path& dir, Built* built) {
    std::string error;
    if (!ZipFolder(plan.game, dir / "payload.zip", plan.zip, &built->payload, &error)) {
        return Refuse({}, error);
    }
    PrintWarnings(built->payload.warnings);
    // The launcher starts the installed program named like itself; a package
    // saved under another name finds it again through OriginalFilename.
    PackageResources files{"payload.zip", {}, {}, plan.out.filename().string()};
    if (!plan.config.empty()) {
        ZipOptions configOptions;
        configOptions.latestTime = plan.zip.latestTime;
        configOptions.level = plan.zip.level;
        if (!ZipFolder(plan.config, dir / "config.zip", configOptions, &built->config, &error)) {
            return Refuse({}, error);
        }
        files.gameConfig = "gameconfig.bin";
        if (!WriteFile(dir / files.gameConfig, MakeGameConfigResource(built->config.bytes))) {
            return Refuse(dir.string(), "cannot write");
        }
    }
    // Resources alone past the limit: refused before the slow steps.
    const std::string tooLarge =
        ImageSizeProblem(built->payload.bytes.size() + built->config.bytes.size());
    if (!tooLarge.empty()) return Refuse(plan.game.string(), tooLarge);
    if (plan.withId) {
        std::string resource;
        if (!MakeGameIdResource(plan.owner, plan.gameName, plan.lead,
                                static_cast<std::uint32_t>(built->payload.bytes.size()), &resource,
                                &error)) {
            return Refuse({}, error);
        }
        files.gameId = "gameid.bin";
        if (!WriteFile(dir / files.gameId, resource)) return Refuse(dir.string(), "cannot write");
    }
    std::error_code copied;
    fs::copy_file(plan.kit / kDialogScript, dir / kDialogScript, copied);
    if (copied || !WriteFile(dir / "resources.rc", MakeResourceScript(files, plan.version))) {
        return Refuse(dir.string(), "cannot write");
    }
    return kExitOk;
}

// Signs package.exe into signed.exe. The password reaches the signer
// through a file only its owner can read, never on a command line that
// every user of the machine can see.
bool Sign(const PackPlan& plan, const fs::path& dir) {
    const fs::path passwordFile = dir / "sign-password";
    const char* password = std::getenv(kSignPasswordVariable);
    std::error_code error;
    bool written = WriteFile(passwordFile, {});
    if (written) fs::permissions(passwordFile, fs::perms::owner_read | fs::perms::owner_write, error);
    written = written && !error && WriteFile(passwordFile, password != nullptr ? password : "");
    if (!written) {
        ReportError(dir.string(), "cannot write");
        return false;
    }
    std::vector<std::string> sign = {plan.signer.string(), "sign", "-pkcs12",
                                     plan.signCertificate.string(), "-readpass",
                                     passwordFile.string(), "-h", "sha256"};
    if (plan.zip.latestTime) {
        sign.insert(sign.end(), {"-time", std::to_string(*plan.zip.latestTime)});
    }
    if (!plan.timestampUrl.empty()) sign.insert(sign.end(), {"-ts", plan.timestampUrl});
    sign.insert(sign.end(), {"-in", "package.exe", "-out", "signed.exe"});
    const bool signedOk = RunStep(sign, dir);
    fs::remove(passwordFile, error);
    return signedOk;
}

int Build(const PackPlan& plan, Built* built) {
    WorkFolder work;
    std::string error;
    if (!work.Create(&error)) return Refuse({}, error);
    const fs::path& dir = work.path();

    if (const int written = WriteResources(plan, dir, built); written != kExitOk) return written;
    if (!RunStep({plan.windres.string(), "-O", "coff", "-i", "resources.rc", "-o", "resources.o"},
                 dir)) {
        return kExitFailure;
    }
    // No time stamp in the PE header, so that the same inputs give the same
    // file; the checksum then covers nothing that changes either.
    std::vector<std::string> link = {plan.linker.string(), "-static", "-Wl,--no-insert-timestamp",
                                     "-o", "package.exe", (plan.kit / "launcher.o").string(),
                                     "resources.o"};
    for (std::string& argument : KitLinkArguments(plan.kit)) link.push_back(std::move(argument));
    if (!RunStep(link, dir)) return kExitFailure;
    ImageFacts facts;
    if (!ReadImageFacts((dir / "package.exe").string(), &facts)) {
        return Refuse(plan.linker.string(), "made no PE file");
    }
    if (const std::string tooLarge = ImageSizeProblem(facts.imageSize); !tooLarge.empty()) {
        return Refuse(plan.game.string(), tooLarge);
    }
    if (const std::string risk = ImageSizeRisk(facts.imageSize); !risk.empty()) PrintWarnings({risk});
    if (plan.signCertificate.empty()) {
        return Deliver(dir / "package.exe", plan.out) ? kExitOk : kExitFailure;
    }
    if (!Sign(plan, dir)) return kExitFailure;
    return Deliver(dir / "signed.exe", plan.out) ? kExitOk : kExitFailure;
}

void PrintSummary(const PackPlan& plan, const Built& built) {
    std::string line = plan.out.string() + ": " + kPayloadResource + " " +
                       std::to_string(built.payload.bytes.size()) + " bytes (" +
                       std::to_string(built.payload.entries) + " entries), ";
    const std::string identity = kIdentityResource;
    line += plan.withId ? identity + " " + plan.owner + "." + plan.gameName : "no " + identity;
    if (!plan.config.empty()) {
        line += std::string(", ") + kConfigResource + " " +
                std::to_string(built.config.bytes.size()) + " bytes";
    }
    line += ", version " + FormatFileVersion(plan.version);
    if (!plan.signCertificate.empty()) line += ", signed";
    std::puts(line.c_str());
    // Installed copies compare only the build number and the payload size.
    std::printf("installed copies update when the build number (%u, the fourth number of "
                "--version) or the payload size (%zu bytes) differs from theirs\n",
                static_cast<unsigned>(plan.version[3]), built.payload.bytes.size());
}

}  // namespace

int RunPack(Arguments arguments) {
    if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
        std::puts(
            "usage: quarn pack --game DIR (--id OWNER.GAME | --no-id --config DIR) --version A.B.C.D\n"
            "                  [--lead TEXT] [--config DIR] [--exclude GLOB]... --out FILE.exe\n"
            "                  [--kit DIR] [--sign CERT.p12 [--timestamp URL]] [--level 0-9]\n"
            "\n"
            "DIR is zipped as the payload and must hold the game's program as FILE.exe's\n"
            "file name; --config DIR is zipped as the configuration archive (hub.ini in it\n"
            "gives a package without --id the guest identity). --exclude leaves out names\n"
            "that match (a trailing '/' for folders: --exclude .git/ --exclude Thumbs.db).\n"
            "--sign signs the package with the PKCS#12 file; its password is read from\n"
            "the environment variable QUARN_SIGN_PASSWORD. Installed copies update when\n"
            "the build number D or the payload size changes. --level sets the compression,\n"
            "0 (stored) to 9 (smallest), 6 by default.");
        return kExitOk;
    }
    PackOptions options;
    if (const int usage = ParseOptions(arguments, &options); usage != kExitOk) return usage;
    PackPlan plan;
    if (!ParseFileVersion(options.version, &plan.version)) {
        return BadValue("--version", options.version,
                        "a version is four numbers 0-65535, A.B.C.D, e.g. 1.0.0.1");
    }
    if (const int refused = ReadSourceDateEpoch(&plan); refused != kExitOk) return refused;
    for (int (*check)(const PackOptions&, PackPlan*) : {CheckIdentity, CheckFolders, CheckTools}) {
        if (const int refused = check(options, &plan); refused != kExitOk) return refused;
    }
    if (!options.level.empty()) {
        if (options.level.size() != 1 || options.level[0] < '0' || options.level[0] > '9')
            return BadValue("--level", options.level, "a level is one digit, 0 (stored) to 9 (smallest)");
        plan.zip.level = options.level[0] - '0';
    }
    plan.zip.excludes = options.excludes;
    plan.zip.required = plan.out.filename().string();
    Built built;
    const int result = Build(plan, &built);
    if (result == kExitOk) PrintSummary(plan, built);
    return result;
}

}  // namespace quarn::tool
