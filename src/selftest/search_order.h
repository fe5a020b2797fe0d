// Where CreateProcessW looks for a program named without a folder, written
// out on its own so that a check can see, before it starts anything, which
// files a start could reach. It is deliberately not flashgate's search: the
// self-test must not trust the code it checks to keep it safe.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "selftest/scratch.h"

namespace flashgate::test {

inline std::wstring SystemFolder() {
    wchar_t folder[MAX_PATH] = L"";
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder, length < MAX_PATH ? length : 0);
}

inline std::wstring WindowsFolder() {
    wchar_t folder[MAX_PATH] = L"";
    const UINT length = GetWindowsDirectoryW(folder, MAX_PATH);
    return std::wstring(folder, length < MAX_PATH ? length : 0);
}

// The system folders alone: what the programs the self-test starts get as
// PATH, so that a flash utility on this machine's own PATH is out of their
// reach.
inline std::wstring SystemPath() { return SystemFolder() + L";" + WindowsFolder(); }

// The folders in CreateProcessW's order: the starting program's own folder,
// the current folder (unless left out), the 32-bit system folder, the 16-bit
// system folder, the Windows folder, then each folder of `path`. A 32-bit
// program sees System32 through WoW64's redirection, as its children do.
inline std::vector<std::wstring> ProcessCreationSearchFolders(const std::wstring& programFolder,
                                                              const std::wstring& currentFolder,
                                                              const std::wstring& path) {
    std::vector<std::wstring> folders{programFolder};
    if (!currentFolder.empty()) {
        folders.push_back(currentFolder);
    }
    folders.push_back(SystemFolder());
    folders.push_back(WindowsFolder() + L"\\System");
    folders.push_back(WindowsFolder());
    for (size_t from = 0; from <= path.size();) {
        size_t to = path.find(L';', from);
        to = to == std::wstring::npos ? path.size() : to;
        if (to > from) {
            folders.push_back(path.substr(from, to - from));
        }
        from = to + 1;
    }
    return folders;
}

// Every `folder\name` that exists, in the folders' order. A start is judged
// by all of them, not only the first: a program that searched in another
// order (a faulty one, say) could reach any.
inline std::vector<std::wstring> EveryFound(const std::vector<std::wstring>& folders, const std::wstring& name) {
    std::vector<std::wstring> found;
    for (const std::wstring& folder : folders) {
        if (folder.empty()) {
            continue;
        }
        const std::wstring file = folder + (folder.back() == L'\\' ? L"" : L"\\") + name;
        const DWORD attributes = GetFileAttributesW(file.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            found.push_back(file);
        }
    }
    return found;
}

// The first file named `name` in `folders` that is none of `ours`, or empty:
// what a start could reach that its caller did not put there. Files are known
// by identity, as an 8.3 temporary folder, say, names the same file otherwise.
inline std::wstring FirstNotOurs(const std::vector<std::wstring>& folders, const std::wstring& name,
                                 const std::vector<std::wstring>& ours) {
    for (const std::wstring& file : EveryFound(folders, name)) {
        if (std::none_of(ours.begin(), ours.end(), [&](const std::wstring& mine) { return selftest::SameFile(file, mine); })) {
            return file;
        }
    }
    return L"";
}

}  // namespace flashgate::test
