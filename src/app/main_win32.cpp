// The launcher's entry point. For now it only starts and ends; the shell
// with its hidden dialog and the launch sequence come next.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
