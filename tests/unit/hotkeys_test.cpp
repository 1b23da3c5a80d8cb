#include "hotkeys.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "support.h"

namespace heft {
namespace {

using Captions = std::vector<std::string>;

TEST(AccessKeyOf, Table) {
  struct Case {
    std::string caption;
    char key;
  };
  const Case cases[] = {
      {"&File", 'F'},  {"E&xit", 'X'},   {"e&xit", 'X'}, {"&1 recent", '1'},
      {"&&File", '\0'}, {"A&&B&c", 'C'}, {"a&&&b", 'B'}, {"Save&", '\0'},
      {"", '\0'},      {"&A &B", 'A'},   {"plain", '\0'},
  };
  for (const Case& c : cases) EXPECT_EQ(AccessKeyOf(c.caption), c.key) << c.caption;
}

TEST(AssignAccessKeys, TrayMenu) {
  Captions menu = {"&Clear clipboard", "&Show contents", "&Display manual",
                   "&About Heftmark...", "Visit website", "E&xit"};
  ASSERT_TRUE(AssignAccessKeys(menu));
  EXPECT_EQ(menu, (Captions{"&Clear clipboard", "&Show contents", "&Display manual",
                            "&About Heftmark...", "&Visit website", "E&xit"}));
  std::string keys;
  for (const std::string& c : menu) keys += AccessKeyOf(c);
  EXPECT_EQ(keys, "CSDAVX");

  const Captions once = menu;
  EXPECT_FALSE(AssignAccessKeys(menu));
  EXPECT_EQ(menu, once);
}

TEST(AssignAccessKeys, Table) {
  struct Case {
    const char* what;
    Captions before;
    Captions after;
  };
  const Case cases[] = {
      {"every letter taken", {"&Ab", "&Ba", "ab", "BA"}, {"&Ab", "&Ba", "ab", "BA"}},
      {"a digit is a candidate", {"&Abc", "&Bc", "&Cab", "abc 1"}, {"&Abc", "&Bc", "&Cab", "abc &1"}},
      {"upper-case form clashes", {"&Visit", "vase"}, {"&Visit", "v&ase"}},
      {"lower-case mark takes the upper key", {"&visit", "Vase"}, {"&visit", "V&ase"}},
      {"marked keys are taken before earlier captions pick", {"Visit", "&Vanish"}, {"V&isit", "&Vanish"}},
      {"an existing key stays, clash or not", {"Ex&it", "&Open", "&Other"}, {"Ex&it", "&Open", "&Other"}},
      {"earlier captions pick first", {"Copy", "Cut"}, {"&Copy", "C&ut"}},
      {"&& is a literal", {"Save && Quit", "&&Send"}, {"&Save && Quit", "&&S&end"}},
      {"literal before the key", {"&&Open"}, {"&&&Open"}},
      {"skips a taken letter after &&", {"&S", "&&S x"}, {"&S", "&&S &x"}},
      {"trailing lone & marks nothing", {"Save&"}, {"&Save&"}},
      {"only ASCII letters and digits", {"\xC9t\xE9", "... --", ""}, {"\xC9&t\xE9", "... --", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Captions captions = c.before;
    EXPECT_EQ(AssignAccessKeys(captions), c.before != c.after);
    EXPECT_EQ(captions, c.after);
    const Captions once = captions;
    EXPECT_FALSE(AssignAccessKeys(captions));
    EXPECT_EQ(captions, once);
  }
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsAsciiAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Candidate positions of a caption without a key, in reading order.
std::vector<std::size_t> Candidates(const std::string& caption) {
  std::vector<std::size_t> out;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&') {
      ++i;
    } else if (IsAsciiAlnum(caption[i])) {
      out.push_back(i);
    }
  }
  return out;
}

TEST(AssignAccessKeys, RandomCaptionsFollowTheModel) {
  const std::uint64_t seed = test::TestSeed();
  SCOPED_TRACE(test::SeedNote(seed));
  std::mt19937_64 rng(seed);
  const std::string alphabet = "aAbBcC1&& .";
  for (int iteration = 0; iteration < 3000; ++iteration) {
    Captions before(1 + rng() % 8);
    for (std::string& c : before)
      for (std::size_t n = rng() % 7; n > 0; --n) c += alphabet[rng() % alphabet.size()];
    Captions after = before;
    const bool changed = AssignAccessKeys(after);
    SCOPED_TRACE("iteration " + std::to_string(iteration));
    ASSERT_EQ(after.size(), before.size());

    std::set<char> taken;
    for (const std::string& c : before)
      if (AccessKeyOf(c) != '\0') taken.insert(AccessKeyOf(c));

    bool anyChanged = false;
    for (std::size_t i = 0; i < before.size(); ++i) {
      SCOPED_TRACE("caption \"" + before[i] + "\" became \"" + after[i] + "\"");
      if (AccessKeyOf(before[i]) != '\0') {
        ASSERT_EQ(after[i], before[i]);
        continue;
      }
      // The first candidate whose key is still free, or none.
      std::size_t expectedAt = std::string::npos;
      for (std::size_t p : Candidates(before[i])) {
        if (taken.count(Upper(before[i][p])) == 0) {
          expectedAt = p;
          break;
        }
      }
      if (expectedAt == std::string::npos) {
        ASSERT_EQ(after[i], before[i]);
        continue;
      }
      std::string expected = before[i];
      expected.insert(expectedAt, 1, '&');
      ASSERT_EQ(after[i], expected);
      const char key = AccessKeyOf(after[i]);
      ASSERT_EQ(key, Upper(before[i][expectedAt]));
      ASSERT_TRUE(taken.insert(key).second) << "key " << key << " given twice";
      anyChanged = true;
    }
    ASSERT_EQ(changed, anyChanged);

    const Captions once = after;
    ASSERT_FALSE(AssignAccessKeys(after));
    ASSERT_EQ(after, once);
  }
}

}  // namespace
}  // namespace heft
