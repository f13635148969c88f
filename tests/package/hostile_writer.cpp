// Writes the hostile-archive corpus for the launcher tests into a folder:
// LABEL.zip, a GAMEID for it (identity velmor.hostile, enciphered with the
// archive's size) as LABEL.gameid, and corpus.txt, which says per archive
// whether installing it must be complete and which files must come out:
//   archive LABEL COMPLETE(0|1)
//   file LABEL NAME-IN-HEX DATA-IN-HEX
#include <cstdio>
#include <string>

#include "quarn/identity_encoder.h"
#include "support/hostile_archives.h"

namespace {

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: hostile_writer FOLDER\n");
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "\\";
    std::string manifest;
    for (const auto& c : quarn::testing::HostileArchives()) {
        std::string gameId, error;
        if (!quarn::tool::MakeGameIdResource("velmor", "hostile", "", static_cast<std::uint32_t>(c.bytes.size()),
                                             &gameId, &error) ||
            !WriteFile(folder + c.label + ".zip", c.bytes) || !WriteFile(folder + c.label + ".gameid", gameId)) {
            std::fprintf(stderr, "hostile_writer: %s: cannot write it %s\n", c.label.c_str(), error.c_str());
            return 1;
        }
        const bool complete = c.openResult == 0 && c.failures.empty();
        manifest += "archive " + c.label + (complete ? " 1\n" : " 0\n");
        for (const auto& [name, data] : c.installed) manifest += "file " + c.label + " " + Hex(name) + " " + Hex(data) + "\n";
    }
    if (!WriteFile(folder + "corpus.txt", manifest)) {
        std::fprintf(stderr, "hostile_writer: cannot write corpus.txt\n");
        return 1;
    }
    return 0;
}
