// Child processes for quarn pack, with posix_spawn: no shell, so paths with
// spaces or quotes need no quoting.
#include "run_tool.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace quarn::tool {
namespace {

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::filesystem::path FindProgram(const std::string& program) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (program.find('/') != std::string::npos) {
        return fs::is_regular_file(program, error) ? fs::path(program) : fs::path();
    }
    const char* path = std::getenv("PATH");
    std::string_view rest = path != nullptr ? path : "";
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::string_view folder = rest.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        if (folder.empty()) continue;
        const fs::path candidate = fs::path(folder) / program;
        if (fs::is_regular_file(candidate, error)) return candidate;
    }
    return {};
}

ToolRun RunTool(const std::vector<std::string>& argv, const std::filesystem::path& workingFolder,
                const std::filesystem::path& outputFile) {
    ToolRun run;
    std::vector<char*> words;
    for (const std::string& word : argv) words.push_back(const_cast<char*>(word.c_str()));
    words.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // windres hands its input to the preprocessor through a shell command
    // line; plain relative names in the working folder need no quoting there.
    posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
    posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, words[0], &actions, nullptr, words.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        run.startError = std::strerror(spawned);
        return run;
    }
    run.started = true;
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    run.output = ReadText(outputFile);
    return run;
}

}  // namespace quarn::tool
