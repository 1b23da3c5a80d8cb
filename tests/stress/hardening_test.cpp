// How the exe is built (its PE headers), and that a DLL planted beside it
// is never loaded.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "desk.h"

namespace stress {
namespace {

std::string WinPath(const char* var) {
  const char* v = std::getenv(var);
  std::string p = v ? v : "";
  if (!p.empty() && p[0] == '/') {
    p.insert(0, "Z:");
    for (char& c : p)
      if (c == '/') c = '\\';
  }
  return p;
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// What the headers of an exe say, read from the file.
struct PeImage {
  std::string error;
  WORD machine = 0, characteristics = 0, dllCharacteristics = 0;
  DWORD relocBytes = 0;
  std::vector<std::string> writableCode;  // sections both writable and executable
  std::vector<std::string> imports;
};

PeImage ReadPe(const std::string& path) {
  PeImage pe;
  std::ifstream in(path, std::ios::binary);
  const std::vector<unsigned char> f{std::istreambuf_iterator<char>(in), {}};
  auto fits = [&](std::size_t at, std::size_t n) { return at <= f.size() && n <= f.size() - at; };
  auto get = [&](std::size_t at, auto* out) {
    if (!fits(at, sizeof *out)) return false;
    std::memcpy(out, f.data() + at, sizeof *out);
    return true;
  };
  IMAGE_DOS_HEADER dos{};
  DWORD sig = 0;
  IMAGE_FILE_HEADER fh{};
  if (!get(0, &dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || !get(dos.e_lfanew, &sig) ||
      sig != IMAGE_NT_SIGNATURE || !get(dos.e_lfanew + 4, &fh))
    return pe.error = "not a PE file: " + path, pe;
  pe.machine = fh.Machine;
  pe.characteristics = fh.Characteristics;
  const std::size_t opt = dos.e_lfanew + 4 + sizeof fh;
  WORD magic = 0;
  get(opt, &magic);
  IMAGE_DATA_DIRECTORY imports{}, relocs{};
  if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
    IMAGE_OPTIONAL_HEADER64 oh{};
    if (!get(opt, &oh)) return pe.error = "short optional header", pe;
    pe.dllCharacteristics = oh.DllCharacteristics;
    imports = oh.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    relocs = oh.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC];
  } else {
    IMAGE_OPTIONAL_HEADER32 oh{};
    if (!get(opt, &oh)) return pe.error = "short optional header", pe;
    pe.dllCharacteristics = oh.DllCharacteristics;
    imports = oh.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    relocs = oh.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC];
  }
  pe.relocBytes = relocs.Size;

  std::vector<IMAGE_SECTION_HEADER> sections(fh.NumberOfSections);
  for (std::size_t i = 0; i < sections.size(); ++i)
    if (!get(opt + fh.SizeOfOptionalHeader + i * sizeof(IMAGE_SECTION_HEADER), &sections[i]))
      return pe.error = "short section table", pe;
  for (const auto& s : sections) {
    const DWORD wx = IMAGE_SCN_MEM_WRITE | IMAGE_SCN_MEM_EXECUTE;
    if ((s.Characteristics & wx) == wx)
      pe.writableCode.emplace_back(reinterpret_cast<const char*>(s.Name), strnlen(reinterpret_cast<const char*>(s.Name), 8));
  }
  auto fileAt = [&](DWORD rva) -> std::size_t {
    for (const auto& s : sections)
      if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.SizeOfRawData)
        return rva - s.VirtualAddress + s.PointerToRawData;
    return SIZE_MAX;
  };
  for (std::size_t at = fileAt(imports.VirtualAddress); imports.Size && at != SIZE_MAX;
       at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    IMAGE_IMPORT_DESCRIPTOR d{};
    if (!get(at, &d)) return pe.error = "short import table", pe;
    if (d.Name == 0) break;
    const std::size_t name = fileAt(d.Name);
    if (name == SIZE_MAX || !fits(name, 1)) return pe.error = "bad import name", pe;
    pe.imports.emplace_back(reinterpret_cast<const char*>(f.data() + name),
                            strnlen(reinterpret_cast<const char*>(f.data() + name), f.size() - name));
  }
  return pe;
}

TEST(Hardening, TheExeIsBuiltLikeAWellBuiltWindowsBinary) {
  const std::string exe = e2e::ProgramPath();
  const PeImage pe = ReadPe(exe);
  ASSERT_TRUE(pe.error.empty()) << pe.error;
#ifdef _WIN64
  EXPECT_EQ(pe.machine, IMAGE_FILE_MACHINE_AMD64);
  EXPECT_TRUE(pe.dllCharacteristics & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA);
#else
  EXPECT_EQ(pe.machine, IMAGE_FILE_MACHINE_I386);
#endif
  EXPECT_TRUE(pe.dllCharacteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE);
  EXPECT_TRUE(pe.dllCharacteristics & IMAGE_DLLCHARACTERISTICS_NX_COMPAT);
  // An image without relocations cannot be moved, whatever its flags say.
  EXPECT_FALSE(pe.characteristics & IMAGE_FILE_RELOCS_STRIPPED);
  EXPECT_GT(pe.relocBytes, 0u) << "no base relocations";
  EXPECT_TRUE(pe.writableCode.empty()) << "writable and executable: " << pe.writableCode.front();

  // Only system DLLs; all of these are KnownDLLs on Windows, so none can be
  // planted beside the exe before its own code runs.
  const char* allowed[] = {"kernel32.dll", "user32.dll",   "gdi32.dll",  "shell32.dll",
                           "ole32.dll",    "advapi32.dll", "msvcrt.dll", "ucrtbase.dll"};
  std::string list;
  for (const std::string& dll : pe.imports) {
    list += (list.empty() ? "" : ", ") + dll;
    const std::string name = Lower(dll);
    bool ok = name.starts_with("api-ms-win-crt-");
    for (const char* a : allowed) ok = ok || name == a;
    EXPECT_TRUE(ok) << "imports " << dll;
  }
  std::printf("%s imports %s\n", exe.c_str(), list.c_str());
  EXPECT_FALSE(pe.imports.empty());
}

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Two DLLs that a themed window brings in by name after WinMain has begun:
// user32 loads the theme DLL, and the theme DLL (Wine's, through a delay
// load) the one it draws with. Wine prefers its own builtin DLLs and takes
// no override from a child's environment, so the two programs are told
// through their per-program settings to load one found on the search path,
// as Windows would; the control shows that a program that does not
// restrict the search then loads the planted ones.
class Plant : public Desk {};

constexpr char kAppDefaults[] = "Software\\Wine\\AppDefaults\\";
constexpr const char* kPlanted[] = {"uxtheme", "msimg32"};

bool PreferFoundDll(const std::string& exeName, const char* dll) {
  HKEY key = nullptr;
  const std::string path = kAppDefaults + exeName + "\\DllOverrides";
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
    return false;
  const char value[] = "native,builtin";
  const bool ok = ::RegSetValueExA(key, dll, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                   sizeof value) == ERROR_SUCCESS;
  ::RegCloseKey(key);
  return ok;
}

TEST_F(Plant, ADllBesideTheExeIsNeverLoaded) {
  char temp[MAX_PATH] = {};
  ASSERT_GT(::GetTempPathA(MAX_PATH, temp), 0u);
  const std::string folder = std::string(temp) + "heftmark-plant-" + std::to_string(::GetCurrentProcessId());
  ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
  struct Cleanup {
    std::string folder;
    ~Cleanup() {
      RemoveTree(folder);
      for (const char* exe : {"control.exe", "Heftmark.exe"})
        ::RegDeleteTreeA(HKEY_CURRENT_USER, (kAppDefaults + std::string(exe)).c_str());
    }
  } cleanup{folder};
  const std::string exe = folder + "\\Heftmark.exe", control = folder + "\\control.exe";
  ASSERT_TRUE(CopyInto(e2e::ProgramPath(), exe));
  ASSERT_TRUE(CopyInto(WinPath("STRESS_CONTROL_EXE"), control)) << "STRESS_CONTROL_EXE?";
  auto planted = [&](const char* dll) { return folder + "\\" + dll + ".dll"; };
  auto marker = [&](const char* dll) { return planted(dll) + ".loaded"; };
  for (const char* dll : kPlanted) {
    ASSERT_TRUE(PreferFoundDll("control.exe", dll));
    ASSERT_TRUE(PreferFoundDll("Heftmark.exe", dll));
  }
  // One at a time for the control: a planted theme DLL that refuses to load
  // leaves nothing themed to draw.
  for (const char* dll : kPlanted) {
    SCOPED_TRACE(dll);
    ASSERT_TRUE(CopyInto(WinPath("STRESS_PLANTED_DLL"), planted(dll))) << "STRESS_PLANTED_DLL?";
    Instance c;
    ASSERT_TRUE(c.Start(control));
    ASSERT_TRUE(c.WaitExit(e2e::kStartTimeoutMs, nullptr));
    ASSERT_TRUE(Exists(marker(dll))) << "the control did not load the planted DLL: this test would prove nothing";
    ASSERT_TRUE(::DeleteFileA(marker(dll).c_str()));
    ASSERT_TRUE(::DeleteFileA(planted(dll).c_str()));
  }
  for (const char* dll : kPlanted) ASSERT_TRUE(CopyInto(WinPath("STRESS_PLANTED_DLL"), planted(dll)));

  Instance heftmark;
  const std::size_t n = tray.events().size();
  ASSERT_TRUE(heftmark.Start(exe));
  TrayEvent add;
  ASSERT_TRUE(WaitAdd(heftmark.pid(), n, &add)) << e2e::Describe(tray.Since(n));
  const DWORD pid = heftmark.pid();
  EXPECT_EQ(TipAfter(tray, add), "Clipboard is empty");
  ASSERT_TRUE(Choose(add, pid, 'A'));
  ASSERT_TRUE(e2e::PumpUntil([pid] { return AboutWindow(pid) != nullptr; }));
  ASSERT_TRUE(Choose(add, pid, 'S'));
  HWND box = e2e::WaitForBox(pid, "Heftmark");
  ASSERT_NE(box, nullptr);
  ASSERT_TRUE(e2e::ClickOk(box));
  EXPECT_TRUE(ExitByMenu(add, heftmark));
  for (const char* dll : kPlanted)
    EXPECT_FALSE(Exists(marker(dll))) << "Heftmark loaded the " << dll << ".dll planted beside it";
}

}  // namespace
}  // namespace stress
