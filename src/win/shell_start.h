// The shell's start of a program that requires administrator rights, which
// asks the user for consent: through functions given (Windows' own, or a
// test's stand-ins).
#pragma once

#include <windows.h>
#include <shellapi.h>

namespace flashgate::win {

// The path of the file or folder at `path` as Windows resolves it once it is
// open (GetFinalPathNameByHandleW): like it, the length written to `final`,
// the size needed where `size` is too small, or 0 on failure.
using FinalPathFunction = DWORD (*)(const wchar_t* path, wchar_t* final, DWORD size);
DWORD FinalPathOf(const wchar_t* path, wchar_t* final, DWORD size);

struct ShellFunctions {
    BOOL(WINAPI* shellExecuteEx)(SHELLEXECUTEINFOW*);
    BOOL(WINAPI* setForegroundWindow)(HWND);
    FinalPathFunction finalPathOf;
};

// Windows' own: the shell's ShellExecuteExW, loaded from System32 when first
// called.
extern const ShellFunctions kWindowsShell;

// Starts the program at `path` through the shell, without waiting for it:
// in this program's current folder, as process creation would start it,
// both named so that the elevated logon session reaches them, and with a
// window of this program's own, never shown, as the request's window, in the
// foreground where this program may put it there.
HRESULT StartThroughShell(const wchar_t* path, int showState, const ShellFunctions& shell = kWindowsShell);

// `path` as every logon session of the user can reach it: a file on a drive
// letter that only this logon session has (a mapped network drive, a
// `subst`) by the share's UNC name or the folder the letter stands for; a
// path on a drive every session has, or one that cannot be resolved, as it
// is. Returns false where `path` does not fit in `reachable`.
bool ForEveryLogonSession(const wchar_t* path, wchar_t (&reachable)[MAX_PATH], FinalPathFunction finalPathOf);

}  // namespace flashgate::win
