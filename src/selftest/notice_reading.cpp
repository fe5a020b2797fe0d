// Reading a notice's texts, buttons and icon, and dismissing it.
#include "selftest/notice_reading.h"

#include "selftest/notice_icon.h"
#include "selftest/program_support.h"
#include "selftest/wine_ways.h"

namespace flashgate::selftest {
namespace {

constexpr DWORD kPollMs = 50;
constexpr DWORD kHoldMs = 400;         // how long a notice is watched holding the program
constexpr DWORD kClickLimitMs = 1000;  // for OK's click to take, before the command it sends is sent
const DWORD kDismissLimitMs = 5000 * SlowerBy();

// The window belongs to another process: WM_GETTEXT asks its own thread.
std::wstring TextOf(HWND window) {
    wchar_t text[512] = L"";
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, ARRAYSIZE(text), reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000,
                        &copied);
    return std::wstring(text, copied);
}

// On Windows an icon handle serves every process of the session, so the icon
// is drawn here, whatever the screen shows (a notice behind another
// program's window, on a runner).
std::wstring IconShown(HWND iconControl) {
    RECT area{};
    GetClientRect(iconControl, &area);
    if (area.right <= 0 || area.bottom <= 0) {
        return L"none";
    }
    DWORD_PTR icon = 0;
    SendMessageTimeoutW(iconControl, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &icon);
    if (icon != 0) {
        const std::wstring drawn = IconOfHandle(reinterpret_cast<HICON>(icon), area.right, area.bottom);
        if (!drawn.empty() && drawn != L"none") {
            return drawn;
        }
    }
    return IconOffScreen(iconControl);
}

bool Gone(HWND window, DWORD limitMs) {
    for (DWORD waited = 0; IsWindow(window) && IsWindowVisible(window); waited += kPollMs, Sleep(kPollMs)) {
        if (waited >= limitMs) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = L"";
    GetClassNameW(window, name, ARRAYSIZE(name));
    return name;
}

std::vector<HWND> WindowsOf(DWORD processId, HWND parent, HDESK desktop, Shown shown) {
    struct Search {
        DWORD owner;
        bool byStyle;
        bool hiddenToo;
        std::vector<HWND> found;
    } search{processId, desktop != nullptr, shown == Shown::OrNot, {}};
    const WNDENUMPROC collect = [](HWND window, LPARAM context) -> BOOL CALLBACK {
        Search& seen = *reinterpret_cast<Search*>(context);
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        const bool visible =
            seen.byStyle ? (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0 : IsWindowVisible(window) != FALSE;
        if (process == seen.owner && (visible || seen.hiddenToo)) {
            seen.found.push_back(window);
        }
        return TRUE;
    };
    if (parent != nullptr) {
        EnumChildWindows(parent, collect, reinterpret_cast<LPARAM>(&search));
    } else if (desktop != nullptr) {
        EnumDesktopWindows(desktop, collect, reinterpret_cast<LPARAM>(&search));
    } else {
        EnumWindows(collect, reinterpret_cast<LPARAM>(&search));
    }
    return search.found;
}

// The message box keeps the buttons it does not offer, hidden, so only
// visible children count. A button is its text and, unless it is OK's
// (IDOK), its id: the text is the Windows language's, the id is what Escape
// and the close box end the box by.
NoticeSeen DescribeNotice(HWND notice, DWORD processId) {
    NoticeSeen seen;
    seen.icon = L"none";
    for (HWND child : WindowsOf(processId, notice)) {
        const std::wstring kind = ClassOf(child);
        if (lstrcmpiW(kind.c_str(), L"Button") == 0) {
            const int id = GetDlgCtrlID(child);
            seen.buttons += (seen.buttons.empty() ? L"" : L"|") + (id == IDOK ? L"OK" : TextOf(child) + L"#" + std::to_wstring(id));
        } else if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            seen.icon = IconShown(child);
        } else if (lstrcmpiW(kind.c_str(), L"Static") == 0 && !TextOf(child).empty()) {
            seen.text += (seen.text.empty() ? L"" : L"|") + TextOf(child);
        }
    }
    seen.title = TextOf(notice);
    return seen;
}

bool Holds(HANDLE program, HWND notice) {
    for (DWORD watched = 0; watched < kHoldMs; watched += kPollMs) {
        if (WaitForSingleObject(program, kPollMs) != WAIT_TIMEOUT || !IsWindow(notice)) {
            return false;
        }
    }
    return true;
}

void HoldForPicture(HWND notice, const std::wstring& base) {
    RECT r{};
    GetWindowRect(notice, &r);
    const std::wstring done = base + L".done";
    DeleteFileW(done.c_str());
    test::WriteUtf8(base + L".rect", std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " +
                                         std::to_wstring(r.right - r.left) + L" " + std::to_wstring(r.bottom - r.top) + L"\n");
    for (DWORD waited = 0; waited < 60000 && IsWindow(notice) && GetFileAttributesW(done.c_str()) == INVALID_FILE_ATTRIBUTES;
         waited += kPollMs) {
        Sleep(kPollMs);
    }
}

bool Dismiss(HWND notice, Dismissal how, Seen& seen) {
    if (how == Dismissal::Escape) {
        GUITHREADINFO focus{};
        focus.cbSize = sizeof focus;
        GetGUIThreadInfo(GetWindowThreadProcessId(notice, nullptr), &focus);
        const HWND target = focus.hwndFocus != nullptr ? focus.hwndFocus : notice;
        PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageW(target, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001u));
    } else if (how == Dismissal::Close) {
        PostMessageW(notice, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else {
        if (!IsWindow(notice)) {
            return true;  // gone by itself: nothing left to dismiss
        }
        const HWND ok = GetDlgItem(notice, IDOK);
        if (ok == nullptr) {
            seen.noOkButton = true;
            return false;
        }
        PostMessageW(ok, BM_CLICK, 0, 0);
        if (Gone(notice, kClickLimitMs)) {
            return true;
        }
        // Microsoft documents that BM_CLICK may fail where the dialog is not
        // the active window, and the self-test cannot make another process's
        // window active: on a runner the foreground belongs to another
        // program. The command the button sends its dialog when clicked ends
        // the notice all the same.
        seen.okByCommand = true;
        PostMessageW(notice, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
    }
    return Gone(notice, kDismissLimitMs);
}

}  // namespace flashgate::selftest
