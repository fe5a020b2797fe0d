// Holders for every Windows handle the self-test, its tests and the bench
// close: one template over the close function and the value that means
// none, and one line a type. Nothing outside this file closes a handle.
#pragma once

#include <windows.h>

#include <utility>

namespace flashgate::test {

inline HANDLE InvalidHandleValue() { return INVALID_HANDLE_VALUE; }
template <class T>
T NoValue() {
    return nullptr;
}

// Owns one `T`, closed by `close` unless it is `none()`. Move-only.
template <class T, auto close, T (*none)() = NoValue<T>>
class UniqueAny {
public:
    UniqueAny() = default;
    explicit UniqueAny(T value) : value_(value) {}
    ~UniqueAny() { reset(); }
    UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        reset(other.release());
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;

    T get() const { return value_; }
    explicit operator bool() const { return value_ != none(); }

    // Closes what is held and holds `value` instead. The last error is kept,
    // so that a failure can be read after its holder has been reset.
    void reset(T value = none()) {
        if (value_ != none()) {
            const DWORD error = GetLastError();
            close(value_);
            SetLastError(error);
        }
        value_ = value;
    }
    // Hands the value over; the holder holds none.
    T release() { return std::exchange(value_, none()); }
    // Closes what is held and hands out the address for a call to fill.
    T* put() {
        reset();
        return &value_;
    }

private:
    T value_ = none();
};

inline void ReleaseScreenDc(HDC dc) { ReleaseDC(nullptr, dc); }

using UniqueHandle = UniqueAny<HANDLE, CloseHandle>;  // processes, threads, jobs, events, tokens
using UniqueFile = UniqueAny<HANDLE, CloseHandle, InvalidHandleValue>;  // CreateFileW, snapshots
using UniqueFindHandle = UniqueAny<HANDLE, FindClose, InvalidHandleValue>;
using UniqueDesktop = UniqueAny<HDESK, CloseDesktop>;
using UniqueWindowStation = UniqueAny<HWINSTA, CloseWindowStation>;
using UniqueScreenDc = UniqueAny<HDC, ReleaseScreenDc>;  // GetDC(nullptr)
using UniqueMemoryDc = UniqueAny<HDC, DeleteDC>;
using UniqueBitmap = UniqueAny<HBITMAP, DeleteObject>;
using UniqueEnvironmentStrings = UniqueAny<LPWCH, FreeEnvironmentStringsW>;
using UniqueKey = UniqueAny<HKEY, RegCloseKey>;

// An object selected into a DC: the one it replaced is selected back.
class UniqueSelection {
public:
    UniqueSelection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~UniqueSelection() {
        if (previous_ != nullptr) {
            SelectObject(dc_, previous_);
        }
    }
    UniqueSelection(const UniqueSelection&) = delete;
    UniqueSelection& operator=(const UniqueSelection&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// Both handles of a started process.
class UniqueProcessInformation {
public:
    UniqueProcessInformation() = default;
    // Takes the handles a successful CreateProcessW wrote into `started`.
    explicit UniqueProcessInformation(const PROCESS_INFORMATION& started)
        : process_(started.hProcess), thread_(started.hThread), id_(started.dwProcessId) {}

    HANDLE process() const { return process_.get(); }
    HANDLE thread() const { return thread_.get(); }
    DWORD id() const { return id_; }
    explicit operator bool() const { return static_cast<bool>(process_); }

    // Closes the thread's handle, which a started program's watcher no longer needs.
    void CloseThread() { thread_.reset(); }

private:
    UniqueHandle process_, thread_;
    DWORD id_ = 0;
};

}  // namespace flashgate::test
