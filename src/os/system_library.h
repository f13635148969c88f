// Functions of system DLLs that a program must not import statically.
//
// A DLL imported statically is looked up by the loader before the program
// runs any code, in the program's own folder first unless Windows always
// takes it from the system folder (the KnownDLLs). A program started from a
// Downloads folder would so run whatever DLL of that name lies beside it.
// Such DLLs are loaded here instead, from the system folder only, and kept
// for the process.
//
// Win32: LoadLibraryEx with the system folder as the only place searched.
// POSIX: there are no such DLLs; every lookup fails.
#pragma once

namespace quarn::os {

// Makes the system folder the only place where the process looks for DLLs
// loaded later without a full path. Called first thing by the launcher.
void RestrictLibrarySearch();

// The address of function `name` in the system DLL `library` (such as
// "user32.dll"), or nullptr when the DLL or the function is missing.
void* SystemFunction(const char* library, const char* name);

// The same, as a pointer of the function's own type.
template <typename Function>
Function SystemFunctionAs(const char* library, const char* name) {
    return reinterpret_cast<Function>(SystemFunction(library, name));
}

}  // namespace quarn::os
