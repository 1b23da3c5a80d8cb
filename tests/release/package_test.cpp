// What a user downloads: the portable zips and the installer's own file.
#include <windows.h>
#include <imagehlp.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "release_files.h"

namespace {


std::uint32_t Le(const std::vector<unsigned char>& b, std::size_t at, int width) {
  std::uint32_t v = 0;
  if (at + static_cast<std::size_t>(width) > b.size()) return 0xFFFFFFFF;
  for (int i = width; i-- > 0;) v = (v << 8) | b[at + static_cast<std::size_t>(i)];
  return v;
}

// The commit time as a zip entry's DOS date and time, read as UTC; DOS
// times count in steps of two seconds.
std::pair<std::uint32_t, std::uint32_t> DosTime(std::uint32_t epoch) {
  using namespace std::chrono;
  const sys_seconds t{seconds{epoch}};
  const auto day = floor<days>(t);
  const year_month_day ymd{day};
  const hh_mm_ss hms{t - day};
  const std::uint32_t date = static_cast<std::uint32_t>((static_cast<int>(ymd.year()) - 1980) << 9 |
                                                        static_cast<unsigned>(ymd.month()) << 5 |
                                                        static_cast<unsigned>(ymd.day()));
  const std::uint32_t time = static_cast<std::uint32_t>(hms.hours().count() << 11 | hms.minutes().count() << 5 |
                                                        hms.seconds().count() / 2);
  return {date, time};
}

struct Entry {
  std::string name;
  std::uint32_t date, time, madeBy, externalAttrs, centralExtra, localExtra;
};

// The central directory, in order, with each entry's local header's extra
// field length; empty if the archive cannot be read.
std::vector<Entry> ZipEntries(const std::vector<unsigned char>& zip) {
  constexpr std::size_t kEndSize = 22;
  if (zip.size() < kEndSize) return {};
  const std::size_t end = zip.size() - kEndSize;  // no archive comment
  if (Le(zip, end, 4) != 0x06054b50) return {};
  const std::uint32_t count = Le(zip, end + 10, 2);
  std::size_t at = Le(zip, end + 16, 4);
  std::vector<Entry> entries;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (Le(zip, at, 4) != 0x02014b50) return {};
    const std::uint32_t nameLen = Le(zip, at + 28, 2), extraLen = Le(zip, at + 30, 2),
                        commentLen = Le(zip, at + 32, 2), local = Le(zip, at + 42, 4);
    if (at + 46 + nameLen > zip.size() || Le(zip, local, 4) != 0x04034b50) return {};
    entries.push_back({std::string(zip.begin() + static_cast<std::ptrdiff_t>(at + 46),
                                   zip.begin() + static_cast<std::ptrdiff_t>(at + 46 + nameLen)),
                       Le(zip, at + 14, 2), Le(zip, at + 12, 2), Le(zip, at + 4, 2), Le(zip, at + 38, 4), extraLen,
                       Le(zip, local + 28, 2)});
    at += 46 + nameLen + extraLen + commentLen;
  }
  return entries;
}

struct Build {
  const char* arch;
  const wchar_t* zip;
  WORD machine;
};
constexpr Build kBuilds[] = {
    {"win32", L"Heftmark-2.6-win32.zip", IMAGE_FILE_MACHINE_I386},
    {"win64", L"Heftmark-2.6-win64.zip", IMAGE_FILE_MACHINE_AMD64},
};

TEST(Package, ZipsHoldTheThreeFilesWithTheCommitTimeAndNothingElse) {
  const std::uint32_t epoch = release::Epoch();
  ASSERT_GT(epoch, 0u) << "no epoch under " << release::Narrow(release::Root());
  const auto [date, time] = DosTime(epoch);
  for (const Build& b : kBuilds) {
    SCOPED_TRACE(b.arch);
    const auto entries = ZipEntries(release::ReadFile(release::Out(b.zip)));
    ASSERT_EQ(entries.size(), 3u);
    const char* names[] = {"Heftmark.exe", "readme.doc", "LICENSE.txt"};
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const Entry& e = entries[i];
      SCOPED_TRACE(e.name);
      EXPECT_EQ(e.name, names[i]);
      EXPECT_EQ(e.date, date);
      EXPECT_EQ(e.time, time);
      // No owner ids or Unix times; a plain readable file.
      EXPECT_EQ(e.centralExtra, 0u);
      EXPECT_EQ(e.localExtra, 0u);
      EXPECT_EQ(e.madeBy >> 8, 3u) << "made on Unix, so the mode below means something";
      EXPECT_EQ(e.externalAttrs >> 16, 0100644u);
    }
  }
}

TEST(Package, ExesAreStampedWithTheCommitTimeAndAValidChecksum) {
  const std::uint32_t epoch = release::Epoch();
  ASSERT_GT(epoch, 0u);
  for (const Build& b : kBuilds) {
    SCOPED_TRACE(b.arch);
    const std::wstring exe = release::Unpacked(b.arch, L"Heftmark.exe");
    const auto bytes = release::ReadFile(exe);
    ASSERT_GT(bytes.size(), 1024u) << release::Narrow(exe);
    const std::size_t pe = Le(bytes, 0x3c, 4);
    ASSERT_EQ(Le(bytes, pe, 4), 0x00004550u);
    EXPECT_EQ(Le(bytes, pe + 4, 2), b.machine);
    EXPECT_EQ(Le(bytes, pe + 8, 4), epoch);
    // The system's own computation, against what the header says.
    DWORD header = 0, computed = 0;
    ASSERT_EQ(::MapFileAndCheckSumW(exe.c_str(), &header, &computed), CHECKSUM_SUCCESS);
    EXPECT_NE(header, 0u);
    EXPECT_EQ(header, computed);
  }
  // The manual and the licence are the same in both.
  for (const wchar_t* f : {L"readme.doc", L"LICENSE.txt"}) {
    EXPECT_TRUE(release::SameFile(release::Unpacked("win32", f), release::Unpacked("win64", f)));
  }
  const auto licence = release::ReadFile(release::Unpacked("win32", L"LICENSE.txt"));
  const std::string text(licence.begin(), licence.end());
  EXPECT_NE(text.find("Tallowgate Software"), std::string::npos);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "a bare line feed at " << i;
    }
  }
}

std::wstring VersionString(const std::vector<BYTE>& info, const wchar_t* key) {
  struct Translation {
    WORD language, codePage;
  };
  Translation* t = nullptr;
  UINT n = 0;
  if (!::VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&t), &n) ||
      n < sizeof *t)
    return L"<no translation>";
  wchar_t path[128];
  std::swprintf(path, 128, L"\\StringFileInfo\\%04x%04x\\%ls", t->language, t->codePage, key);
  wchar_t* value = nullptr;
  if (!::VerQueryValueW(info.data(), path, reinterpret_cast<void**>(&value), &n)) return L"<missing>";
  return value;
}

TEST(Package, InstallerCarriesAVersionRecord) {
  const std::wstring setup = release::Out(L"Heftmark-2.6-setup.exe");
  const DWORD size = ::GetFileVersionInfoSizeW(setup.c_str(), nullptr);
  ASSERT_GT(size, 0u) << release::Narrow(setup);
  std::vector<BYTE> info(size);
  ASSERT_TRUE(::GetFileVersionInfoW(setup.c_str(), 0, size, info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT n = 0;
  ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &n));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00020006u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00020006u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);
  const std::pair<const wchar_t*, const wchar_t*> strings[] = {
      {L"ProductName", L"Heftmark"},       {L"CompanyName", L"Tallowgate Software"},
      {L"FileVersion", L"2.6.0.0"},        {L"ProductVersion", L"2.6.0.0"},
      {L"FileDescription", L"Heftmark 2.6 Setup"},
  };
  for (auto [key, want] : strings) {
    EXPECT_EQ(VersionString(info, key), want) << release::Narrow(key);
  }
}

}  // namespace
