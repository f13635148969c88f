// holder FILE READY RELEASE: keeps FILE open with no sharing at all, as a
// running game keeps its program busy, until the file RELEASE exists (or
// half a minute has passed, so that a broken test cannot leave it behind).
// READY is written once the file is held: "held", or "failed <error>" when
// FILE could not be opened, and then the holder ends at once.
#include <windows.h>

#include <cstdio>

namespace {

void Announce(const char* path, const char* text, DWORD error) {
    std::FILE* out = std::fopen(path, "w");
    if (out == nullptr) return;
    if (error != 0) {
        std::fprintf(out, "%s %lu\n", text, static_cast<unsigned long>(error));
    } else {
        std::fprintf(out, "%s\n", text);
    }
    std::fclose(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: holder FILE READY RELEASE\n");
        return 2;
    }
    HANDLE held = CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
        Announce(argv[2], "failed", GetLastError());
        return 1;
    }
    Announce(argv[2], "held", 0);
    for (int waited = 0; waited < 30000; waited += 50) {
        if (GetFileAttributesA(argv[3]) != INVALID_FILE_ATTRIBUTES) break;
        Sleep(50);
    }
    CloseHandle(held);
    return 0;
}
