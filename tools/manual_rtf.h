// Plain-text manual -> RTF, which Word and WordPad open under a .doc name.
//
// The source markup (also described at the top of docs/manual.txt):
//   % ...        a comment line, skipped
//   # Title      the document title; ## Section: a section heading
//   - item       a bullet; following lines indented by two spaces continue it
//   text         a paragraph; consecutive lines are joined, a blank line ends it
//   *bold*       bold text; "**" is a literal asterisk
//   &x           x is an access key and is underlined, as Windows shows it;
//                "&&" is a literal ampersand
// The source is UTF-8; every character must exist in Windows-1252, the code
// page the RTF declares.
//
// Header-only so that the build can compile mkmanual.cpp with the build
// machine's compiler in one command, and the native tests can call it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace manual {

class SourceError : public std::runtime_error {
 public:
  SourceError(int line, const std::string& what)
      : std::runtime_error("line " + std::to_string(line) + ": " + what), line_(line) {}
  int line() const { return line_; }

 private:
  int line_;
};

namespace detail {

// Windows-1252 bytes 0x80..0x9F; 0 marks the five holes of the code page.
inline constexpr char32_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

inline unsigned char toCp1252(char32_t cp, int line) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<unsigned char>(cp);
  for (unsigned i = 0; i < 32; ++i)
    if (kHighControls[i] == cp && cp != 0) return static_cast<unsigned char>(0x80 + i);
  char hex[16];
  std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(cp));
  throw SourceError(line, std::string("character ") + hex + " has no Windows-1252 form");
}

// Decodes one line of UTF-8 strictly (no overlong forms, no surrogates) and
// re-encodes it in Windows-1252.
inline std::string utf8ToCp1252(std::string_view s, int line) {
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    int len = 0;
    char32_t cp = 0;
    if (b0 < 0x80) {
      len = 1;
      cp = b0;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
      len = 2;
      cp = b0 & 0x1Fu;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      len = 3;
      cp = b0 & 0x0Fu;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      len = 4;
      cp = b0 & 0x07u;
    } else {
      throw SourceError(line, "invalid UTF-8");
    }
    if (i + static_cast<std::size_t>(len) > s.size()) throw SourceError(line, "invalid UTF-8");
    for (int k = 1; k < len; ++k) {
      const auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
      if ((b & 0xC0) != 0x80) throw SourceError(line, "invalid UTF-8");
      cp = cp << 6 | (b & 0x3Fu);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      throw SourceError(line, "invalid UTF-8");
    if (cp == '\t') cp = ' ';
    if (cp < 0x20 || cp == 0x7F) throw SourceError(line, "control character in the text");
    out.push_back(static_cast<char>(toCp1252(cp, line)));
    i += static_cast<std::size_t>(len);
  }
  return out;
}

inline void putChar(std::string& out, unsigned char c) {
  if (c == '\\' || c == '{' || c == '}') {
    out.push_back('\\');
    out.push_back(static_cast<char>(c));
  } else if (c >= 0x80) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\'";
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 15]);
  } else {
    out.push_back(static_cast<char>(c));
  }
}

}  // namespace detail

// One run of Windows-1252 text with its inline markup, as RTF.
inline std::string inlineRtf(std::string_view text, int line) {
  std::string out;
  bool bold = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const bool doubled = i + 1 < text.size() && text[i + 1] == text[i];
    if (c == '*' && !doubled) {
      out += bold ? "}" : "{\\b ";
      bold = !bold;
    } else if (c == '&' && !doubled) {
      if (i + 1 == text.size() || text[i + 1] == ' ') throw SourceError(line, "'&' marks no access key");
      out += "{\\ul ";
      detail::putChar(out, static_cast<unsigned char>(text[++i]));
      out += "}";
    } else {
      if (doubled && (c == '*' || c == '&')) ++i;
      detail::putChar(out, c);
    }
  }
  if (bold) throw SourceError(line, "'*' opens bold text that is not closed");
  return out;
}

// The whole document.
inline std::string convert(std::string_view source) {
  struct Block {
    enum Kind { kTitle, kSection, kPara, kBullet } kind;
    int line;
    std::string text;  // Windows-1252
  };
  std::vector<Block> blocks;
  bool open = false;  // the last block takes continuation lines

  int lineNo = 0;
  if (source.substr(0, 3) == "\xEF\xBB\xBF") source.remove_prefix(3);
  while (!source.empty()) {
    ++lineNo;
    const auto nl = source.find('\n');
    std::string_view raw = source.substr(0, nl);
    source = nl == std::string_view::npos ? std::string_view{} : source.substr(nl + 1);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    if (!raw.empty() && raw.front() == '%') continue;
    std::string line = detail::utf8ToCp1252(raw, lineNo);
    while (!line.empty() && line.back() == ' ') line.pop_back();

    if (line.empty()) {
      open = false;
    } else if (line.starts_with("## ") || line.starts_with("# ")) {
      const bool title = line[1] == ' ';
      blocks.push_back({title ? Block::kTitle : Block::kSection, lineNo, line.substr(title ? 2 : 3)});
      open = false;
    } else if (line.starts_with("- ")) {
      blocks.push_back({Block::kBullet, lineNo, line.substr(2)});
      open = true;
    } else if (open && (blocks.back().kind == Block::kPara || line.starts_with("  "))) {
      const auto first = line.find_first_not_of(' ');
      blocks.back().text += ' ';
      blocks.back().text += line.substr(first);
    } else if (line.front() == ' ') {
      throw SourceError(lineNo, "indented line that continues nothing");
    } else {
      blocks.push_back({Block::kPara, lineNo, line});
      open = true;
    }
  }
  if (blocks.empty()) throw SourceError(lineNo, "the manual is empty");

  std::string out =
      "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang3081\n"
      "{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}\n";
  for (const Block& b : blocks)
    if (b.kind == Block::kTitle) {
      out += "{\\info{\\title ";
      for (char c : b.text)
        if (c != '*' && c != '&') detail::putChar(out, static_cast<unsigned char>(c));
      out += "}}\n";
      break;
    }
  out += "\\viewkind4\\uc1\\f0\\fs20\n";
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    const Block& b = blocks[i];
    const std::string body = inlineRtf(b.text, b.line);
    // The last bullet of a list gets a paragraph's space below it.
    const bool lastBullet = i + 1 == blocks.size() || blocks[i + 1].kind != Block::kBullet;
    switch (b.kind) {
      case Block::kTitle:
        out += "\\pard\\keepn\\sa240\\b\\fs36 " + body + "\\b0\\fs20\\par\n";
        break;
      case Block::kSection:
        out += "\\pard\\keepn\\sb240\\sa120\\b\\fs26 " + body + "\\b0\\fs20\\par\n";
        break;
      case Block::kPara:
        out += "\\pard\\sa120 " + body + "\\par\n";
        break;
      case Block::kBullet:
        out += std::string("\\pard\\fi-280\\li560\\tx560") + (lastBullet ? "\\sa120" : "\\sa60") +
               " \\'95\\tab " + body + "\\par\n";
        break;
    }
  }
  out += "}\n";
  return out;
}

}  // namespace manual
