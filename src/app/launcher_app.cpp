#include "app/launcher_app.h"

#include <winsock2.h>

#include <cstring>

#include "base/text.h"
#include "launch/launch_sequence.h"
#include "os/system_library.h"

namespace quarn {

namespace {

// The user32 functions of the shell, from the system folder (see the import
// allow-list of the package tests): user32 is a KnownDLL on Windows, but
// Wine's user32 imports version.dll, which a launcher started from a
// Downloads folder would otherwise take from beside itself.
struct User32 {
    decltype(&DialogBoxParamA) dialogBox = os::SystemFunctionAs<decltype(&DialogBoxParamA)>(
        "user32.dll", "DialogBoxParamA");
    decltype(&EndDialog) endDialog = os::SystemFunctionAs<decltype(&EndDialog)>("user32.dll", "EndDialog");
    decltype(&PostQuitMessage) postQuit =
        os::SystemFunctionAs<decltype(&PostQuitMessage)>("user32.dll", "PostQuitMessage");
    decltype(&MessageBoxA) messageBox =
        os::SystemFunctionAs<decltype(&MessageBoxA)>("user32.dll", "MessageBoxA");
};

const User32& UserInterface() {
    static const User32 functions;
    return functions;
}

// The caption a message box gets by default: the program's name without
// folder and extension.
void DefaultCaption(char* caption, DWORD size) {
    // One byte beyond what the call may fill, so the text ends in a zero
    // even where a truncated name is not terminated.
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    lstrcpynA(caption, FileNamePart(path), static_cast<int>(size));
    if (char* dot = std::strrchr(caption, '.')) *dot = '\0';
}

}  // namespace

INT_PTR LauncherDialog::DoModal(HINSTANCE instance) {
    if (UserInterface().dialogBox == nullptr) {
        // No dialog to be had: the game must still be installed and started.
        RunLaunchSequence();
        return -1;
    }
    return UserInterface().dialogBox(instance, MAKEINTRESOURCEA(kLauncherDialogTemplate), nullptr,
                                     DialogProc, reinterpret_cast<LPARAM>(this));
}

BOOL LauncherDialog::OnInitDialog(HWND window) {
    RunLaunchSequence();
    if (UserInterface().endDialog != nullptr) UserInterface().endDialog(window, IDOK);
    if (UserInterface().postQuit != nullptr) UserInterface().postQuit(0);
    return TRUE;
}

void LauncherDialog::OnWindowPosChanging(WINDOWPOS* position) {
    position->flags &= ~static_cast<UINT>(SWP_SHOWWINDOW);
}

INT_PTR CALLBACK LauncherDialog::DialogProc(HWND window, UINT message, WPARAM, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return reinterpret_cast<LauncherDialog*>(lParam)->OnInitDialog(window);
        case WM_WINDOWPOSCHANGING:
            OnWindowPosChanging(reinterpret_cast<WINDOWPOS*>(lParam));
            return FALSE;  // the default handling follows
        default:
            return FALSE;
    }
}

LauncherApp launcherApp;

bool LauncherApp::InitInstance() {
    WSADATA sockets{};
    if (WSAStartup(MAKEWORD(1, 1), &sockets) != 0) {
        char caption[MAX_PATH];
        DefaultCaption(caption, sizeof caption);
        if (UserInterface().messageBox != nullptr) {
            UserInterface().messageBox(nullptr, kSocketsFailedMessage, caption, MB_OK);
        }
        return false;
    }
    LauncherDialog dialog;
    dialog.DoModal(GetModuleHandleA(nullptr));
    WSACleanup();
    return false;
}

}  // namespace quarn
