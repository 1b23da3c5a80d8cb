// Text pixel map -> one-image .ico (32 x 32, 16 colours, 1-bit mask).
//
// Header-only so that the build can compile mkicon.cpp with the build
// machine's compiler in one command, and the native tests can call the same
// code directly.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace iconmap {

inline constexpr int kSize = 32;
inline constexpr int kColours = 16;
inline constexpr std::size_t kDirSize = 6 + 16;            // ICONDIR + one ICONDIRENTRY
inline constexpr std::size_t kHeaderSize = 40;             // BITMAPINFOHEADER
inline constexpr std::size_t kPaletteSize = kColours * 4;  // RGBQUADs
inline constexpr std::size_t kXorRow = kSize / 2;          // 4 bpp: 16 bytes, already a multiple of 4
inline constexpr std::size_t kAndRow = 4;                  // 32 bits, already a multiple of 4
inline constexpr std::size_t kImageSize = kHeaderSize + kPaletteSize + kXorRow * kSize + kAndRow * kSize;
static_assert(kImageSize == 744);

struct Rgb {
  std::uint8_t r, g, b;
};

// The fixed palette of a 16-colour Windows DIB, in index order.
inline constexpr std::array<Rgb, kColours> kPalette{{
    {0x00, 0x00, 0x00}, {0x80, 0x00, 0x00}, {0x00, 0x80, 0x00}, {0x80, 0x80, 0x00},
    {0x00, 0x00, 0x80}, {0x80, 0x00, 0x80}, {0x00, 0x80, 0x80}, {0xC0, 0xC0, 0xC0},
    {0x80, 0x80, 0x80}, {0xFF, 0x00, 0x00}, {0x00, 0xFF, 0x00}, {0xFF, 0xFF, 0x00},
    {0x00, 0x00, 0xFF}, {0xFF, 0x00, 0xFF}, {0x00, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF},
}};

// One letter per colour: lower case the dark half of the palette, upper case
// the bright half, so "r" and "R" are dark and bright red.
inline constexpr std::string_view kLetters = "krgybmcwKRGYBMCW";
inline constexpr char kTransparent = '.';

// A pixel is a palette index, or nullopt where the icon is transparent.
using Pixels = std::array<std::array<std::optional<std::uint8_t>, kSize>, kSize>;

class MapError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Lines starting with '#' and blank lines are ignored; every other line is a
// row of pixels, top row first. A trailing CR is dropped, nothing else is.
inline Pixels parse(std::string_view text) {
  Pixels px{};
  int row = 0;
  int lineNo = 0;
  while (!text.empty()) {
    ++lineNo;
    const auto nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;

    const std::string where = "line " + std::to_string(lineNo);
    if (row == kSize) throw MapError(where + ": more than 32 pixel rows");
    if (line.size() != kSize)
      throw MapError(where + ": row has " + std::to_string(line.size()) + " pixels, expected 32");
    for (int x = 0; x < kSize; ++x) {
      const char c = line[static_cast<std::size_t>(x)];
      if (c == kTransparent) continue;
      const auto idx = kLetters.find(c);
      if (idx == std::string_view::npos)
        throw MapError(where + ", column " + std::to_string(x + 1) + ": unknown pixel '" +
                       std::string(1, c) + "'");
      px[static_cast<std::size_t>(row)][static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(idx);
    }
    ++row;
  }
  if (row != kSize) throw MapError("found " + std::to_string(row) + " pixel rows, expected 32");
  return px;
}

namespace detail {
inline void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  put16(out, static_cast<std::uint16_t>(v));
  put16(out, static_cast<std::uint16_t>(v >> 16));
}
}  // namespace detail

// The whole .ico file: directory, then the DIB (header, palette, colour bits,
// mask). Both bitmaps are stored bottom row first, as DIBs are.
inline std::vector<std::uint8_t> encode(const Pixels& px) {
  using detail::put16;
  using detail::put32;
  std::vector<std::uint8_t> out;
  out.reserve(kDirSize + kImageSize);

  put16(out, 0);  // reserved
  put16(out, 1);  // type: icon
  put16(out, 1);  // one image
  out.push_back(kSize);
  out.push_back(kSize);
  out.push_back(kColours);
  out.push_back(0);  // reserved
  put16(out, 1);     // planes
  put16(out, 4);     // bits per pixel
  put32(out, static_cast<std::uint32_t>(kImageSize));
  put32(out, static_cast<std::uint32_t>(kDirSize));

  put32(out, kHeaderSize);
  put32(out, kSize);
  put32(out, kSize * 2);  // colour bits and mask together
  put16(out, 1);
  put16(out, 4);
  put32(out, 0);  // BI_RGB
  put32(out, static_cast<std::uint32_t>(kXorRow * kSize + kAndRow * kSize));
  put32(out, 0);
  put32(out, 0);
  put32(out, 0);  // colours used: all of them
  put32(out, 0);

  for (const Rgb& c : kPalette) {
    out.push_back(c.b);
    out.push_back(c.g);
    out.push_back(c.r);
    out.push_back(0);
  }

  // Transparent pixels are black in the colour bits, so that the mask alone
  // decides what shows through.
  for (int y = kSize - 1; y >= 0; --y) {
    const auto& line = px[static_cast<std::size_t>(y)];
    for (std::size_t x = 0; x < kSize; x += 2) {
      const std::uint8_t hi = line[x].value_or(0);
      const std::uint8_t lo = line[x + 1].value_or(0);
      out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
    }
  }
  for (int y = kSize - 1; y >= 0; --y) {
    const auto& line = px[static_cast<std::size_t>(y)];
    std::uint32_t bits = 0;
    for (std::size_t x = 0; x < kSize; ++x)
      if (!line[x]) bits |= 0x80000000u >> x;
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(bits >> shift));
  }
  return out;
}

}  // namespace iconmap
