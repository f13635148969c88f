// quarn: the publisher's tool. Looks up the command in a table, checks its
// argument count and runs it.
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"

namespace quarn::tool {
namespace {

constexpr Command kCommands[] = {
    {"list", "ARCHIVE", "print the entries of a ZIP archive or of a package's payload", 1, 1,
     RunList},
    {"extract", "ARCHIVE DIR", "unpack a ZIP archive or a package's payload into DIR as the "
     "launcher does", 2, 2,
     RunExtract},
#ifdef QUARN_HAVE_PACK
    {"pack",
     "--game DIR (--id OWNER.GAME | --no-id) --version A.B.C.D [--lead TEXT] [--config DIR] "
     "[--exclude GLOB]... --out FILE.exe [--kit DIR] [--sign CERT.p12 [--timestamp URL]]",
     "make a launcher package of the game in DIR", 0, 64, RunPack},
#endif
    {"inspect", "[--ca FILE] FILE.exe",
     "check a launcher package: identity, version, signature, payload, config", 1, 3, RunInspect},
};

void PrintUsage(std::FILE* out) {
    std::fputs("usage: quarn COMMAND ARGUMENTS...\n\ncommands:\n", out);
    for (const Command& command : kCommands) {
        const std::string call = std::string(command.name) + " " + std::string(command.arguments);
        const int summaryLength = static_cast<int>(command.summary.size());
        // A long call gets the summary on a line of its own.
        if (call.size() > 24) {
            std::fprintf(out, "  %s\n  %-24s %.*s\n", call.c_str(), "", summaryLength,
                         command.summary.data());
        } else {
            std::fprintf(out, "  %-24s %.*s\n", call.c_str(), summaryLength, command.summary.data());
        }
    }
    std::fputs("\n  quarn --version          print the tool's version\n"
               "\nExit status: 0 success, 1 failure, 2 bad arguments.\n", out);
}

const Command* FindCommand(std::string_view name) {
    for (const Command& command : kCommands) {
        if (command.name == name) return &command;
    }
    return nullptr;
}

int Dispatch(const std::vector<std::string>& words) {
    // Every error is one line; the full usage is asked for with --help.
    if (words.empty()) {
        ReportError({}, "no command given (see quarn --help)");
        return kExitUsage;
    }
    if (words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
        PrintUsage(stdout);
        return kExitOk;
    }
    if (words[0] == "--version") {
        if (words.size() != 1) {
            ReportError({}, "--version takes no arguments");
            return kExitUsage;
        }
        std::printf("quarn %s\n", QUARN_TOOL_VERSION);
        return kExitOk;
    }
    const Command* command = FindCommand(words[0]);
    if (command == nullptr) {
        ReportError({}, "unknown command '" + words[0] + "' (see quarn --help)");
        return kExitUsage;
    }
    const Arguments arguments(words.data() + 1, words.size() - 1);
    if (arguments.size() < command->minArguments || arguments.size() > command->maxArguments) {
        ReportError({}, "usage: quarn " + std::string(command->name) + " " +
                            std::string(command->arguments));
        return kExitUsage;
    }
    return command->run(arguments);
}

}  // namespace
}  // namespace quarn::tool

int main(int argc, char** argv) {
    std::vector<std::string> words(argv + (argc > 0 ? 1 : 0), argv + argc);
    return quarn::tool::Dispatch(words);
}
