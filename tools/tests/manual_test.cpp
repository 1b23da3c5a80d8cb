#include <gtest/gtest.h>

#include <string>

#include "manual_rtf.h"
#include "run_tool.h"

namespace {

using tooltest::readFile;
using tooltest::runTool;
using tooltest::scratch;
using tooltest::writeFile;

// The RTF of a one-paragraph document, without the paragraph's framing.
std::string paragraph(const std::string& source) {
  const std::string rtf = manual::convert(source);
  const std::string open = "\\pard\\sa120 ";
  const auto from = rtf.find(open);
  const auto to = rtf.rfind("\\par\n");
  if (from == std::string::npos || to == std::string::npos) return "<no paragraph in: " + rtf + ">";
  return rtf.substr(from + open.size(), to - from - open.size());
}

// Group depth after the text, ignoring escaped braces; a negative depth
// anywhere is reported as -1.
int braceBalance(const std::string& rtf) {
  int depth = 0;
  for (std::size_t i = 0; i < rtf.size(); ++i) {
    if (rtf[i] == '\\') {
      ++i;
    } else if (rtf[i] == '{') {
      ++depth;
    } else if (rtf[i] == '}' && --depth < 0) {
      return -1;
    }
  }
  return depth;
}

TEST(ManualRtf, EscapesAndMarkup) {
  struct Case {
    const char* source;
    const char* rtf;
  };
  const Case cases[] = {
      {"C:\\Apps\\readme.doc", "C:\\\\Apps\\\\readme.doc"},
      {"{braces}", "\\{braces\\}"},
      {"caf\xC3\xA9 \xC2\xA0", "caf\\'e9 \\'a0"},                          // é, no-break space
      {"\xE2\x82\xAC" "5 \xE2\x80\x9Cq\xE2\x80\x9D \xE2\x80\x94", "\\'805 \\'93q\\'94 \\'97"},  // € “ ” —
      {"an *important* word", "an {\\b important} word"},
      {"&Clear clipboard, E&xit", "{\\ul C}lear clipboard, E{\\ul x}it"},
      {"A && B ** C", "A & B * C"},
      {"*{&x}*", "{\\b \\{{\\ul x}\\}}"},
      {"tab\there", "tab here"},
  };
  for (const Case& c : cases) EXPECT_EQ(paragraph(c.source), c.rtf) << c.source;
}

TEST(ManualRtf, RejectsBadSourceWithItsLine) {
  struct Case {
    const char* what;
    const char* source;
    int line;
  };
  const Case cases[] = {
      {"no Windows-1252 form", "ok\n\xCE\xA9mega\n", 2},
      {"a C1 control is not a cp1252 character", "\xC2\x81\n", 1},
      {"truncated UTF-8", "ok\nok\ncaf\xC3", 3},
      {"overlong UTF-8", "\xC0\xAF\n", 1},
      {"UTF-16 surrogate", "\xED\xA0\x80\n", 1},
      {"control character", "bell\x07\n", 1},
      {"unclosed bold", "% note\n*bold\n", 2},
      {"bold opened on a joined line", "one\ntwo *three\n", 1},
      {"access key without a letter", "- item\n  then & nothing\n", 1},
      {"indented line that continues nothing", "# Title\n  stray\n", 2},
      {"only comments", "% a\n% b\n", 2},
  };
  for (const Case& c : cases) {
    try {
      manual::convert(c.source);
      ADD_FAILURE() << c.what << ": accepted";
    } catch (const manual::SourceError& e) {
      EXPECT_EQ(e.line(), c.line) << c.what << ": " << e.what();
    }
  }
}

TEST(ManualRtf, DocumentStructure) {
  const std::string rtf = manual::convert(
      "\xEF\xBB\xBF% left out\n"
      "# The Title\n"
      "\n"
      "First line\n"
      "second line.\n"
      "\n"
      "## Section\n"
      "- one\n"
      "  continued\n"
      "- two\n"
      "After.\r\n");
  EXPECT_EQ(rtf.rfind("{\\rtf1\\ansi\\ansicpg1252", 0), 0u);
  EXPECT_NE(rtf.find("{\\fonttbl{\\f0"), std::string::npos);
  EXPECT_NE(rtf.find("{\\info{\\title The Title}}"), std::string::npos);
  EXPECT_EQ(rtf.find("left out"), std::string::npos);
  EXPECT_EQ(rtf.find('\r'), std::string::npos);
  EXPECT_EQ(braceBalance(rtf), 0);

  const std::string body[] = {
      "\\b\\fs36 The Title\\b0\\fs20\\par\n",
      "\\pard\\sa120 First line second line.\\par\n",
      "\\b\\fs26 Section\\b0\\fs20\\par\n",
      "\\'95\\tab one continued\\par\n",
      "\\'95\\tab two\\par\n",
      "\\pard\\sa120 After.\\par\n",
  };
  std::size_t at = 0;
  for (const std::string& piece : body) {
    const auto found = rtf.find(piece, at);
    ASSERT_NE(found, std::string::npos) << "missing, or out of order: " << piece << "in\n" << rtf;
    at = found + piece.size();
  }
}

TEST(MkManual, ConvertsTheShippedManual) {
  const auto out = scratch("readme.doc");
  const auto run = runTool(MKMANUAL_EXE, MANUAL_SOURCE, out.string());
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  const std::string rtf = readFile(out);
  EXPECT_EQ(rtf.rfind("{\\rtf1\\ansi\\ansicpg1252", 0), 0u);
  EXPECT_EQ(braceBalance(rtf), 0);

  // What the user reads in the program must read the same in the manual.
  const char* shown[] = {
      "{\\ul C}lear clipboard", "{\\ul S}how contents",     "{\\ul D}isplay manual",
      "{\\ul A}bout Heftmark...", "{\\ul V}isit website",  "E{\\ul x}it",
      "{\\ul F}REE registration", "Tallowgate Online",
      "Clipboard is empty",     "Clipboard is 2,048 bytes",
      "Shell command failed. It has been copied to the clipboard.",
      "Cannot open clipboard.", "Heftmark is already running",
      "clipbrd.exe",            "readme.doc",
      "https://tallowgate.example", "heftmark-subscribe@tallowgate.example",
  };
  for (const char* text : shown) EXPECT_NE(rtf.find(text), std::string::npos) << text;
}

TEST(MkManual, FailureExitsNonZeroAndLeavesTheOutputAlone) {
  const auto out = scratch("kept.doc");
  writeFile(out, "previous");
  const auto bad = scratch("bad-manual.txt");
  writeFile(bad, "# Title\n\nan *unclosed span\n");
  const auto run = runTool(MKMANUAL_EXE, bad.string(), out.string());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.errors.find("line 3"), std::string::npos) << run.errors;
  EXPECT_EQ(readFile(out), "previous");
}

}  // namespace
