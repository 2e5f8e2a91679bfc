// The program's entry point. It lives alone in this file so that only the program links it from
// the library; the test executables bring their own main.
//
// The program is linked with -municode, so the C runtime's start-up calls wmain. The runtime's own
// wmain (which calls wWinMain) sits in a system library searched after ours, where it would find
// no wWinMain; defining wmain here makes the linker take this file, and wWinMain with it, from the
// library.
#include "app.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR cmdLine, int cmdShow)
{
    return AfxWinMain(instance, previous, cmdLine, cmdShow);
}

namespace {

// The command line without the program's own name, as WinMain receives it.
LPWSTR ArgumentsOnly(LPWSTR line)
{
    if (!line)
        return const_cast<LPWSTR>(L"");
    if (*line == L'"') {
        ++line;
        while (*line && *line != L'"')
            ++line;
        if (*line == L'"')
            ++line;
    } else {
        while (*line > L' ')
            ++line;
    }
    while (*line && *line <= L' ')
        ++line;
    return line;
}

} // namespace

int wmain(int, wchar_t**)
{
    STARTUPINFOW si = { sizeof(si) };
    ::GetStartupInfoW(&si);
    int show = (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : SW_SHOWDEFAULT;
    return wWinMain(::GetModuleHandleW(nullptr), nullptr, ArgumentsOnly(::GetCommandLineW()), show);
}
