#include "release_files.h"

#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <utility>

namespace release {

std::wstring Widen(const std::string& s) {
  if (s.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

std::string Narrow(const std::wstring& w) {
  if (w.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                      nullptr, nullptr);
  std::string s(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                        nullptr);
  return s;
}

std::wstring Root() {
  const char* env = std::getenv("HEFT_RELEASE_ROOT");
  std::string path = env ? env : "";
  // A Unix path is on Wine's Z: drive.
  if (!path.empty() && path[0] == '/') path.insert(0, "Z:");
  for (char& c : path)
    if (c == '/') c = '\\';
  return Widen(path);
}

std::wstring Out(const std::wstring& name) { return Root() + L"\\out\\" + name; }

std::wstring Unpacked(const char* arch, const std::wstring& name) {
  return Root() + L"\\unpacked\\" + Widen(arch) + L"\\" + name;
}

std::vector<unsigned char> ReadFile(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

::testing::AssertionResult SameFile(const std::wstring& a, const std::wstring& b) {
  const auto x = ReadFile(a), y = ReadFile(b);
  if (!x.empty() && x == y) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << Narrow(a) << " (" << x.size() << " bytes) and " << Narrow(b) << " ("
                                       << y.size() << " bytes) differ";
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::uint32_t Epoch() {
  const auto bytes = ReadFile(Root() + L"\\epoch");
  return static_cast<std::uint32_t>(std::strtoul(std::string(bytes.begin(), bytes.end()).c_str(), nullptr, 10));
}

namespace {

constexpr REGSAM kRead = KEY_READ | KEY_WOW64_64KEY;

std::wstring Hex(const BYTE* p, DWORD n) {
  std::wstring s;
  wchar_t buf[4];
  for (DWORD i = 0; i < n; ++i) {
    std::swprintf(buf, 4, L"%02x", p[i]);
    s += buf;
  }
  return s;
}

// Strings as text, so that a failure reads plainly; the rest in hex.
std::wstring Value(DWORD type, const BYTE* p, DWORD n) {
  if ((type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) && n % sizeof(wchar_t) == 0) {
    std::wstring text(reinterpret_cast<const wchar_t*>(p), n / sizeof(wchar_t));
    for (wchar_t& c : text)
      if (c == L'\0') c = L'|';
    return L"text " + std::to_wstring(type) + L" \"" + text + L"\"";
  }
  return L"type " + std::to_wstring(type) + L" " + Hex(p, n);
}

void Walk(HKEY key, const std::wstring& path, Snapshot& out) {
  out[path] = L"(key)";
  DWORD subkeys = 0, maxSub = 0, values = 0, maxName = 0, maxData = 0;
  if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &maxSub, nullptr, &values, &maxName,
                         &maxData, nullptr, nullptr) != ERROR_SUCCESS)
    return;
  std::vector<wchar_t> name(maxName + 2);
  std::vector<BYTE> data(maxData + 2);
  for (DWORD i = 0;; ++i) {
    DWORD n = static_cast<DWORD>(name.size()), d = static_cast<DWORD>(data.size()), type = 0;
    const LONG r = ::RegEnumValueW(key, i, name.data(), &n, nullptr, &type, data.data(), &d);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r == ERROR_MORE_DATA) {  // changed since the query; read it again
      name.resize(name.size() * 2 + 256);
      data.resize(data.size() * 2 + 4096);
      --i;
      continue;
    }
    if (r != ERROR_SUCCESS) break;
    out[path + L" : " + std::wstring(name.data(), n)] = Value(type, data.data(), d);
  }
  std::vector<wchar_t> sub(maxSub + 2 > 256 ? maxSub + 2 : 256);
  for (DWORD i = 0;; ++i) {
    DWORD n = static_cast<DWORD>(sub.size());
    const LONG r = ::RegEnumKeyExW(key, i, sub.data(), &n, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r != ERROR_SUCCESS) break;
    const std::wstring child(sub.data(), n);
    HKEY h = nullptr;
    if (::RegOpenKeyExW(key, child.c_str(), 0, kRead, &h) == ERROR_SUCCESS) {
      Walk(h, path + L"\\" + child, out);
      ::RegCloseKey(h);
    } else {
      out[path + L"\\" + child] = L"(key, unreadable)";
    }
  }
}

std::wstring Folder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

void List(const std::wstring& dir, Snapshot& out) {
  WIN32_FIND_DATAW fd;
  HANDLE h = ::FindFirstFileW((dir + L"\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = dir + L"\\" + name;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out[path] = L"(folder)";
      // Links out of the prefix (to the Linux home) are not ours to walk.
      if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) List(path, out);
    } else {
      const unsigned long long size = (static_cast<unsigned long long>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
      const unsigned long long time =
          (static_cast<unsigned long long>(fd.ftLastWriteTime.dwHighDateTime) << 32) | fd.ftLastWriteTime.dwLowDateTime;
      out[path] = std::to_wstring(size) + L" bytes, written " + std::to_wstring(time);
    }
  } while (::FindNextFileW(h, &fd));
  ::FindClose(h);
}

}  // namespace

Snapshot Registry() {
  Snapshot out;
  for (auto [root, name] : {std::pair{HKEY_CURRENT_USER, L"HKCU"}, std::pair{HKEY_LOCAL_MACHINE, L"HKLM"}}) {
    HKEY h = nullptr;
    if (::RegOpenKeyExW(root, nullptr, 0, kRead, &h) != ERROR_SUCCESS) continue;
    Walk(h, name, out);
    ::RegCloseKey(h);
  }
  return out;
}

Snapshot UserFolders() {
  Snapshot out;
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  std::wstring tempDir = temp;
  while (!tempDir.empty() && tempDir.back() == L'\\') tempDir.pop_back();
  for (const std::wstring& dir : {Folder(CSIDL_LOCAL_APPDATA), Folder(CSIDL_APPDATA), tempDir}) {
    out[dir] = L"(folder)";
    List(dir, out);
  }
  return out;
}

std::string Differences(const Snapshot& before, const Snapshot& after) {
  std::string s;
  for (const auto& [k, v] : before) {
    auto it = after.find(k);
    if (it == after.end())
      s += "  removed: " + Narrow(k) + " = " + Narrow(v) + "\n";
    else if (it->second != v)
      s += "  changed: " + Narrow(k) + ": " + Narrow(v) + " -> " + Narrow(it->second) + "\n";
  }
  for (const auto& [k, v] : after)
    if (!before.count(k)) s += "  added: " + Narrow(k) + " = " + Narrow(v) + "\n";
  return s;
}

}  // namespace release
