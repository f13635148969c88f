// The launcher's entry point: hands over to the application object, whose
// InitInstance does the whole work and returns false, so that no message
// loop runs and the process ends.
#include <windows.h>

#include "app/launcher_app.h"
#include "os/system_library.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Before anything can load a DLL: from now on only the system folder is
    // searched, never the launcher's own folder (a Downloads folder, where a
    // web page may have dropped a DLL) or the working folder. The launcher's
    // static imports are all DLLs that Windows takes from the system folder
    // anyway (see the import allow-list of the package tests); the others
    // are loaded through os/system_library.h.
    quarn::os::RestrictLibrarySearch();
    quarn::launcherApp.InitInstance();
    return 0;
}
