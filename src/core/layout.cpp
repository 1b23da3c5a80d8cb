#include "layout.h"

#include <charconv>

// The grammar, one statement per line:
//
//   object   := "object" name ":" name  { property | object }  "end"
//   property := dotted-name "=" value
//   value    := string | integer | dotted-name | "[" [ dotted-name { "," dotted-name } ] "]"
//   string   := ( 'quoted' | #code ) { 'quoted' | #code }   -- pieces adjacent
//
// Strings and sets do not span lines, so an unclosed one is reported where
// it starts rather than wherever the parser happens to give up.

namespace heft {

const LayoutValue* LayoutNode::Find(std::string_view property) const {
  for (const auto& [name, value] : properties) {
    if (name == property) return &value;
  }
  return nullptr;
}

namespace {

[[noreturn]] void Fail(int line, const std::string& what) {
  throw LayoutError("line " + std::to_string(line) + ": " + what);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsNameChar(char c) { return IsNameStart(c) || IsDigit(c); }

struct Token {
  enum class Kind { End, Name, Integer, String, Colon, Equals, Comma, Open, Close };
  Kind kind = Kind::End;
  int line = 0;
  std::string text;  // Name, String
  std::int64_t number = 0;

  bool Is(std::string_view word) const { return kind == Kind::Name && text == word; }
};

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  const Token& Peek() {
    if (!peeked_) {
      ahead_ = Scan();
      peeked_ = true;
    }
    return ahead_;
  }

  Token Next() {
    Peek();
    peeked_ = false;
    return std::move(ahead_);
  }

 private:
  bool More() const { return pos_ < text_.size(); }
  char At(std::size_t offset = 0) const {
    return pos_ + offset < text_.size() ? text_[pos_ + offset] : '\0';
  }

  void SkipBlanks() {
    while (More()) {
      const char c = At();
      if (c == '\n') {
        ++line_;
        lineStart_ = true;
        ++pos_;
      } else if (c == ' ' || c == '\t' || c == '\r') {
        ++pos_;
      } else if (lineStart_ && c == '/' && At(1) == '/') {
        while (More() && At() != '\n') ++pos_;
      } else {
        return;
      }
    }
  }

  Token Scan() {
    SkipBlanks();
    Token t;
    t.line = line_;
    if (!More()) return t;
    lineStart_ = false;

    const char c = At();
    const auto single = [&](Token::Kind kind) {
      ++pos_;
      t.kind = kind;
      return t;
    };
    switch (c) {
      case ':': return single(Token::Kind::Colon);
      case '=': return single(Token::Kind::Equals);
      case ',': return single(Token::Kind::Comma);
      case '[': return single(Token::Kind::Open);
      case ']': return single(Token::Kind::Close);
      default: break;
    }
    if (c == '\'' || c == '#') {
      t.kind = Token::Kind::String;
      t.text = ScanString();
      return t;
    }
    if (IsDigit(c) || (c == '-' && IsDigit(At(1)))) {
      const std::size_t start = pos_++;
      while (IsDigit(At())) ++pos_;
      if (IsNameChar(At()) || At() == '.') Fail(line_, "malformed number");
      const char* first = text_.data() + start;
      const char* last = text_.data() + pos_;
      if (std::from_chars(first, last, t.number).ec != std::errc())
        Fail(line_, "integer out of range: " + std::string(first, last));
      t.kind = Token::Kind::Integer;
      return t;
    }
    if (IsNameStart(c)) {
      const std::size_t start = pos_++;
      for (;;) {
        if (IsNameChar(At())) {
          ++pos_;
        } else if (At() == '.' && IsNameStart(At(1))) {
          pos_ += 2;
        } else {
          break;
        }
      }
      t.kind = Token::Kind::Name;
      t.text = std::string(text_.substr(start, pos_ - start));
      return t;
    }
    Fail(line_, std::string("unexpected character '") + c + "'");
  }

  std::string ScanString() {
    std::string out;
    for (;;) {
      if (At() == '\'') {
        ++pos_;
        for (;;) {
          if (!More() || At() == '\n') Fail(line_, "unterminated string");
          if (At() == '\'') {
            if (At(1) != '\'') break;
            ++pos_;  // '' stands for one quote
          }
          out += At();
          ++pos_;
        }
        ++pos_;
      } else if (At() == '#') {
        ++pos_;
        const std::size_t start = pos_;
        while (IsDigit(At())) ++pos_;
        unsigned code = 0;
        const auto [end, ec] = std::from_chars(text_.data() + start, text_.data() + pos_, code);
        if (start == pos_) Fail(line_, "'#' must be followed by a decimal character code");
        if (ec != std::errc() || code > 255) Fail(line_, "character code out of range (0..255)");
        out += static_cast<char>(code);
      } else {
        return out;
      }
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  int line_ = 1;
  bool lineStart_ = true;
  bool peeked_ = false;
  Token ahead_;
};

class Parser {
 public:
  explicit Parser(std::string_view text) : lex_(text) {}

  LayoutNode Document() {
    LayoutNode root = Object();
    if (const Token& t = lex_.Peek(); t.kind != Token::Kind::End)
      Fail(t.line, "unexpected text after the final \"end\"");
    return root;
  }

 private:
  Token Next() {
    Token t = lex_.Next();
    if (t.kind != Token::Kind::End) lastLine_ = t.line;
    return t;
  }

  // Whatever follows a statement must start on a line of its own.
  void EndOfStatement() {
    if (const Token& t = lex_.Peek(); t.kind != Token::Kind::End && t.line == lastLine_)
      Fail(t.line, "unexpected text at the end of the line");
  }

  std::string PlainName(int line, const char* what) {
    Token t = Next();
    if (t.kind != Token::Kind::Name || t.line != line || t.text.find('.') != std::string::npos)
      Fail(line, std::string("expected ") + what);
    return t.text;
  }

  LayoutNode Object() {
    const Token head = Next();
    if (!head.Is("object")) Fail(head.line, "expected \"object\"");
    LayoutNode node;
    node.line = head.line;
    node.name = PlainName(head.line, "an object name after \"object\"");
    if (const Token colon = Next(); colon.kind != Token::Kind::Colon || colon.line != head.line)
      Fail(head.line, "expected ':' after the object name");
    node.className = PlainName(head.line, "a class name after ':'");
    EndOfStatement();

    for (;;) {
      const Token& t = lex_.Peek();
      if (t.kind == Token::Kind::End) Fail(node.line, "object \"" + node.name + "\" has no \"end\"");
      if (t.Is("end")) {
        Next();
        EndOfStatement();
        return node;
      }
      if (t.Is("object")) {
        node.children.push_back(Object());
        continue;
      }
      if (t.kind != Token::Kind::Name) Fail(t.line, "expected a property, \"object\" or \"end\"");

      const Token name = Next();
      if (const Token eq = Next(); eq.kind != Token::Kind::Equals || eq.line != name.line)
        Fail(name.line, "expected '=' after \"" + name.text + "\"");
      if (node.Find(name.text) != nullptr) Fail(name.line, "duplicate property \"" + name.text + "\"");
      LayoutValue value = Value(name.line);
      node.properties.emplace_back(name.text, std::move(value));
      EndOfStatement();
    }
  }

  LayoutValue Value(int line) {
    Token t = Next();
    if (t.kind == Token::Kind::End || t.line != line) Fail(line, "expected a value after '='");
    LayoutValue v;
    switch (t.kind) {
      case Token::Kind::String:
        v.kind = LayoutValue::Kind::String;
        v.text = std::move(t.text);
        return v;
      case Token::Kind::Integer:
        v.kind = LayoutValue::Kind::Integer;
        v.number = t.number;
        return v;
      case Token::Kind::Name:
        v.kind = LayoutValue::Kind::Identifier;
        v.text = std::move(t.text);
        return v;
      case Token::Kind::Open:
        v.kind = LayoutValue::Kind::Set;
        SetItems(line, v.items);
        return v;
      default:
        Fail(line, "expected a value after '='");
    }
  }

  void SetItems(int line, std::vector<std::string>& items) {
    const auto next = [&] {
      Token t = Next();
      if (t.kind == Token::Kind::End || t.line != line) Fail(line, "unterminated set");
      return t;
    };
    Token t = next();
    if (t.kind == Token::Kind::Close) return;
    for (;;) {
      if (t.kind != Token::Kind::Name) Fail(line, "expected a name in the set");
      items.push_back(std::move(t.text));
      const Token sep = next();
      if (sep.kind == Token::Kind::Close) return;
      if (sep.kind != Token::Kind::Comma) Fail(line, "expected ',' or ']' in the set");
      t = next();
    }
  }

  Lexer lex_;
  int lastLine_ = 0;
};

}  // namespace

LayoutNode ParseLayout(std::string_view text) { return Parser(text).Document(); }

}  // namespace heft
