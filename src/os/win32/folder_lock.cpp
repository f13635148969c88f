// The folder lock on Win32: a named mutex. An abandoned mutex (its holder
// ended without releasing it) is taken over as held: whatever the holder left
// half done, the stamp still tells the new holder what to do.
#include "os/folder_lock.h"

#include <cstdio>
#include <string>

#include "os/folder.h"
#include "windows_api.h"

namespace quarn::os {

namespace {

// The full path, '/' as '\', letters upper case, no final separator, as
// UTF-8: one text for every spelling of the folder that the launcher can
// produce.
bool CanonicalFolder(const char* folder, std::string* canonical) {
    std::wstring wide;
    if (!win32::WideArgument(folder, &wide)) return false;
    std::wstring full(MAX_PATH, L'\0');
    DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(),
                                    nullptr);
    if (length >= full.size()) {
        full.assign(length, L'\0');
        length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(),
                                  nullptr);
    }
    if (length == 0 || length >= full.size()) return false;
    full.resize(length);
    for (wchar_t& c : full) {
        if (c == L'/') c = L'\\';
    }
    win32::FoldCase(&full);
    while (full.size() > 3 && full.back() == L'\\') full.pop_back();
    *canonical = win32::FromWide(full);
    return true;
}

// FNV-1a, 64 bits: the name only has to tell folders apart.
std::uint64_t Hash(const std::string& text) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (const unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001B3ull;
    }
    return hash;
}

}  // namespace

bool FolderLock::Acquire(const char* folder, std::uint32_t waitMilliseconds) {
    Release();
    std::string canonical;
    if (folder == nullptr || !FolderExists(folder) || !CanonicalFolder(folder, &canonical)) {
        return false;
    }
    char name[64];
    std::snprintf(name, sizeof name, "Local\\QuarnInstall-%016llx",
                  static_cast<unsigned long long>(Hash(canonical)));
    std::wstring wideName;
    if (!win32::ToWide(name, &wideName)) return false;
    HANDLE mutex = CreateMutexW(nullptr, FALSE, wideName.c_str());
    if (mutex == nullptr) return false;
    const DWORD waited = WaitForSingleObject(mutex, waitMilliseconds);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        CloseHandle(mutex);
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(mutex);
    return true;
}

void FolderLock::Release() {
    if (handle_ == kNone) return;
    HANDLE mutex = reinterpret_cast<HANDLE>(handle_);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    handle_ = kNone;
}

}  // namespace quarn::os
