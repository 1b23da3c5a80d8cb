#include "text.h"

#include <algorithm>

namespace heft {

namespace {

unsigned char Byte(char c) { return static_cast<unsigned char>(c); }

// Length in bytes of the character that starts at text[i]. A lead byte at
// the very end has no trail to pair with and stands alone.
std::size_t CharLength(std::string_view text, std::size_t i, LeadBytePredicate isLead) {
  return (isLead(Byte(text[i])) && i + 1 < text.size()) ? 2 : 1;
}

}  // namespace

std::string GroupThousands(std::uint64_t value, std::string_view sep) {
  // A zero byte would end the text early wherever it is read as a C string.
  std::string cleanSep;
  std::copy_if(sep.begin(), sep.end(), std::back_inserter(cleanSep),
               [](char c) { return c != '\0'; });

  char digits[20];  // least significant first; 2^64 - 1 has 20 digits
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);

  std::string out;
  out.reserve(static_cast<std::size_t>(count) + static_cast<std::size_t>((count - 1) / 3) * cleanSep.size());
  for (int i = count - 1; i >= 0; --i) {
    out += digits[i];
    if (i > 0 && i % 3 == 0) out += cleanSep;
  }
  return out;
}

std::string ClipboardTipText(std::uint64_t size, std::string_view sep) {
  if (size == 0) return "Clipboard is empty";
  return "Clipboard is " + GroupThousands(size, sep) + " bytes";
}

std::size_t CopyTipField(std::string_view text, std::span<char, kTipFieldSize> field,
                         LeadBytePredicate isLead) {
  // The shell reads the field as a C string, so nothing past a zero counts.
  text = text.substr(0, text.find('\0'));
  std::size_t n = 0;
  while (n < text.size()) {
    const std::size_t len = CharLength(text, n, isLead);
    if (n + len > kTipMaxChars) break;
    n += len;
  }
  std::copy_n(text.begin(), n, field.begin());
  std::fill(field.begin() + static_cast<std::ptrdiff_t>(n), field.end(), '\0');
  return n;
}

std::string WithClosingFullStop(std::string_view msg, LeadBytePredicate isLead) {
  std::string out(msg);
  if (msg.empty()) return out;
  // Only a walk from the start knows whether the final byte is a trail byte.
  std::size_t last = 0;
  for (std::size_t i = 0; i < msg.size(); i += CharLength(msg, i, isLead)) last = i;
  if (Byte(msg[last]) > Byte('.')) out += '.';
  return out;
}

std::string ShellFailureMessage(std::string_view command) {
  std::string out = "Shell command failed. It has been copied to the clipboard.\r\n";
  out += command;
  return out;
}

}  // namespace heft
