#include "support/version_block.h"

#include "base/utf8.h"

namespace quarn::testing {

namespace {

enum : std::uint16_t { kBinary = 0, kText = 1 };

void Append16(std::string& out, std::uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}

void Append32(std::string& out, std::uint32_t v) {
    Append16(out, static_cast<std::uint16_t>(v & 0xFFFF));
    Append16(out, static_cast<std::uint16_t>(v >> 16));
}

void AlignTo32Bits(std::string& out) {
    while (out.size() % 4 != 0) out += '\0';
}

// The UTF-8 text as UTF-16LE units, with its terminating NUL.
std::u16string Units(const std::string& text) {
    std::u16string units;
    if (!AppendUtf16(text, units)) units.clear();
    return units;
}

std::string Wide(const std::string& text) {
    std::string out;
    for (char16_t c : Units(text)) Append16(out, c);
    Append16(out, 0);
    return out;
}

// One structure: wLength, wValueLength, wType, szKey, padding, Value,
// padding, Children. Each child starts on a 32-bit boundary; wLength runs
// to the end of the last byte written, without trailing padding.
std::string Node(const std::string& key, std::uint16_t type, std::uint16_t valueLength,
                 const std::string& value, const std::vector<std::string>& children = {}) {
    std::string out(6, '\0');
    out += Wide(key);
    AlignTo32Bits(out);
    out += value;
    for (const std::string& child : children) {
        AlignTo32Bits(out);
        out += child;
    }
    const auto length = static_cast<std::uint16_t>(out.size());
    out[0] = static_cast<char>(length & 0xFF);
    out[1] = static_cast<char>(length >> 8);
    out[2] = static_cast<char>(valueLength & 0xFF);
    out[3] = static_cast<char>(valueLength >> 8);
    out[4] = static_cast<char>(type & 0xFF);
    out[5] = static_cast<char>(type >> 8);
    return out;
}

std::string FixedFileInfo(const VersionBlockContent& content) {
    std::string out;
    Append32(out, 0xFEEF04BD);  // dwSignature
    Append32(out, 0x00010000);  // dwStrucVersion
    Append32(out, content.fileVersionMS);
    Append32(out, content.fileVersionLS);
    Append32(out, content.fileVersionMS);  // product version
    Append32(out, content.fileVersionLS);
    Append32(out, 0x3F);        // dwFileFlagsMask
    Append32(out, 0);           // dwFileFlags
    Append32(out, 0x00040004);  // VOS_NT_WINDOWS32
    Append32(out, 1);           // VFT_APP
    Append32(out, 0);           // dwFileSubtype
    Append32(out, 0);           // dwFileDateMS
    Append32(out, 0);           // dwFileDateLS
    return out;
}

// A String: its value length counts UTF-16 characters with the NUL.
std::string StringNode(const std::string& name, const std::string& value) {
    return Node(name, kText, static_cast<std::uint16_t>(Units(value).size() + 1), Wide(value));
}

std::string StringFileInfo(const std::vector<VersionStringTable>& tables) {
    std::vector<std::string> tableNodes;
    for (const VersionStringTable& table : tables) {
        std::vector<std::string> strings;
        for (const auto& [name, value] : table.strings) strings.push_back(StringNode(name, value));
        tableNodes.push_back(Node(table.key, kText, 0, "", strings));
    }
    return Node("StringFileInfo", kText, 0, "", tableNodes);
}

// A Var: its value length counts bytes.
std::string VarFileInfo(const std::vector<VersionTranslation>& translations) {
    std::string entries;
    for (const VersionTranslation& t : translations) {
        Append16(entries, t.language);
        Append16(entries, t.codePage);
    }
    std::string translation =
        Node("Translation", kBinary, static_cast<std::uint16_t>(entries.size()), entries);
    return Node("VarFileInfo", kText, 0, "", {translation});
}

}  // namespace

std::string BuildVersionBlock(const VersionBlockContent& content) {
    std::vector<std::string> children;
    if (!content.stringTables.empty()) children.push_back(StringFileInfo(content.stringTables));
    if (content.translations) children.push_back(VarFileInfo(*content.translations));
    const std::string fixed = FixedFileInfo(content);
    return Node("VS_VERSION_INFO", kBinary, static_cast<std::uint16_t>(fixed.size()), fixed,
                children);
}

std::string FileVersionBlock(const std::string& fileVersion) {
    VersionBlockContent content;
    content.stringTables = {{"040904B0", {{"FileVersion", fileVersion}}}};
    content.translations = std::vector<VersionTranslation>{{0x0409, 0x04B0}};
    return BuildVersionBlock(content);
}

}  // namespace quarn::testing
