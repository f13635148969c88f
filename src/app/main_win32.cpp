// The launcher's entry point: hands over to the application object, whose
// InitInstance does the whole work and returns false, so that no message
// loop runs and the process ends.
#include <windows.h>

#include "app/launcher_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    quarn::launcherApp.InitInstance();
    return 0;
}
