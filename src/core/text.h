// Pure text rules of the tray tip and the error box. No Windows headers here,
// so the native test build can check them under the sanitizers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace heft {

// Tells whether a byte starts a double-byte character in the ANSI code page.
using LeadBytePredicate = bool (*)(unsigned char);

// For single-byte code pages and for tests.
inline bool NoLeadBytes(unsigned char) { return false; }

// value's decimal digits, no leading zeros, in groups of three from the
// right with sep between neighbouring groups. sep may be empty (the digits
// then run together); it never contributes a zero byte.
std::string GroupThousands(std::uint64_t value, std::string_view sep);

// "Clipboard is empty" for 0, otherwise "Clipboard is <grouped> bytes".
std::string ClipboardTipText(std::uint64_t size, std::string_view sep);

// The tip field of the notification record: 63 characters and a zero byte.
inline constexpr std::size_t kTipFieldSize = 64;
inline constexpr std::size_t kTipMaxChars = kTipFieldSize - 1;

// Copies text into field, cut to 63 characters (never splitting a
// double-byte character), ends it with a zero byte and zero-fills the rest.
// Returns the number of characters copied.
std::size_t CopyTipField(std::string_view text, std::span<char, kTipFieldSize> field,
                         LeadBytePredicate isLead = NoLeadBytes);

// The text the error box shows: msg with "." appended when it is not empty
// and its last character, compared as an unsigned byte (the lead byte for a
// double-byte character), sorts after '.'.
std::string WithClosingFullStop(std::string_view msg, LeadBytePredicate isLead);

// The message of a launch that the shell refused.
std::string ShellFailureMessage(std::string_view command);

}  // namespace heft
