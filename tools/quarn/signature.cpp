// Signature checks through `osslsigncode verify`, read from its report.
#include "signature.h"

#include <stdlib.h>

#include <filesystem>
#include <sstream>
#include <system_error>

#include "run_tool.h"

namespace quarn::tool {
namespace {

namespace fs = std::filesystem;

// The text after "key" on the first line that holds it, trimmed; empty when none does.
std::string ValueAfter(const std::string& report, std::string_view key) {
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t at = line.find(key);
        if (at == std::string::npos) continue;
        std::string value = line.substr(at + key.size());
        while (!value.empty() && (value.back() == ' ' || value.back() == '\r')) value.pop_back();
        return value;
    }
    return {};
}

// A scratch folder of this user's own for the report, removed with it when
// the object goes.
class ReportFolder {
public:
    ReportFolder() {
        std::error_code error;
        std::string pattern = (fs::temp_directory_path(error) / "quarn-verify-XXXXXX").string();
        if (!error && mkdtemp(pattern.data()) != nullptr) folder_ = pattern;
    }
    ~ReportFolder() {
        std::error_code error;
        if (!folder_.empty()) fs::remove_all(folder_, error);
    }
    bool made() const { return !folder_.empty(); }
    fs::path report() const { return folder_ / "report.txt"; }

private:
    fs::path folder_;
};

}  // namespace

SignatureCheck CheckSignature(const std::string& path, const std::string& caFile) {
    const fs::path signer = FindProgram("osslsigncode");
    if (signer.empty()) {
        return {SignatureState::kUnchecked, {}, "osslsigncode not found: install it to check it"};
    }
    std::error_code error;
    std::vector<std::string> argv = {signer.string(), "verify", "-in", fs::absolute(path, error).string()};
    if (!caFile.empty()) argv.insert(argv.end(), {"-CAfile", fs::absolute(caFile, error).string()});
    const ReportFolder scratch;
    if (!scratch.made()) return {SignatureState::kUnchecked, {}, "no scratch folder for its report"};
    const ToolRun run = RunTool(argv, fs::current_path(error), scratch.report());
    if (!run.started) return {SignatureState::kUnchecked, {}, "osslsigncode: " + run.startError};

    SignatureCheck check;
    check.subject = ValueAfter(run.output, "Subject: ");
    if (run.output.find("MISMATCH") != std::string::npos) {
        check.state = SignatureState::kBroken;
        check.detail = "the file was changed after it was signed";
    } else if (run.exitCode == 0 && run.output.find("Signature verification: ok") != std::string::npos) {
        check.state = SignatureState::kVerified;
    } else if (run.output.find("Signing certificate chain verified using") != std::string::npos ||
               !ValueAfter(run.output, "Error: ").empty()) {
        // The digest matched; only the chain of trust failed.
        check.state = SignatureState::kUntrusted;
        const std::string reason = ValueAfter(run.output, "Error: ");
        check.detail = "its certificate is not trusted here" +
                       (reason.empty() ? std::string() : " (" + reason + ")") +
                       ": name the root certificate with --ca FILE";
    } else {
        check.state = SignatureState::kBroken;
        check.detail = "the signature cannot be read";
    }
    return check;
}

}  // namespace quarn::tool
