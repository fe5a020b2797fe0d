// The search for a program as process creation makes it.
#include "win/program_search.h"

#include "win/last_error.h"

namespace flashgate::win {
namespace {

// The folders process creation searches, in its order, as one list for
// SearchPathW. Any folder that cannot be named makes the list unusable: a
// search without it could find another file than process creation did.
class SearchList {
public:
    // A folder name of `length` characters; 0 is a failed lookup.
    void Add(const wchar_t* folder, DWORD length) {
        if (length == 0 || length >= MAX_PATH || used_ + length + 2 > kCapacity) {
            complete_ = false;
            return;
        }
        CopyMemory(list_ + used_, folder, length * sizeof(wchar_t));
        used_ += length;
        list_[used_++] = L';';
        list_[used_] = L'\0';
    }

    // PATH last; a program without one searches only the folders before it.
    void AddPath() {
        if (GetEnvironmentVariableW(L"PATH", list_ + used_, kCapacity - used_) >= kCapacity - used_) {
            complete_ = false;
        }
    }

    const wchar_t* get() const { return complete_ ? list_ : nullptr; }

private:
    // Five folders and PATH, which Windows caps at 32,767 characters; the
    // stack has room for it.
    static constexpr DWORD kCapacity = 32767 + 5 * MAX_PATH;
    wchar_t list_[kCapacity];  // text up to used_, written by Add
    DWORD used_ = 0;
    bool complete_ = true;
};

}  // namespace

HRESULT FindProgramAsProcessCreationDoes(const wchar_t* fileName, wchar_t (&path)[MAX_PATH],
                                         GetModuleFileNameFunction getModuleFileName) {
    SearchList folders;
    wchar_t folder[MAX_PATH];

    // The program's own folder, up to and with its last backslash. A path cut
    // short (the whole buffer used) would name another folder: none at all.
    DWORD length = getModuleFileName(nullptr, folder, MAX_PATH);
    if (length >= MAX_PATH) {
        length = 0;
    }
    while (length > 0 && folder[length - 1] != L'\\') {
        --length;
    }
    folders.Add(folder, length);
    // Process creation leaves the current folder out where the system is told to.
    if (NeedCurrentDirectoryForExePathW(fileName)) {
        folders.Add(folder, GetCurrentDirectoryW(MAX_PATH, folder));
    }
    folders.Add(folder, GetSystemDirectoryW(folder, MAX_PATH));
    // The 16-bit system folder has no function of its own: it is System in the
    // Windows folder, which comes next.
    const DWORD windows = GetWindowsDirectoryW(folder, MAX_PATH - 7);
    if (windows == 0 || windows >= MAX_PATH - 7) {
        return HRESULT_FROM_WIN32(ERROR_BAD_PATHNAME);
    }
    lstrcatW(folder, L"\\System");
    folders.Add(folder, windows + 7);
    folders.Add(folder, windows);
    folders.AddPath();
    if (folders.get() == nullptr) {
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    }

    const DWORD found = SearchPathW(folders.get(), fileName, nullptr, MAX_PATH, path, nullptr);
    if (found == 0) {
        return LastError();
    }
    return found < MAX_PATH ? S_OK : HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
}

}  // namespace flashgate::win
