// The clipboard object. Opens nest by a count, so only the outermost pair
// really opens and closes the clipboard; it is always opened for the
// application window.
#pragma once

#include <windows.h>

#include <string_view>

namespace platform {

class TClipboard {
 public:
  // Raises Exception "Cannot open clipboard" when another program holds it;
  // the count then stays as it was.
  void Open();
  void Close();
  int OpenCount() const { return openCount_; }

  // CountClipboardFormats, without opening.
  int FormatCount() const;
  // The format reached by walking the list from its start index steps.
  UINT Formats(int index);
  // Calls f(format) for every listed format in one walk of the list.
  template <class F>
  void ForEachFormat(F&& f);
  // Empties the clipboard.
  void Clear();
  // Replaces the clipboard's contents with text as CF_UNICODETEXT.
  void SetUnicodeText(std::wstring_view text);

 private:
  int openCount_ = 0;
};

// The single instance, made on first use.
TClipboard& Clipboard();

// Pairs an Open with its Close.
class ClipboardOpen {
 public:
  explicit ClipboardOpen(TClipboard& c) : c_(c) { c_.Open(); }
  ClipboardOpen(const ClipboardOpen&) = delete;
  ClipboardOpen& operator=(const ClipboardOpen&) = delete;
  ~ClipboardOpen() { c_.Close(); }

 private:
  TClipboard& c_;
};

template <class F>
void TClipboard::ForEachFormat(F&& f) {
  ClipboardOpen open(*this);
  for (UINT fmt = ::EnumClipboardFormats(0); fmt != 0; fmt = ::EnumClipboardFormats(fmt)) f(fmt);
}

}  // namespace platform
