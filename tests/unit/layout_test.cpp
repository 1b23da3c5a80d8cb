#include "layout.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace heft {
namespace {

using Kind = LayoutValue::Kind;

constexpr std::string_view kForm =
    "// the About window\n"
    "object mainForm: TmainForm\n"
    "  Caption = 'About Heftmark'\n"
    "  Left = -12\n"
    "  BorderStyle = bsDialog\n"
    "  Font.Name = 'MS Sans Serif'\n"
    "  Anchors = [akLeft, akTop]\n"
    "  Hint = 'It''s'#13#10'two'\n"
    "  Big = 9223372036854775807\n"
    "  Small = -9223372036854775808\n"
    "  Empty = []\n"
    "  OnCreate = FormCreate\r\n"
    "  object Panel1: TPanel\n"
    "    // indented comment\n"
    "    Caption = ''\n"
    "    object ProgramIcon: TImage\n"
    "      Picture.Data = #0'x'#255\n"
    "    end\n"
    "  end\n"
    "  object OKButton: TButton\n"
    "    Enabled = True\n"
    "  end\n"
    "end\n";

TEST(ParseLayout, ReadsTheForm) {
  const LayoutNode form = ParseLayout(kForm);
  EXPECT_EQ(form.name, "mainForm");
  EXPECT_EQ(form.className, "TmainForm");
  EXPECT_EQ(form.line, 2);

  ASSERT_EQ(form.properties.size(), 10u);
  EXPECT_EQ(form.properties.front().first, "Caption");
  EXPECT_EQ(form.properties.back().first, "OnCreate");

  const auto expectText = [&](std::string_view name, Kind kind, std::string_view text) {
    const LayoutValue* v = form.Find(name);
    ASSERT_NE(v, nullptr) << name;
    EXPECT_EQ(v->kind, kind) << name;
    EXPECT_EQ(v->text, text) << name;
  };
  expectText("Caption", Kind::String, "About Heftmark");
  expectText("BorderStyle", Kind::Identifier, "bsDialog");
  expectText("Font.Name", Kind::String, "MS Sans Serif");
  expectText("Hint", Kind::String, "It's\r\ntwo");
  expectText("OnCreate", Kind::Identifier, "FormCreate");

  const auto expectNumber = [&](std::string_view name, std::int64_t n) {
    const LayoutValue* v = form.Find(name);
    ASSERT_NE(v, nullptr) << name;
    EXPECT_EQ(v->kind, Kind::Integer) << name;
    EXPECT_EQ(v->number, n) << name;
  };
  expectNumber("Left", -12);
  expectNumber("Big", std::numeric_limits<std::int64_t>::max());
  expectNumber("Small", std::numeric_limits<std::int64_t>::min());

  ASSERT_NE(form.Find("Anchors"), nullptr);
  EXPECT_EQ(form.Find("Anchors")->kind, Kind::Set);
  EXPECT_EQ(form.Find("Anchors")->items, (std::vector<std::string>{"akLeft", "akTop"}));
  ASSERT_NE(form.Find("Empty"), nullptr);
  EXPECT_EQ(form.Find("Empty")->kind, Kind::Set);
  EXPECT_TRUE(form.Find("Empty")->items.empty());
  EXPECT_EQ(form.Find("Font"), nullptr);

  ASSERT_EQ(form.children.size(), 2u);
  const LayoutNode& panel = form.children[0];
  EXPECT_EQ(panel.name, "Panel1");
  EXPECT_EQ(panel.className, "TPanel");
  EXPECT_EQ(panel.line, 13);
  ASSERT_NE(panel.Find("Caption"), nullptr);
  EXPECT_EQ(panel.Find("Caption")->kind, Kind::String);
  EXPECT_EQ(panel.Find("Caption")->text, "");

  ASSERT_EQ(panel.children.size(), 1u);
  const LayoutNode& icon = panel.children[0];
  EXPECT_EQ(icon.name, "ProgramIcon");
  EXPECT_EQ(icon.line, 16);
  ASSERT_NE(icon.Find("Picture.Data"), nullptr);
  EXPECT_EQ(icon.Find("Picture.Data")->text, std::string("\0x\xFF", 3));

  const LayoutNode& ok = form.children[1];
  EXPECT_EQ(ok.name, "OKButton");
  EXPECT_TRUE(ok.children.empty());
  ASSERT_NE(ok.Find("Enabled"), nullptr);
  EXPECT_EQ(ok.Find("Enabled")->kind, Kind::Identifier);
  EXPECT_EQ(ok.Find("Enabled")->text, "True");
}

TEST(ParseLayout, RejectsMalformedText) {
  struct Case {
    const char* what;
    std::string_view text;
    int line;
  };
  const Case cases[] = {
      {"empty text", "", 1},
      {"no object", "\nCaption = 'x'\n", 2},
      {"unterminated string", "object a: T\n  Left = 1\n  Caption = 'abc\nend\n", 3},
      {"unterminated string at the end", "object a: T\n  Caption = 'abc", 2},
      {"string across lines", "object a: T\n  Caption = 'abc\n  def'\nend\n", 2},
      {"missing end reports its object", "object a: T\n  Left = 1\n  object b: U\n    Top = 2\nend\n", 1},
      {"missing end of the inner object", "object a: T\n  object b: U\n", 2},
      {"property without '='", "object a: T\n  Left 5\nend\n", 2},
      {"name alone on a line", "object a: T\n  Left\n  Top = 1\nend\n", 2},
      {"missing value", "object a: T\n  Left =\n  Top = 1\nend\n", 2},
      {"header without ':'", "object a T\nend\n", 1},
      {"header without class", "object a:\n  Left = 1\nend\n", 1},
      {"duplicate property", "object a: T\n  Left = 1\n  Left = 2\nend\n", 3},
      {"text after the final end", "object a: T\nend\n\nobject b: U\nend\n", 4},
      {"text after end on its line", "object a: T\nend x\n", 2},
      {"two properties on one line", "object a: T\n  Left = 1 Top = 2\nend\n", 2},
      {"string pieces not adjacent", "object a: T\n  Caption = 'a' 'b'\nend\n", 2},
      {"code above 255", "object a: T\n  Caption = 'a'#256\nend\n", 2},
      {"hex code", "object a: T\n  Caption = #$0D\nend\n", 2},
      {"integer too big", "object a: T\n\n  Left = 9223372036854775808\nend\n", 3},
      {"integer too small", "object a: T\n  Left = -9223372036854775809\nend\n", 2},
      {"number with letters", "object a: T\n  Left = 12px\nend\n", 2},
      {"unterminated set", "object a: T\n  Anchors = [akLeft, akTop\nend\n", 2},
      {"set with trailing comma", "object a: T\n  Anchors = [akLeft,]\nend\n", 2},
      {"unexpected character", "object a: T\n  Left = $10\nend\n", 2},
      {"comment after a value", "object a: T\n  Left = 1 // one\nend\n", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      ParseLayout(c.text);
      ADD_FAILURE() << "no error";
    } catch (const LayoutError& e) {
      const std::string prefix = "line " + std::to_string(c.line) + ": ";
      EXPECT_EQ(std::string(e.what()).substr(0, prefix.size()), prefix) << e.what();
    }
  }
}

}  // namespace
}  // namespace heft
