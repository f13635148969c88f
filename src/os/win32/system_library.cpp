// System DLLs on Win32: loaded from System32 only.
#include "os/system_library.h"

#include <string>

#include "windows_api.h"

namespace quarn::os {

void RestrictLibrarySearch() { SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32); }

void* SystemFunction(const char* library, const char* name) {
    if (library == nullptr || name == nullptr) return nullptr;
    // A DLL loaded before is found again by name; it stays loaded for the
    // process, so the functions found here stay valid.
    std::wstring wide;
    if (!win32::WideArgument(library, &wide)) return nullptr;
    HMODULE module = LoadLibraryExW(wide.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(module, name));
}

}  // namespace quarn::os
