// Reading typed values out of layout properties; a value of the wrong
// kind makes the layout unreadable.
#pragma once

#include <string>

#include "errors.h"
#include "layout.h"

namespace platform {

inline int IntOf(const heft::LayoutValue& v) {
  if (v.kind != heft::LayoutValue::Kind::Integer) throw EReadError("Integer expected");
  return static_cast<int>(v.number);
}

inline bool BoolOf(const heft::LayoutValue& v) {
  if (v.kind != heft::LayoutValue::Kind::Identifier || (v.text != "True" && v.text != "False"))
    throw EReadError("True or False expected");
  return v.text == "True";
}

inline std::string StringOf(const heft::LayoutValue& v) {
  if (v.kind != heft::LayoutValue::Kind::String) throw EReadError("String expected");
  return v.text;
}

// The colours our containers give the static controls they hold: the
// button face behind window text.
inline LRESULT StaticColours(WPARAM dc) {
  HDC h = reinterpret_cast<HDC>(dc);
  ::SetTextColor(h, ::GetSysColor(COLOR_WINDOWTEXT));
  ::SetBkColor(h, ::GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
}

}  // namespace platform
