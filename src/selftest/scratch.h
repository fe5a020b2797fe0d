// The self-test's temporary folders, file identity, and the environment the
// programs it starts get.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace flashgate::selftest {

// A folder of the self-test's own under the user's temporary folder, made on
// the first call and removed, with everything in it, by RemoveScratch.
const std::wstring& ScratchRoot();
void RemoveScratch();

// Removes a folder and everything in it; a file still held open by a program
// that is ending gets a few tries.
bool RemoveTree(const std::wstring& folder);

// Whether two paths name one file, or one folder.
bool SameFile(const std::wstring& a, const std::wstring& b);

std::wstring FolderOf(const std::wstring& path);
std::wstring ThisProgram();

// This process's environment with `set` set and `removed` taken out, as a
// block for CreateProcessW, sorted by name as Windows keeps it.
std::wstring EnvironmentBlock(const std::vector<std::pair<std::wstring, std::wstring>>& set,
                              const std::vector<std::wstring>& removed);

}  // namespace flashgate::selftest
