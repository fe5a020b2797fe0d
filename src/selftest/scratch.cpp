// Temporary folders and environment blocks.
#include "selftest/scratch.h"

#include <windows.h>

#include <algorithm>

#include "selftest/handles.h"

namespace flashgate::selftest {

namespace {
std::wstring root;
}  // namespace

const std::wstring& ScratchRoot() {
    if (root.empty()) {
        wchar_t temp[MAX_PATH + 1] = L"";
        GetTempPathW(ARRAYSIZE(temp), temp);
        root = std::wstring(temp) + L"flashgate-selftest-" + std::to_wstring(GetCurrentProcessId());
        RemoveTree(root);
        CreateDirectoryW(root.c_str(), nullptr);
    }
    return root;
}

void RemoveScratch() {
    if (!root.empty()) {
        RemoveTree(root);
        root.clear();
    }
}

bool RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found{};
    const test::UniqueFindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (search) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                for (int attempt = 0; !DeleteFileW(path.c_str()) && attempt < 20; ++attempt) {
                    Sleep(100);
                }
            }
        } while (FindNextFileW(search.get(), &found));
    }
    for (int attempt = 0; attempt < 20; ++attempt, Sleep(100)) {
        if (RemoveDirectoryW(folder.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND ||
            GetLastError() == ERROR_PATH_NOT_FOUND) {
            return true;
        }
    }
    return false;
}

// By volume and file index, so that short names, case and System32's
// redirection do not matter.
bool SameFile(const std::wstring& a, const std::wstring& b) {
    BY_HANDLE_FILE_INFORMATION info[2]{};
    const std::wstring* paths[2] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
        // FILE_FLAG_BACKUP_SEMANTICS: a folder is opened too.
        const test::UniqueFile file(CreateFileW(paths[i]->c_str(), FILE_READ_ATTRIBUTES,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!file || !GetFileInformationByHandle(file.get(), &info[i])) {
            return false;
        }
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

std::wstring ThisProgram() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

std::wstring EnvironmentBlock(const std::vector<std::pair<std::wstring, std::wstring>>& set,
                              const std::vector<std::wstring>& removed) {
    const auto nameOf = [](const std::wstring& entry) {
        // "=C:=C:\folder" entries begin with their '='.
        return entry.substr(0, entry.find(L'=', 1));
    };
    const auto sameName = [](const std::wstring& a, const std::wstring& b) {
        return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
    };
    std::vector<std::wstring> entries;
    const test::UniqueEnvironmentStrings strings(GetEnvironmentStringsW());
    for (const wchar_t* entry = strings.get(); entry != nullptr && *entry != L'\0'; entry += lstrlenW(entry) + 1) {
        const std::wstring name = nameOf(entry);
        const auto named = [&](const std::wstring& other) { return sameName(name, other); };
        if (std::none_of(removed.begin(), removed.end(), named) &&
            std::none_of(set.begin(), set.end(), [&](const auto& pair) { return named(pair.first); })) {
            entries.emplace_back(entry);
        }
    }
    for (const auto& [name, value] : set) {
        entries.push_back(name + L"=" + value);
    }
    std::sort(entries.begin(), entries.end(), [&](const std::wstring& a, const std::wstring& b) {
        return CompareStringOrdinal(nameOf(a).c_str(), -1, nameOf(b).c_str(), -1, TRUE) == CSTR_LESS_THAN;
    });
    std::wstring block;
    for (const std::wstring& entry : entries) {
        block += entry;
        block += L'\0';
    }
    block += L'\0';
    return block;
}

}  // namespace flashgate::selftest
