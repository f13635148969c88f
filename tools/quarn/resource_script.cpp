// The resource script that quarn pack compiles with windres.
#include "resource_script.h"

#include <charconv>

#include "identity/package.h"

namespace quarn::tool {
namespace {

// English (United States) for every resource, as the launcher's dialog and
// version table are.
// The script is UTF-8 (file names in OriginalFilename may be in any
// script); windres reads it in the Western code page unless told.
constexpr std::string_view kHeader =
    "#include <windows.h>\n"
    "#pragma code_page(65001)\n"
    "\n"
    "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US\n"
    "\n";

std::string RcDataLine(std::string_view name, const std::string& file) {
    return std::string(name) + " RCDATA " + ResourceString(file) + "\n";
}

std::string VersionBlock(const FileVersion& v, const std::string& programName) {
    const std::string commas = std::to_string(v[0]) + ", " + std::to_string(v[1]) + ", " +
                               std::to_string(v[2]) + ", " + std::to_string(v[3]);
    const std::string dotted = ResourceString(FormatFileVersion(v));
    return "1 VERSIONINFO\n"
           "FILEVERSION " + commas + "\n"
           "PRODUCTVERSION " + commas + "\n"
           "FILEFLAGSMASK VS_FFI_FILEFLAGSMASK\n"
           "FILEFLAGS 0\n"
           "FILEOS VOS_NT_WINDOWS32\n"
           "FILETYPE VFT_APP\n"
           "FILESUBTYPE VFT2_UNKNOWN\n"
           "BEGIN\n"
           "  BLOCK \"StringFileInfo\"\n"
           "  BEGIN\n"
           "    BLOCK \"040904B0\"\n"
           "    BEGIN\n"
           "      VALUE \"FileVersion\", " + dotted + "\n"
           "      VALUE \"ProductVersion\", " + dotted + "\n" +
           (programName.empty() ? std::string()
                                : "      VALUE \"OriginalFilename\", " + ResourceString(programName) + "\n") +
           "    END\n"
           "  END\n"
           "  BLOCK \"VarFileInfo\"\n"
           "  BEGIN\n"
           "    VALUE \"Translation\", 0x409, 1200\n"
           "  END\n"
           "END\n"
           "\n";
}

// Digits only: from_chars alone would stop early at anything else.
bool ParseVersionNumber(std::string_view number, std::uint16_t* value) {
    if (number.empty() || number.size() > 5 ||
        number.find_first_not_of("0123456789") != std::string_view::npos) {
        return false;
    }
    unsigned parsed = 0;
    std::from_chars(number.data(), number.data() + number.size(), parsed);
    if (parsed > 0xFFFF) return false;
    *value = static_cast<std::uint16_t>(parsed);
    return true;
}

}  // namespace

bool ParseFileVersion(std::string_view text, FileVersion* version) {
    FileVersion parsed{};
    std::size_t count = 0;
    for (;;) {
        if (count == parsed.size()) return false;  // a fifth number
        const std::size_t dot = text.find('.');
        if (!ParseVersionNumber(text.substr(0, dot), &parsed[count++])) return false;
        if (dot == std::string_view::npos) break;
        text.remove_prefix(dot + 1);
    }
    if (count != parsed.size()) return false;
    *version = parsed;
    return true;
}

std::string FormatFileVersion(const FileVersion& v) {
    return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." +
           std::to_string(v[3]);
}

std::string ResourceString(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') {
            quoted += "\"\"";
        } else if (c == '\\') {
            quoted += "\\\\";
        } else {
            quoted.push_back(c);
        }
    }
    quoted.push_back('"');
    return quoted;
}

std::string MakeResourceScript(const PackageResources& files, const FileVersion& version) {
    std::string script(kHeader);
    script += RcDataLine(kPayloadResource, files.gameData);
    if (!files.gameId.empty()) script += RcDataLine(kIdentityResource, files.gameId);
    if (!files.gameConfig.empty()) script += RcDataLine(kConfigResource, files.gameConfig);
    script += "\n";
    script += VersionBlock(version, files.programName);
    // The launcher's own dialog template, as the kit carries it.
    script += "#include \"" + std::string(kDialogScript) + "\"\n";
    return script;
}

}  // namespace quarn::tool
