// The shell under Wine: the dialog from template 102 runs its initialisation
// and ends without ever being shown.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "app/launcher_app.h"

namespace quarn {
namespace {

// Records every sign that a window of this thread became visible.
std::vector<HWND> shownWindows;

LRESULT CALLBACK WatchMessages(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* message = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        if (message->message == WM_WINDOWPOSCHANGED) {
            const auto* position = reinterpret_cast<const WINDOWPOS*>(message->lParam);
            if ((position->flags & SWP_SHOWWINDOW) != 0) shownWindows.push_back(message->hwnd);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

struct WatchThread {
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROCRET, WatchMessages, nullptr, GetCurrentThreadId());
    WatchThread() { shownWindows.clear(); }
    ~WatchThread() { UnhookWindowsHookEx(hook); }
};

TEST(LauncherDialog, PositionChangesNeverShowIt) {
    WINDOWPOS position{};
    position.flags = SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE;
    LauncherDialog::OnWindowPosChanging(&position);
    EXPECT_EQ(position.flags, static_cast<UINT>(SWP_NOMOVE | SWP_NOSIZE));
}

TEST(LauncherDialog, RunsModallyAndEndsUnseen) {
    WatchThread watch;
    ASSERT_NE(watch.hook, nullptr);
    LauncherDialog dialog;
    // This test program carries no package, so the launch sequence ends at
    // once; the dialog must still end by itself, with IDOK.
    EXPECT_EQ(dialog.DoModal(GetModuleHandleA(nullptr)), IDOK);
    EXPECT_TRUE(shownWindows.empty());
    // The quit message posted by the dialog is waiting; take it away.
    MSG message;
    EXPECT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// A request to show the dialog while it exists arrives without the flag.
INT_PTR CALLBACK ShowAndEnd(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ShowWindow(window, SW_SHOW);
        SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
        EXPECT_FALSE(IsWindowVisible(window));
        EndDialog(window, IDCANCEL);
        return TRUE;
    }
    return LauncherDialog::DialogProc(window, message, wParam, lParam);
}

TEST(LauncherDialog, ShowRequestsAreRefused) {
    WatchThread watch;
    EXPECT_EQ(DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kLauncherDialogTemplate),
                              nullptr, ShowAndEnd, 0),
              IDCANCEL);
    EXPECT_TRUE(shownWindows.empty());
}

TEST(LauncherApp, InitInstanceReturnsFalse) {
    WatchThread watch;
    EXPECT_FALSE(launcherApp.InitInstance());
    EXPECT_TRUE(shownWindows.empty());
    MSG message;
    PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

}  // namespace
}  // namespace quarn
