// Star Courier: the sample game. When started it appends a record of how it
// was started to launch-record.txt beside itself: its command line, its
// working folder and the files beside it, so that tests and the demo can
// prove that the launcher started the installed copy, and how. It asks
// Windows in UTF-16 and writes the record in UTF-8, so that a game installed
// in a folder named in any script records its real names.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string Utf8(const wchar_t* text, int units) {
    if (units <= 0) return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, units, nullptr, 0, nullptr, nullptr);
    std::string out(bytes > 0 ? static_cast<std::size_t>(bytes) : 0, '\0');
    if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, text, units, out.data(), bytes, nullptr, nullptr);
    return out;
}

std::string Utf8(const std::wstring& text) { return Utf8(text.data(), static_cast<int>(text.size())); }

std::wstring OwnFolder() {
    std::wstring path(MAX_PATH, L'\0');
    DWORD n = 0;
    // A cut path comes back as the whole size: ask again with more room.
    while ((n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) ==
               path.size() &&
           path.size() < 32768) {
        path.assign(path.size() * 2, L'\0');
    }
    path.resize(n);
    std::size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
}

std::wstring WorkingFolder() {
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    if (size == 0) return {};
    std::wstring folder(size, L'\0');
    const DWORD n = GetCurrentDirectoryW(size, folder.data());
    folder.resize(n < size ? n : 0);
    return folder;
}

void ListFolder(std::FILE* out, const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        std::fprintf(out, "beside: %s%s\n", Utf8(name).c_str(), isFolder ? "\\" : "");
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const std::wstring folder = OwnFolder();
    std::FILE* out = _wfopen((folder + L"launch-record.txt").c_str(), L"a");
    if (out == nullptr) return 1;
    const wchar_t* commandLine = GetCommandLineW();
    std::fprintf(out, "started: Star Courier\n");
    std::fprintf(out, "command line: %s\n", Utf8(commandLine, lstrlenW(commandLine)).c_str());
    std::fprintf(out, "working folder: %s\n", Utf8(WorkingFolder()).c_str());
    ListFolder(out, folder);
    std::fprintf(out, "end\n");
    std::fclose(out);
    return 0;
}
