#include "app/launcher_app.h"

#include <winsock2.h>

#include <string>

#include "base/utf8.h"
#include "launch/launch_sequence.h"
#include "os/system_library.h"

namespace quarn {

namespace {

// The user32 functions of the shell, from the system folder (see the import
// allow-list of the package tests): user32 is a KnownDLL on Windows, but
// Wine's user32 imports version.dll, which a launcher started from a
// Downloads folder would otherwise take from beside itself.
struct User32 {
    decltype(&DialogBoxParamW) dialogBox = os::SystemFunctionAs<decltype(&DialogBoxParamW)>(
        "user32.dll", "DialogBoxParamW");
    decltype(&EndDialog) endDialog = os::SystemFunctionAs<decltype(&EndDialog)>("user32.dll", "EndDialog");
    decltype(&PostQuitMessage) postQuit =
        os::SystemFunctionAs<decltype(&PostQuitMessage)>("user32.dll", "PostQuitMessage");
    decltype(&MessageBoxW) messageBox =
        os::SystemFunctionAs<decltype(&MessageBoxW)>("user32.dll", "MessageBoxW");
};

const User32& UserInterface() {
    static const User32 functions;
    return functions;
}

// The caption a message box gets by default: the program's name without
// folder and extension, in whatever script it is written.
std::wstring DefaultCaption() {
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = 0;
    // A cut path comes back as the whole size: ask again with more room.
    while ((length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) ==
               path.size() &&
           path.size() < 32768) {
        path.assign(path.size() * 2, L'\0');
    }
    path.resize(length);
    std::wstring caption = path.substr(path.find_last_of(L"\\/") + 1);
    const std::size_t dot = caption.rfind(L'.');
    if (dot != std::wstring::npos) caption.resize(dot);
    return caption;
}

std::wstring Wide(const char* text) {
    std::wstring wide;
    AppendUtf16(text, wide);
    return wide;
}

}  // namespace

INT_PTR LauncherDialog::DoModal(HINSTANCE instance) {
    if (UserInterface().dialogBox == nullptr) {
        // No dialog to be had: the game must still be installed and started.
        RunLaunchSequence();
        return -1;
    }
    return UserInterface().dialogBox(instance, MAKEINTRESOURCEW(kLauncherDialogTemplate), nullptr,
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
        if (UserInterface().messageBox != nullptr) {
            UserInterface().messageBox(nullptr, Wide(kSocketsFailedMessage).c_str(),
                                       DefaultCaption().c_str(), MB_OK);
        }
        return false;
    }
    LauncherDialog dialog;
    dialog.DoModal(GetModuleHandleW(nullptr));
    WSACleanup();
    return false;
}

}  // namespace quarn
