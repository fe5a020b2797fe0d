// A notice read and dismissed the way a person meets it, through the same
// window functions a person's clicks and keys end up in.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "selftest/judging.h"

namespace flashgate::selftest {

// The window class, "#32770" for a message box.
std::wstring ClassOf(HWND window);

enum class Shown { Only, OrNot };

// The visible top-level windows of a process on this thread's desktop, or on
// `desktop`, or the visible child windows of `parent`; with Shown::OrNot the
// hidden ones too. A window on another window station's desktop is visible
// by its own style: the desktop it is on is not.
std::vector<HWND> WindowsOf(DWORD processId, HWND parent = nullptr, HDESK desktop = nullptr, Shown shown = Shown::Only);

// The notice's title, text, buttons and icon.
NoticeSeen DescribeNotice(HWND notice, DWORD processId);

// Whether the program waits on its notice: it keeps running, and the notice
// stays up, for as long as it is watched.
bool Holds(HANDLE program, HWND notice);

// Hands the notice's place on the screen to whoever takes its picture (a
// script outside Wine, say): writes BASE.rect, then waits until BASE.done is
// there, or the notice has gone, for at most a minute.
void HoldForPicture(HWND notice, const std::wstring& base);

// Dismisses the notice the way a person would; each way ends in the dialog
// manager. Returns whether the notice went; notes in `seen` a notice without
// an OK button, and an OK that took its command but not its click.
bool Dismiss(HWND notice, Dismissal how, Seen& seen);

}  // namespace flashgate::selftest
