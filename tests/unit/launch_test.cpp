#include "launch.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support.h"

namespace heft {
namespace {

using namespace std::string_literals;

// Checks the buffer against the text it should hold.
void ExpectBufferHolds(const std::vector<char>& buffer, const std::string& text) {
  ASSERT_EQ(buffer.size(), std::max<std::size_t>(256, text.size() + 1));
  EXPECT_EQ(std::string(buffer.data(), text.size()), text);
  for (std::size_t i = text.size(); i < buffer.size(); ++i) ASSERT_EQ(buffer[i], '\0') << "byte " << i;
}

TEST(LaunchBuffer, Table) {
  struct Case {
    const char* what;
    std::string input;
    std::string held;
  };
  const std::string path600 = "C:\\" + std::string(593, 'p') + "\\a.doc";
  const Case cases[] = {
      {"empty", "", ""},
      {"embedded zero cuts", "clip\0brd.exe"s, "clip"},
      {"leading zero", "\0abc"s, ""},
      {"255 chars fit the fixed buffer", std::string(255, 'x'), std::string(255, 'x')},
      {"256 chars get a buffer of their own", std::string(256, 'y'), std::string(256, 'y')},
      {"600-char path", path600, path600},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectBufferHolds(LaunchBuffer(c.input), c.held);
  }
}

TEST(LaunchBuffer, RandomTextsMatchReference) {
  const std::uint64_t seed = test::TestSeed();
  SCOPED_TRACE(test::SeedNote(seed));
  std::mt19937_64 rng(seed);
  for (int i = 0; i < 500; ++i) {
    std::string input(rng() % 700, '\0');
    for (char& c : input) c = (rng() % 200 == 0) ? '\0' : static_cast<char>(1 + rng() % 255);
    std::string held;
    for (char c : input) {
      if (c == '\0') break;
      held += c;
    }
    SCOPED_TRACE("iteration " + std::to_string(i) + ", length " + std::to_string(input.size()));
    ExpectBufferHolds(LaunchBuffer(input), held);
  }
}

TEST(SiblingPath, Table) {
  struct Case {
    std::string exe;
    LeadBytePredicate isLead;
    std::string expected;
  };
  const Case cases[] = {
      {"D:\\Apps\\Tray\\tool.exe", NoLeadBytes, "D:\\Apps\\Tray\\readme.doc"},
      {"D:\\tool.exe", NoLeadBytes, "D:\\readme.doc"},
      {"C:\\Program Files\\Heft mark\\tool.exe", NoLeadBytes, "C:\\Program Files\\Heft mark\\readme.doc"},
      {"C:tool.exe", NoLeadBytes, "C:readme.doc"},
      {"tool.exe", NoLeadBytes, "readme.doc"},
      {"", NoLeadBytes, "readme.doc"},
      {"\\\\server\\share\\tool.exe", NoLeadBytes, "\\\\server\\share\\readme.doc"},
      // A folder named with a character whose trail byte is 0x5C.
      {"D:\\\x95\x5C\\tool.exe", test::SjisLead, "D:\\\x95\x5C\\readme.doc"},
      // Here the 0x5C trail is the last 0x5C byte of all: it is no separator
      // in a double-byte code page, but it is one in a single-byte one.
      {"D:\\Apps\\\x95\x5C.exe", test::SjisLead, "D:\\Apps\\readme.doc"},
      {"D:\\Apps\\\x95\x5C.exe", NoLeadBytes, "D:\\Apps\\\x95\\readme.doc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.exe);
    EXPECT_EQ(SiblingPath(c.exe, "readme.doc", c.isLead), c.expected);
  }
}

}  // namespace
}  // namespace heft

TEST(ShellSucceeded, ThirtyTwoIsTheLastFailure) {
  struct Case { long long result; bool ok; };
  for (Case c : {Case{-1, false}, {0, false}, {2, false}, {31, false}, {32, false}, {33, true},
                 {42, true}, {1LL << 40, true}})
    EXPECT_EQ(heft::ShellSucceeded(c.result), c.ok) << c.result;
}
