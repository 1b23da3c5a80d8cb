#include "text.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "support.h"

namespace heft {
namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;
using test::SjisLead;

// Digits from the standard library, separators inserted from the right.
std::string ReferenceGrouping(std::uint64_t value, std::string_view sep) {
  std::string s = std::to_string(value);
  for (std::ptrdiff_t i = static_cast<std::ptrdiff_t>(s.size()) - 3; i > 0; i -= 3)
    s.insert(static_cast<std::size_t>(i), sep);
  return s;
}

const std::vector<std::string_view> kSeparators = {",", ".", "\xA0", "\x92", ""};

TEST(GroupThousands, MatchesReferenceAcrossValuesAndSeparators) {
  const std::uint64_t values[] = {0,           1,           999,         1000,
                                  2048,        1234567,     2147483647,  2147483648ULL,
                                  1ULL << 32,  1ULL << 40,  std::numeric_limits<std::uint64_t>::max()};
  for (std::string_view sep : kSeparators) {
    for (std::uint64_t v : values) {
      SCOPED_TRACE("value " + std::to_string(v) + ", separator \"" + std::string(sep) + "\"");
      EXPECT_EQ(GroupThousands(v, sep), ReferenceGrouping(v, sep));
    }
  }
}

// Fixed points, so that the reference itself cannot drift.
TEST(GroupThousands, KnownTexts) {
  EXPECT_EQ(GroupThousands(999, ","), "999");
  EXPECT_EQ(GroupThousands(1000, ","), "1,000");
  EXPECT_EQ(GroupThousands(1234567, "."), "1.234.567");
  EXPECT_EQ(GroupThousands(2147483648ULL, "\xA0"), "2\xA0" "147\xA0" "483\xA0" "648");
  EXPECT_EQ(GroupThousands(1000, ""), "1000");
  EXPECT_EQ(GroupThousands(std::numeric_limits<std::uint64_t>::max(), ","),
            "18,446,744,073,709,551,615");
  // A multi-byte separator goes in whole.
  EXPECT_EQ(GroupThousands(1234567, "'-"), "1'-234'-567");
}

TEST(GroupThousands, RandomValuesMatchReference) {
  const std::uint64_t seed = test::TestSeed();
  SCOPED_TRACE(test::SeedNote(seed));
  std::mt19937_64 rng(seed);
  for (int i = 0; i < 5000; ++i) {
    const std::uint64_t v = rng() >> (rng() % 64);  // every digit count turns up
    const std::string_view sep = kSeparators[rng() % kSeparators.size()];
    ASSERT_EQ(GroupThousands(v, sep), ReferenceGrouping(v, sep)) << "value " << v << ", iteration " << i;
  }
}

TEST(ClipboardTipText, Texts) {
  struct Case {
    std::uint64_t size;
    std::string_view sep;
    std::string expected;
  };
  const Case cases[] = {
      {0, ",", "Clipboard is empty"},
      {1, ",", "Clipboard is 1 bytes"},
      {2048, ",", "Clipboard is 2,048 bytes"},
      {2048, ".", "Clipboard is 2.048 bytes"},
      {2048, "", "Clipboard is 2048 bytes"},
      // Past the signed and unsigned 32-bit range: the true total, not a
      // negative number and not "empty".
      {2147483648ULL, ",", "Clipboard is 2,147,483,648 bytes"},
      {1ULL << 32, ",", "Clipboard is 4,294,967,296 bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    EXPECT_EQ(ClipboardTipText(c.size, c.sep), c.expected);
  }
}

TEST(ClipboardTipText, NeverContainsZeroByte) {
  // "\0" is what an empty locale separator turns into when read as a char.
  const std::string_view seps[] = {",", "", "\0"sv, "\0,\0"sv};
  const std::uint64_t sizes[] = {0, 1, 1000, 2147483648ULL, std::numeric_limits<std::uint64_t>::max()};
  for (std::string_view sep : seps) {
    for (std::uint64_t size : sizes) {
      const std::string tip = ClipboardTipText(size, sep);
      EXPECT_EQ(tip.find('\0'), std::string::npos) << tip;
    }
  }
  EXPECT_EQ(ClipboardTipText(1234567, "\0"sv), "Clipboard is 1234567 bytes");
  EXPECT_EQ(ClipboardTipText(1234567, "\0,\0"sv), "Clipboard is 1,234,567 bytes");
}

TEST(ClipboardTipText, LongestTipFitsTheField) {
  const std::string tip = ClipboardTipText(std::numeric_limits<std::uint64_t>::max(), "\xA0");
  ASSERT_LE(tip.size(), kTipMaxChars);
  std::array<char, kTipFieldSize> field;
  field.fill('x');
  EXPECT_EQ(CopyTipField(tip, field), tip.size());
  EXPECT_EQ(std::string(field.data()), tip);
}

// Filled with 'a'..'z' so that an off-by-one shows in the content.
std::string Letters(std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s += static_cast<char>('a' + i % 26);
  return s;
}

TEST(CopyTipField, CutsAtTheLimitAndZeroFills) {
  struct Case {
    const char* what;
    std::string text;
    LeadBytePredicate isLead;
    std::size_t copied;
  };
  const std::string pair = "\x82\xA0";  // one double-byte character
  const Case cases[] = {
      {"empty", "", NoLeadBytes, 0},
      {"62 chars", Letters(62), NoLeadBytes, 62},
      {"63 chars", Letters(63), NoLeadBytes, 63},
      {"64 chars", Letters(64), NoLeadBytes, 63},
      {"200 chars", Letters(200), NoLeadBytes, 63},
      {"pair straddles the limit", Letters(62) + pair, SjisLead, 62},
      {"same bytes, single-byte code page", Letters(62) + pair, NoLeadBytes, 63},
      {"pair ends exactly at the limit", Letters(61) + pair + "z", SjisLead, 63},
      // Byte 62 is a lead value but the trail of the pair before it.
      {"trail that looks like a lead", Letters(61) + "\x82\x82" + "z", SjisLead, 63},
      {"stops at a zero", "ab\0cd"s, NoLeadBytes, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::array<char, kTipFieldSize> field;
    field.fill('x');
    ASSERT_EQ(CopyTipField(c.text, field, c.isLead), c.copied);
    EXPECT_EQ(std::string(field.data(), c.copied), c.text.substr(0, c.copied));
    for (std::size_t i = c.copied; i < field.size(); ++i) ASSERT_EQ(field[i], '\0') << "byte " << i;
  }
}

TEST(WithClosingFullStop, Table) {
  struct Case {
    std::string msg;
    LeadBytePredicate isLead;
    bool getsDot;
  };
  const Case cases[] = {
      {"", NoLeadBytes, false},
      {".", NoLeadBytes, false},
      {"!", NoLeadBytes, false},
      {" ", NoLeadBytes, false},
      {"\r\n", NoLeadBytes, false},
      {")", NoLeadBytes, false},
      {"-", NoLeadBytes, false},  // 0x2D, just below '.'
      {"a", NoLeadBytes, true},
      {"7", NoLeadBytes, true},
      {"?", NoLeadBytes, true},
      {":", NoLeadBytes, true},
      {"/", NoLeadBytes, true},  // 0x2F, just above '.'
      {"Cannot open clipboard", NoLeadBytes, true},
      {"caf\xE9", NoLeadBytes, true},  // compared unsigned, not as a negative char
      // The last character is a pair whose trail is '!': its lead decides.
      {"Error \x82!", SjisLead, true},
      {"Error \x82!", NoLeadBytes, false},
      // 0x82 0x82 is one character, so the final '!' stands alone.
      {"x\x82\x82!", SjisLead, false},
      {"x\x82", SjisLead, true},  // a lone lead byte at the end
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("\"" + c.msg + "\"");
    EXPECT_EQ(WithClosingFullStop(c.msg, c.isLead), c.getsDot ? c.msg + "." : c.msg);
  }
}

// Splits into characters first, then looks at the last one.
std::string ReferenceFullStop(const std::string& msg, LeadBytePredicate isLead) {
  std::vector<std::string> chars;
  for (std::size_t i = 0; i < msg.size();) {
    const bool pair = isLead(static_cast<unsigned char>(msg[i])) && i + 1 < msg.size();
    chars.push_back(msg.substr(i, pair ? 2 : 1));
    i += chars.back().size();
  }
  if (!chars.empty() && static_cast<unsigned char>(chars.back()[0]) > 46) return msg + ".";
  return msg;
}

TEST(WithClosingFullStop, RandomMessagesMatchReference) {
  const std::uint64_t seed = test::TestSeed();
  SCOPED_TRACE(test::SeedNote(seed));
  std::mt19937_64 rng(seed);
  const std::string alphabet = "a.! -/\n\x21\x7F\x81\x82\x9F\xA0\xE0\xFC\xFF";
  for (int i = 0; i < 5000; ++i) {
    std::string msg;
    for (std::size_t n = rng() % 9; n > 0; --n) msg += alphabet[rng() % alphabet.size()];
    const LeadBytePredicate isLead = (i % 2 == 0) ? SjisLead : NoLeadBytes;
    ASSERT_EQ(WithClosingFullStop(msg, isLead), ReferenceFullStop(msg, isLead))
        << "iteration " << i << (isLead == NoLeadBytes ? ", single-byte" : ", double-byte");
  }
}

TEST(ShellFailureMessage, TwoLinesAndTheFullStop) {
  const std::string msg = ShellFailureMessage("clipbrd.exe");
  EXPECT_EQ(msg, "Shell command failed. It has been copied to the clipboard.\r\nclipbrd.exe");
  EXPECT_EQ(WithClosingFullStop(msg, NoLeadBytes), msg + ".");

  // An empty command leaves the line break last, and that sorts before '.'.
  const std::string empty = ShellFailureMessage("");
  EXPECT_EQ(empty, "Shell command failed. It has been copied to the clipboard.\r\n");
  EXPECT_EQ(WithClosingFullStop(empty, NoLeadBytes), empty);
}

}  // namespace
}  // namespace heft
