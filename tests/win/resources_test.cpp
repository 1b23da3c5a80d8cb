// Reads the resources of a built Heftmark.exe back the way Windows reads
// them: the version record through the version API, the icon through the
// resource directory and LoadImage, the manifest through the activation
// context loader.
//
//   resources_test [gtest flags] PATH-TO-Heftmark.exe

#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

const char* g_exePath = nullptr;

constexpr WORD kLanguage = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_AUS);
static_assert(kLanguage == 0x0C09);
constexpr WORD kCodePage = 1252;
constexpr DWORD kIconImageSize = 40 + 16 * 4 + 32 * 16 + 32 * 4;

// The 16-colour palette of 4-bit Windows bitmaps, as 0xRRGGBB: the value an
// RGBQUAD (blue, green, red, 0) has when read as a little-endian number.
constexpr std::array<std::uint32_t, 16> kStandardPalette{
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

std::uint16_t Read16(const BYTE* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

// The exe mapped as data: its resources are readable, none of its code runs.
class ResourcesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { module_ = LoadLibraryExA(g_exePath, nullptr, LOAD_LIBRARY_AS_DATAFILE); }
  static void TearDownTestSuite() {
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
  }
  void SetUp() override { ASSERT_NE(module_, nullptr) << "cannot load " << g_exePath << ", error " << GetLastError(); }

  // The bytes of one resource in one language; empty when there is none.
  static std::string_view Resource(LPCSTR type, LPCSTR name, WORD language) {
    HRSRC info = FindResourceExA(module_, type, name, language);
    if (!info) return {};
    HGLOBAL data = LoadResource(module_, info);
    const void* bytes = data ? LockResource(data) : nullptr;
    if (!bytes) return {};
    return {static_cast<const char*>(bytes), SizeofResource(module_, info)};
  }

  static HMODULE module_;
};
HMODULE ResourcesTest::module_ = nullptr;

// Version record -----------------------------------------------------------

std::vector<BYTE> VersionBlock() {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(g_exePath, &ignored);
  if (size == 0) throw std::runtime_error("no version record, error " + std::to_string(GetLastError()));
  std::vector<BYTE> block(size);
  if (!GetFileVersionInfoA(g_exePath, 0, size, block.data()))
    throw std::runtime_error("GetFileVersionInfoA failed, error " + std::to_string(GetLastError()));
  return block;
}

TEST_F(ResourcesTest, VersionFixedPart) {
  std::vector<BYTE> block = VersionBlock();
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &len));
  ASSERT_EQ(len, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00020006u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00020006u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);
  EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
  EXPECT_EQ(fixed->dwFileFlags, 0u);
  EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
  EXPECT_EQ(fixed->dwFileSubtype, 0u);
  EXPECT_EQ(fixed->dwFileDateMS, 0u);
  EXPECT_EQ(fixed->dwFileDateLS, 0u);
}

TEST_F(ResourcesTest, VersionStringsAndTranslation) {
  std::vector<BYTE> block = VersionBlock();

  struct Key {
    const char* name;
    const char* value;
  };
  static constexpr Key kKeys[] = {
      {"FileVersion", "2.6.0.0"}, {"ProductVersion", "1.0.0.0"}, {"CompanyName", ""},
      {"FileDescription", ""},    {"InternalName", ""},          {"LegalCopyright", ""},
      {"LegalTrademarks", ""},    {"OriginalFilename", ""},      {"ProductName", ""},
      {"Comments", ""},
  };
  for (const Key& key : kKeys) {
    const std::string path = std::string("\\StringFileInfo\\0C0904E4\\") + key.name;
    char* value = nullptr;
    UINT len = 0;
    if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &len)) {
      ADD_FAILURE() << key.name << " is missing";
      continue;
    }
    EXPECT_STREQ(len ? value : "", key.value) << key.name;
  }

  WORD* translation = nullptr;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &len));
  ASSERT_EQ(len, 4u) << "exactly one language and code page";
  EXPECT_EQ(translation[0], kLanguage);
  EXPECT_EQ(translation[1], kCodePage);
}

// One node of the raw version tree: length, value length, type, key, value,
// children, each part aligned to 4 bytes.
struct VersionNode {
  std::wstring key;
  std::vector<VersionNode> children;
};

std::size_t Align4(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

VersionNode ParseVersionNode(const BYTE* p, std::size_t avail) {
  if (avail < 6) throw std::runtime_error("truncated version node");
  const std::size_t length = Read16(p);
  const std::size_t valueLength = Read16(p + 2);
  const bool text = Read16(p + 4) == 1;
  if (length < 6 || length > avail) throw std::runtime_error("bad version node length");
  VersionNode node;
  std::size_t off = 6;
  for (; off + 1 < length && Read16(p + off) != 0; off += 2) node.key += static_cast<wchar_t>(Read16(p + off));
  off = Align4(off + 2);
  off = Align4(off + valueLength * (text ? 2 : 1));
  while (off < length) {
    node.children.push_back(ParseVersionNode(p + off, length - off));
    off = Align4(off + Read16(p + off));
  }
  return node;
}

// The version API finds keys by name; this checks that there is nothing
// else: one string table and exactly the ten keys, in the record's language.
TEST_F(ResourcesTest, VersionRecordHoldsOneTableOfTenKeys) {
  const std::string_view raw = Resource(RT_VERSION, MAKEINTRESOURCEA(VS_VERSION_INFO), kLanguage);
  ASSERT_FALSE(raw.empty()) << "no version record in language 0x0C09";
  const VersionNode root = ParseVersionNode(reinterpret_cast<const BYTE*>(raw.data()), raw.size());
  EXPECT_EQ(root.key, L"VS_VERSION_INFO");

  const VersionNode* strings = nullptr;
  for (const VersionNode& child : root.children)
    if (child.key == L"StringFileInfo") strings = &child;
  ASSERT_NE(strings, nullptr);
  ASSERT_EQ(strings->children.size(), 1u);
  const VersionNode& table = strings->children[0];
  EXPECT_EQ(table.key, L"0C0904E4");

  std::multiset<std::wstring> keys;
  for (const VersionNode& entry : table.children) keys.insert(entry.key);
  const std::multiset<std::wstring> expected{L"CompanyName",     L"FileDescription", L"FileVersion", L"InternalName",
                                             L"LegalCopyright",  L"LegalTrademarks", L"OriginalFilename",
                                             L"ProductName",     L"ProductVersion",  L"Comments"};
  EXPECT_EQ(keys, expected);
}

// Icon ---------------------------------------------------------------------

#pragma pack(push, 2)
struct GroupIconEntry {
  BYTE width, height, colorCount, reserved;
  WORD planes, bitCount;
  DWORD bytesInRes;
  WORD id;
};
struct GroupIconDir {
  WORD reserved, type, count;
  GroupIconEntry entries[1];
};
#pragma pack(pop)
static_assert(sizeof(GroupIconEntry) == 14);

TEST_F(ResourcesTest, MainIconIsOne32x32ImageOf16Colours) {
  const std::string_view group = Resource(RT_GROUP_ICON, "MAINICON", kLanguage);
  ASSERT_GE(group.size(), sizeof(GroupIconDir)) << "no icon group MAINICON in language 0x0C09";
  const auto* dir = reinterpret_cast<const GroupIconDir*>(group.data());
  EXPECT_EQ(dir->reserved, 0);
  EXPECT_EQ(dir->type, 1);
  ASSERT_EQ(dir->count, 1);
  const GroupIconEntry& entry = dir->entries[0];
  EXPECT_EQ(entry.width, 32);
  EXPECT_EQ(entry.height, 32);
  EXPECT_EQ(entry.colorCount, 16);
  EXPECT_EQ(entry.planes, 1);
  EXPECT_EQ(entry.bitCount, 4);
  EXPECT_EQ(entry.bytesInRes, kIconImageSize);

  const std::string_view image = Resource(RT_ICON, MAKEINTRESOURCEA(entry.id), kLanguage);
  ASSERT_EQ(image.size(), kIconImageSize) << "the icon image in language 0x0C09";
  BITMAPINFOHEADER header;
  std::memcpy(&header, image.data(), sizeof header);
  EXPECT_EQ(header.biSize, sizeof header);
  EXPECT_EQ(header.biWidth, 32);
  EXPECT_EQ(header.biHeight, 64) << "colour bits and mask";
  EXPECT_EQ(header.biPlanes, 1);
  EXPECT_EQ(header.biBitCount, 4);
  EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));

  std::array<std::uint32_t, 16> palette;
  std::memcpy(palette.data(), image.data() + sizeof header, sizeof palette);
  EXPECT_EQ(palette, kStandardPalette);

  // A mask of all ones is an invisible icon, one of all zeros a square.
  const auto* mask = reinterpret_cast<const BYTE*>(image.data()) + 40 + 64 + 512;
  int transparent = 0;
  for (int i = 0; i < 128; ++i)
    for (int bit = 0; bit < 8; ++bit) transparent += mask[i] >> bit & 1;
  EXPECT_GT(transparent, 0);
  EXPECT_LT(transparent, 32 * 32 / 2) << "most of the icon should be opaque";
}

TEST_F(ResourcesTest, MainIconLoadsAt32x32) {
  HICON icon = static_cast<HICON>(LoadImageA(module_, "MAINICON", IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
  ASSERT_NE(icon, nullptr) << "LoadImage error " << GetLastError();
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(icon, &info));
  EXPECT_TRUE(info.fIcon);
  ASSERT_NE(info.hbmColor, nullptr) << "a colour icon, not a monochrome one";
  BITMAP colour{};
  ASSERT_EQ(GetObjectA(info.hbmColor, sizeof colour, &colour), static_cast<int>(sizeof colour));
  EXPECT_EQ(colour.bmWidth, 32);
  EXPECT_EQ(colour.bmHeight, 32);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  DestroyIcon(icon);
}

// Manifest -----------------------------------------------------------------

TEST_F(ResourcesTest, ManifestAsksForNoElevationAndSystemDpi) {
  HRSRC info = FindResourceA(module_, MAKEINTRESOURCEA(1), RT_MANIFEST);
  ASSERT_NE(info, nullptr) << "no manifest with id 1";
  const std::string text(static_cast<const char*>(LockResource(LoadResource(module_, info))),
                         SizeofResource(module_, info));
  EXPECT_NE(text.find("level=\"asInvoker\""), std::string::npos);
  EXPECT_NE(text.find("uiAccess=\"false\""), std::string::npos);
  EXPECT_NE(text.find(">true</dpiAware>"), std::string::npos);
  EXPECT_EQ(text.find("dpiAwareness"), std::string::npos) << "per-monitor awareness is not wanted";
  EXPECT_NE(text.find("Microsoft.Windows.Common-Controls"), std::string::npos);

  // The loader's own reading: a manifest it cannot parse gives no context,
  // and the program would then not start at all.
  ACTCTXA request{};
  request.cbSize = sizeof request;
  request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.lpSource = g_exePath;
  request.lpResourceName = MAKEINTRESOURCEA(1);
  HANDLE context = CreateActCtxA(&request);
  ASSERT_NE(context, INVALID_HANDLE_VALUE) << "the loader rejects the manifest, error " << GetLastError();

  ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION runLevel{};
  if (QueryActCtxW(0, context, nullptr, RunlevelInformationInActivationContext, &runLevel, sizeof runLevel,
                   nullptr)) {
    EXPECT_EQ(runLevel.RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER);
    EXPECT_EQ(runLevel.UiAccess, 0u);
  } else {
    ADD_FAILURE() << "run level not readable, error " << GetLastError();
  }

  wchar_t setting[32] = {};
  SIZE_T written = 0;
  if (QueryActCtxSettingsW(0, context, nullptr, L"dpiAware", setting, 32, &written))
    EXPECT_STREQ(setting, L"true");
  else
    ADD_FAILURE() << "dpiAware not readable, error " << GetLastError();
  ReleaseActCtx(context);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: resources_test [gtest flags] PATH-TO-Heftmark.exe\n");
    return 2;
  }
  g_exePath = argv[1];
  return RUN_ALL_TESTS();
}
