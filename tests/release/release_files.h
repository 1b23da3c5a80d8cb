// Helpers for the release tests: where the built release lies, whole files,
// and snapshots of the registry and of the user's folders to compare.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace release {

// The release the fixture built: HEFT_RELEASE_ROOT holds out/ (what the
// release command wrote), unpacked/win32 and unpacked/win64 (the zips'
// contents) and epoch (the commit time in seconds).
std::wstring Root();
std::wstring Out(const std::wstring& name);
std::wstring Unpacked(const char* arch, const std::wstring& name);
std::uint32_t Epoch();

std::vector<unsigned char> ReadFile(const std::wstring& path);
bool Exists(const std::wstring& path);
// Both readable, not empty, and equal byte for byte.
::testing::AssertionResult SameFile(const std::wstring& a, const std::wstring& b);

std::wstring Widen(const std::string& s);
std::string Narrow(const std::wstring& s);

// Every key and value of HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE in the
// 64-bit view (which holds the 32-bit one as Wow6432Node), as path -> type
// and data. What Wine keeps in user.reg and system.reg, read live: the
// files themselves are written only every half minute or so.
using Snapshot = std::map<std::wstring, std::wstring>;
Snapshot Registry();

// Every file and folder under the user's application data (local and
// roaming, which holds the Start menu) and the temporary folder: files with
// their size and write time, folders by name alone.
Snapshot UserFolders();

// What differs, one line per entry, for a failure message.
std::string Differences(const Snapshot& before, const Snapshot& after);

}  // namespace release
