// Form layout text: the components of a form, their properties and the
// names of the handlers bound to their events. It reads like this:
//
//   object mainForm: TmainForm
//     Caption = 'About Heftmark'
//     ClientWidth = 363
//     BorderStyle = bsDialog
//     Font.Name = 'MS Sans Serif'
//     Anchors = [akLeft, akTop]
//     OnCreate = FormCreate
//     object Panel1: TPanel
//       Left = 5
//     end
//   end
//
// Strings are quoted with ' (doubled inside) and may be joined with #nn
// character codes: 'one'#13#10'two'. Integers may be negative. Identifiers
// (True, bsDialog, handler names) may contain dots. Sets are [a, b]. Lines
// starting with // are comments.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace heft {

struct LayoutValue {
  enum class Kind { String, Integer, Identifier, Set };
  Kind kind = Kind::Integer;
  std::string text;               // String, Identifier
  std::int64_t number = 0;        // Integer
  std::vector<std::string> items; // Set
};

struct LayoutNode {
  std::string name;
  std::string className;
  int line = 0;
  std::vector<std::pair<std::string, LayoutValue>> properties;  // in file order
  std::vector<LayoutNode> children;                             // in file order

  // The property of that name, or nullptr.
  const LayoutValue* Find(std::string_view property) const;
};

// Thrown for text that is not a well-formed layout; what() names the line.
class LayoutError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses one top-level object. Duplicate property names and trailing text
// after the final "end" are errors.
LayoutNode ParseLayout(std::string_view text);

}  // namespace heft
