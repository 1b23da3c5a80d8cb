#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "icon_map.h"
#include "run_tool.h"

namespace {

using tooltest::readFile;
using tooltest::runTool;
using tooltest::scratch;
using tooltest::writeFile;

std::string rows(int count, const std::string& row = std::string(32, 'k')) {
  std::string s;
  for (int i = 0; i < count; ++i) s += row + "\n";
  return s;
}

// Reads pixels back out of an .ico the way a DIB reader does, so the tests
// see row order, nibble order and colour order as Windows will.
struct Ico {
  std::vector<std::uint8_t> b;
  std::uint16_t u16(std::size_t o) const { return static_cast<std::uint16_t>(b[o] | b[o + 1] << 8); }
  std::uint32_t u32(std::size_t o) const { return u16(o) | static_cast<std::uint32_t>(u16(o + 2)) << 16; }
  static constexpr std::size_t kDib = 22, kPalette = kDib + 40, kXor = kPalette + 64, kAnd = kXor + 512;
  std::array<std::uint8_t, 3> rgbAt(int x, int y) const {
    const std::uint8_t byte = b[kXor + static_cast<std::size_t>(31 - y) * 16 + static_cast<std::size_t>(x / 2)];
    const int index = x % 2 ? byte & 15 : byte >> 4;
    const std::size_t q = kPalette + static_cast<std::size_t>(index) * 4;
    return {b[q + 2], b[q + 1], b[q]};
  }
  int indexAt(int x, int y) const {
    const std::uint8_t byte = b[kXor + static_cast<std::size_t>(31 - y) * 16 + static_cast<std::size_t>(x / 2)];
    return x % 2 ? byte & 15 : byte >> 4;
  }
  bool transparentAt(int x, int y) const {
    return b[kAnd + static_cast<std::size_t>(31 - y) * 4 + static_cast<std::size_t>(x / 8)] >> (7 - x % 8) & 1;
  }
};

TEST(IconMap, RejectsMalformedMaps) {
  std::string badChar = rows(2) + "kkkkkkxkkkkkkkkkkkkkkkkkkkkkkkkk\n" + rows(29);
  struct Case {
    const char* what;
    std::string text;
    const char* message;
  };
  const Case cases[] = {
      {"empty", "", "found 0 pixel rows"},
      {"31 rows", rows(31), "found 31 pixel rows"},
      {"33 rows", rows(33), "line 33: more than 32 pixel rows"},
      {"short row", rows(4) + std::string(31, 'k') + "\n" + rows(27), "line 5: row has 31 pixels"},
      {"long row", rows(4) + std::string(33, 'k') + "\n" + rows(27), "line 5: row has 33 pixels"},
      {"unknown pixel", badChar, "line 3, column 7: unknown pixel 'x'"},
      {"comments count as lines", "# art\n\n" + badChar, "line 5, column 7"},
      {"a space is not transparent", rows(31) + " " + std::string(31, '.') + "\n", "column 1: unknown pixel ' '"},
  };
  for (const Case& c : cases) {
    try {
      iconmap::parse(c.text);
      ADD_FAILURE() << c.what << ": accepted";
    } catch (const iconmap::MapError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.what << ": " << e.what();
    }
  }
}

TEST(IconMap, AcceptsCrLfAndComments) {
  std::string text = "# comment\r\n\r\n";
  for (int i = 0; i < 32; ++i) text += std::string(32, '.') + "\r\n";
  const auto px = iconmap::parse(text);
  EXPECT_FALSE(px[0][0].has_value());
  EXPECT_FALSE(px[31][31].has_value());
}

TEST(IconMap, HeaderFieldsAndSize) {
  const Ico ico{iconmap::encode(iconmap::parse(rows(32)))};
  ASSERT_EQ(ico.b.size(), 22u + 744u);
  // ICONDIR and its one entry.
  EXPECT_EQ(ico.u16(0), 0);
  EXPECT_EQ(ico.u16(2), 1);
  EXPECT_EQ(ico.u16(4), 1);
  EXPECT_EQ(ico.b[6], 32);
  EXPECT_EQ(ico.b[7], 32);
  EXPECT_EQ(ico.b[8], 16);
  EXPECT_EQ(ico.b[9], 0);
  EXPECT_EQ(ico.u16(10), 1);
  EXPECT_EQ(ico.u16(12), 4);
  EXPECT_EQ(ico.u32(14), 744u);
  EXPECT_EQ(ico.u32(18), 22u);
  // BITMAPINFOHEADER.
  EXPECT_EQ(ico.u32(22), 40u);
  EXPECT_EQ(ico.u32(26), 32u);
  EXPECT_EQ(ico.u32(30), 64u);
  EXPECT_EQ(ico.u16(34), 1);
  EXPECT_EQ(ico.u16(36), 4);
  EXPECT_EQ(ico.u32(38), 0u);
  EXPECT_EQ(ico.u32(42), 640u);
  for (std::size_t i = 0; i < 16; ++i) EXPECT_EQ(ico.b[Ico::kPalette + i * 4 + 3], 0) << "RGBQUAD reserved byte";
}

// Every letter of the documented alphabet lands on its colour, at its place.
TEST(IconMap, LettersGiveTheirColoursAtTheirPlaces) {
  struct Colour {
    char letter;
    std::array<std::uint8_t, 3> rgb;
  };
  const Colour colours[] = {
      {'k', {0x00, 0x00, 0x00}}, {'r', {0x80, 0x00, 0x00}}, {'g', {0x00, 0x80, 0x00}}, {'y', {0x80, 0x80, 0x00}},
      {'b', {0x00, 0x00, 0x80}}, {'m', {0x80, 0x00, 0x80}}, {'c', {0x00, 0x80, 0x80}}, {'w', {0xC0, 0xC0, 0xC0}},
      {'K', {0x80, 0x80, 0x80}}, {'R', {0xFF, 0x00, 0x00}}, {'G', {0x00, 0xFF, 0x00}}, {'Y', {0xFF, 0xFF, 0x00}},
      {'B', {0x00, 0x00, 0xFF}}, {'M', {0xFF, 0x00, 0xFF}}, {'C', {0x00, 0xFF, 0xFF}}, {'W', {0xFF, 0xFF, 0xFF}},
  };
  // Top row: the sixteen letters then transparency; the bottom row the
  // same, reversed, so a flipped or mirrored image cannot pass.
  std::string top, bottom;
  for (const Colour& c : colours) top += c.letter;
  top += std::string(16, '.');
  bottom = std::string(top.rbegin(), top.rend());
  const Ico ico{iconmap::encode(iconmap::parse(top + "\n" + rows(30, std::string(32, 'W')) + bottom + "\n"))};

  for (int i = 0; i < 16; ++i) {
    const Colour& c = colours[i];
    EXPECT_EQ(ico.rgbAt(i, 0), c.rgb) << "'" << c.letter << "' at the top";
    EXPECT_EQ(ico.rgbAt(31 - i, 31), c.rgb) << "'" << c.letter << "' at the bottom";
    EXPECT_FALSE(ico.transparentAt(i, 0));
    EXPECT_TRUE(ico.transparentAt(16 + i, 0));
    EXPECT_TRUE(ico.transparentAt(i, 31));
    EXPECT_EQ(ico.indexAt(16 + i, 0), 0) << "transparent pixels are black, so the mask alone decides";
  }
  EXPECT_FALSE(ico.transparentAt(5, 10));
}

TEST(MkIcon, ConvertsTheShippedArt) {
  const auto out = scratch("shipped.ico");
  const auto run = runTool(MKICON_EXE, ICON_MAP, out.string());
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  const Ico ico{[&] {
    const std::string s = readFile(out);
    return std::vector<std::uint8_t>(s.begin(), s.end());
  }()};
  ASSERT_EQ(ico.b.size(), 766u);
  EXPECT_EQ(ico.u16(12), 4);
  EXPECT_TRUE(ico.transparentAt(0, 0)) << "the corners show the taskbar through";
  EXPECT_FALSE(ico.transparentAt(16, 16));
}

TEST(MkIcon, FailureExitsNonZeroAndLeavesTheOutputAlone) {
  const auto out = scratch("kept.ico");
  writeFile(out, "previous");
  const auto bad = scratch("bad-map.txt");
  writeFile(bad, rows(31));

  auto run = runTool(MKICON_EXE, bad.string(), out.string());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.errors.find("found 31 pixel rows"), std::string::npos) << run.errors;
  EXPECT_EQ(readFile(out), "previous");

  run = runTool(MKICON_EXE, scratch("no-such-map.txt").string(), out.string());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(readFile(out), "previous");
}

}  // namespace
