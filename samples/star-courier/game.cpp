// Star Courier: the sample game. When started it appends a record of how it
// was started to launch-record.txt beside itself: its command line, its
// working folder and the files beside it, so that tests and the demo can
// prove that the launcher started the installed copy, and how.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string OwnFolder() {
    char path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, n);
    std::size_t cut = folder.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : folder.substr(0, cut + 1);
}

void ListFolder(std::FILE* out, const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        std::fprintf(out, "beside: %s%s\n", name.c_str(), isFolder ? "\\" : "");
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const std::string folder = OwnFolder();
    std::FILE* out = std::fopen((folder + "launch-record.txt").c_str(), "a");
    if (out == nullptr) return 1;
    char workingFolder[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, workingFolder);
    std::fprintf(out, "started: Star Courier\n");
    std::fprintf(out, "command line: %s\n", GetCommandLineA());
    std::fprintf(out, "working folder: %s\n", workingFolder);
    ListFolder(out, folder);
    std::fprintf(out, "end\n");
    std::fclose(out);
    return 0;
}
