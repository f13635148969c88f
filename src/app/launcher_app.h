// The launcher's application shell on plain Win32: an application object
// whose InitInstance starts Windows Sockets and runs the invisible modal
// dialog (template 102), and the dialog whose initialisation runs the launch
// sequence and ends it before it can ever be shown.
#pragma once

#include <windows.h>

namespace quarn {

inline constexpr int kLauncherDialogTemplate = 102;
inline constexpr char kSocketsFailedMessage[] = "Windows sockets initialization failed.";

class LauncherDialog {
public:
    // Runs the dialog modally; returns when it has ended.
    INT_PTR DoModal(HINSTANCE instance);

    // Runs the launch sequence, ends the dialog and posts the quit message.
    BOOL OnInitDialog(HWND window);
    // No position change may show the dialog.
    static void OnWindowPosChanging(WINDOWPOS* position);

    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

class LauncherApp {
public:
    // False on every path: there is no message loop to run afterwards.
    bool InitInstance();
};

// The one application object of the process.
extern LauncherApp launcherApp;

}  // namespace quarn
