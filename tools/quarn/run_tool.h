// Runs the mingw-w64 tools that quarn pack needs as child processes. The one
// place in the tool that starts processes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quarn::tool {

struct ToolRun {
    bool started = false;   // false: the program could not be started at all
    int exitCode = -1;      // the exit status; -1 when it died of a signal
    std::string output;     // what it wrote on stdout and stderr
    std::string startError; // why it could not be started
};

// Runs argv[0] (looked up on PATH when it holds no '/') with the arguments
// that follow in the folder workingFolder, its output caught in outputFile,
// and waits for it.
ToolRun RunTool(const std::vector<std::string>& argv, const std::filesystem::path& workingFolder,
                const std::filesystem::path& outputFile);

// The program's path: itself when it names a path, else the first match on
// PATH; empty when there is none.
std::filesystem::path FindProgram(const std::string& program);

}  // namespace quarn::tool
