// Lists the shown top-level windows with a given title as Windows itself sees them, one line
// each: "<handle> <owner> <x> <y> <width> <height>", the client area in screen pixels (under
// Wine, the X server's), the owner 0 for a window of its own. The Wine scenarios use it to find
// where the panel's controls are and how many message boxes it shows.
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

BOOL CALLBACK report(HWND window, LPARAM wanted) {
    wchar_t title[256] = {};
    if (!IsWindowVisible(window) || GetWindowTextW(window, title, 256) == 0 ||
        std::wcscmp(title, reinterpret_cast<const wchar_t*>(wanted)) != 0) {
        return TRUE;
    }
    RECT client{};
    POINT origin{0, 0};
    GetClientRect(window, &client);
    ClientToScreen(window, &origin);
    std::printf(
        "%llu %llu %ld %ld %ld %ld\n",
        static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)),
        static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(GetWindow(window, GW_OWNER))),
        origin.x, origin.y, client.right, client.bottom);
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: window_probe TITLE\n");
        return 2;
    }
    // Screen pixels as they are: a program that is not aware of the display's scale is told
    // sizes scaled back to 96 dpi.
    SetProcessDPIAware();
    EnumWindows(report, reinterpret_cast<LPARAM>(argv[1]));
    std::fflush(stdout);
    return 0;
}
