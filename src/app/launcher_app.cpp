#include "app/launcher_app.h"

#include <winsock2.h>

#include <cstring>

#include "base/text.h"
#include "launch/launch_sequence.h"

namespace quarn {

namespace {

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
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(kLauncherDialogTemplate), nullptr,
                           DialogProc, reinterpret_cast<LPARAM>(this));
}

BOOL LauncherDialog::OnInitDialog(HWND window) {
    RunLaunchSequence();
    EndDialog(window, IDOK);
    PostQuitMessage(0);
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
        MessageBoxA(nullptr, kSocketsFailedMessage, caption, MB_OK);
        return false;
    }
    LauncherDialog dialog;
    dialog.DoModal(GetModuleHandleA(nullptr));
    WSACleanup();
    return false;
}

}  // namespace quarn
