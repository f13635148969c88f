// quarn pack: turns a game folder into a launcher package. The folder is
// zipped as GAMEDATA, the identity enciphered for that payload's size as
// GAMEID, an optional configuration folder zipped and enciphered as
// GAMECONFIG; a resource script with these, the version resource and dialog
// 102 is compiled with windres and linked with a launcher kit.
//
// Everything is checked before any work starts; the work happens in a
// scratch folder that is removed at the end, and FILE.exe appears only when
// the link succeeded.
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "command.h"
#include "identity/package.h"
#include "identity_encoder.h"
#include "resource_script.h"
#include "run_tool.h"
#include "zip_folder.h"

namespace quarn::tool {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kWindres = QUARN_WINDRES_PROGRAM;
constexpr std::string_view kLinker = QUARN_MINGW_CXX_PROGRAM;
constexpr std::string_view kDefaultKit = QUARN_DEFAULT_KIT;

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
};

int UsageError(std::string_view message) {
    ReportError({}, std::string(message) + " (see quarn --help)");
    return kExitUsage;
}

// Fills options from the words; a usage error is reported and gives kExitUsage.
int ParseOptions(Arguments arguments, PackOptions* options) {
    struct Valued {
        std::string_view name;
        std::string* value;
    };
    const Valued valued[] = {{"--game", &options->game},     {"--id", &options->id},
                             {"--version", &options->version}, {"--lead", &options->lead},
                             {"--config", &options->config}, {"--out", &options->out},
                             {"--kit", &options->kit}};
    std::vector<std::string_view> seen;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        for (const std::string_view earlier : seen) {
            if (earlier == word) return UsageError(word + " given twice");
        }
        seen.push_back(word);
        if (word == "--no-id") {
            options->noId = true;
            continue;
        }
        const Valued* match = nullptr;
        for (const Valued& option : valued) {
            if (option.name == word) match = &option;
        }
        if (match == nullptr) return UsageError("pack: unknown option '" + word + "'");
        if (i + 1 == arguments.size()) return UsageError(word + " needs a value");
        *match->value = arguments[++i];
        if (word == "--lead") options->haveLead = true;
    }
    if (options->game.empty()) return UsageError("pack needs --game DIR");
    if (options->id.empty() == !options->noId) {
        return UsageError("pack needs either --id OWNER.GAME or --no-id");
    }
    if (options->noId && options->haveLead) return UsageError("--lead goes with --id, not --no-id");
    if (options->version.empty()) return UsageError("pack needs --version A.B.C.D");
    if (options->out.empty()) return UsageError("pack needs --out FILE.exe");
    return kExitOk;
}

int Refuse(std::string_view subject, std::string_view message) {
    ReportError(subject, message);
    return kExitFailure;
}

int CheckIdentity(const PackOptions& options, PackPlan* plan) {
    if (options.noId) return kExitOk;
    const std::size_t dot = options.id.find('.');
    if (dot == std::string::npos || options.id.find('.', dot + 1) != std::string::npos) {
        return Refuse(options.id, "an identity is OWNER.GAME, with exactly one '.'");
    }
    plan->withId = true;
    plan->owner = options.id.substr(0, dot);
    plan->gameName = options.id.substr(dot + 1);
    plan->lead = options.lead;
    // The record does not depend on the payload size: check it before any work.
    std::string resource;
    std::string error;
    if (!MakeGameIdResource(plan->owner, plan->gameName, plan->lead, 0, &resource, &error)) {
        return Refuse({}, error);
    }
    return kExitOk;
}

bool IsFolder(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

int CheckFolders(const PackOptions& options, PackPlan* plan) {
    plan->out = fs::absolute(options.out);
    const fs::path program = plan->out.filename();
    if (program.empty() || program == "." || program == "..") {
        return Refuse(options.out, "names no file");
    }
    if (!IsFolder(plan->out.parent_path())) return Refuse(options.out, "its folder does not exist");
    if (IsFolder(plan->out)) return Refuse(options.out, "is a folder");

    plan->game = fs::absolute(options.game);
    if (!IsFolder(plan->game)) return Refuse(options.game, "no such game folder");
    // The launcher starts the installed file that bears its own name.
    std::error_code error;
    const fs::path gameProgram = plan->game / program;
    if (fs::symlink_status(gameProgram, error).type() != fs::file_type::regular) {
        return Refuse(options.game, "holds no file named " + program.string() +
                                        " at its top: the launcher starts the game's program "
                                        "under its own file name");
    }
    if (fs::equivalent(gameProgram, plan->out, error)) {
        return Refuse(options.out, "would overwrite the game's own program");
    }
    if (!options.config.empty()) {
        plan->config = fs::absolute(options.config);
        if (!IsFolder(plan->config)) return Refuse(options.config, "no such configuration folder");
    }
    return kExitOk;
}

int CheckTools(const PackOptions& options, PackPlan* plan) {
    plan->kit = fs::absolute(options.kit.empty() ? fs::path(kDefaultKit) : fs::path(options.kit));
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

// Puts the linked file in place: copied beside the target first, so that
// the target is either the old file or the whole new one.
bool Deliver(const fs::path& linked, const fs::path& out) {
    fs::path partial = out;
    partial += ".quarn-partial";
    std::error_code error;
    fs::copy_file(linked, partial, fs::copy_options::overwrite_existing, error);
    if (!error) fs::rename(partial, out, error);
    if (error) {
        std::error_code ignored;
        fs::remove(partial, ignored);
        ReportError(out.string(), "cannot be written: " + error.message());
        return false;
    }
    return true;
}

struct Built {
    ZippedFolder payload;
    ZippedFolder config;
};

int Build(const PackPlan& plan, Built* built) {
    WorkFolder work;
    std::string error;
    if (!work.Create(&error)) return Refuse({}, error);
    const fs::path& dir = work.path();

    if (!ZipFolder(plan.game, dir / "payload.zip", &built->payload, &error)) {
        return Refuse({}, error);
    }
    // The launcher starts the installed program named like itself; a package
    // saved under another name finds it again through OriginalFilename.
    PackageResources files{"payload.zip", {}, {}, plan.out.filename().string()};
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
    if (!plan.config.empty()) {
        if (!ZipFolder(plan.config, dir / "config.zip", &built->config, &error)) {
            return Refuse({}, error);
        }
        files.gameConfig = "gameconfig.bin";
        if (!WriteFile(dir / files.gameConfig, MakeGameConfigResource(built->config.bytes))) {
            return Refuse(dir.string(), "cannot write");
        }
    }
    std::error_code copied;
    fs::copy_file(plan.kit / kDialogScript, dir / kDialogScript, copied);
    if (copied || !WriteFile(dir / "resources.rc", MakeResourceScript(files, plan.version))) {
        return Refuse(dir.string(), "cannot write");
    }
    if (!RunStep({plan.windres.string(), "-O", "coff", "-i", "resources.rc", "-o", "resources.o"},
                 dir)) {
        return kExitFailure;
    }
    std::vector<std::string> link = {plan.linker.string(), "-static", "-o", "package.exe",
                                     (plan.kit / "launcher.o").string(), "resources.o"};
    for (std::string& argument : KitLinkArguments(plan.kit)) link.push_back(std::move(argument));
    if (!RunStep(link, dir)) return kExitFailure;
    return Deliver(dir / "package.exe", plan.out) ? kExitOk : kExitFailure;
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
    std::puts(line.c_str());
}

}  // namespace

int RunPack(Arguments arguments) {
    if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
        std::puts(
            "usage: quarn pack --game DIR (--id OWNER.GAME | --no-id) --version A.B.C.D\n"
            "                  [--lead TEXT] [--config DIR] --out FILE.exe [--kit DIR]\n"
            "\n"
            "DIR is zipped as the payload and must hold the game's program as FILE.exe's\n"
            "file name; --config DIR is zipped as the configuration archive (hub.ini in it\n"
            "gives a package without --id the guest identity).");
        return kExitOk;
    }
    PackOptions options;
    if (const int usage = ParseOptions(arguments, &options); usage != kExitOk) return usage;
    PackPlan plan;
    if (!ParseFileVersion(options.version, &plan.version)) {
        return Refuse(options.version, "a version is four numbers 0-65535: A.B.C.D");
    }
    for (int (*check)(const PackOptions&, PackPlan*) : {CheckIdentity, CheckFolders, CheckTools}) {
        if (const int refused = check(options, &plan); refused != kExitOk) return refused;
    }
    Built built;
    const int result = Build(plan, &built);
    if (result == kExitOk) PrintSummary(plan, built);
    return result;
}

}  // namespace quarn::tool
