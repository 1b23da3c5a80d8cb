#include "clipbrd.h"

#include <cstring>

#include "app.h"
#include "errors.h"
#include "handles.h"

namespace platform {

TClipboard& Clipboard() {
  static TClipboard instance;
  return instance;
}

void TClipboard::Open() {
  if (openCount_ == 0) {
    HWND owner = Application ? Application->Handle() : nullptr;
    if (!::OpenClipboard(owner)) throw Exception("Cannot open clipboard");
  }
  ++openCount_;
}

void TClipboard::Close() {
  if (openCount_ == 0) return;
  if (--openCount_ == 0) ::CloseClipboard();
}

int TClipboard::FormatCount() const { return ::CountClipboardFormats(); }

UINT TClipboard::Formats(int index) {
  ClipboardOpen open(*this);
  UINT fmt = ::EnumClipboardFormats(0);
  for (int i = 0; i < index && fmt != 0; ++i) fmt = ::EnumClipboardFormats(fmt);
  return fmt & 0xFFFF;
}

void TClipboard::Clear() {
  ClipboardOpen open(*this);
  ::EmptyClipboard();
}

void TClipboard::SetUnicodeText(std::wstring_view text) {
  const SIZE_T bytes = (text.size() + 1) * sizeof(wchar_t);
  UniqueGlobal block(::GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, bytes));
  if (!block) throw EOutOfResources("Not enough memory for the clipboard text");
  {
    void* p = ::GlobalLock(block.get());
    if (!p) throw EOutOfResources("Not enough memory for the clipboard text");
    std::memcpy(p, text.data(), text.size() * sizeof(wchar_t));
    static_cast<wchar_t*>(p)[text.size()] = L'\0';
    ::GlobalUnlock(block.get());
  }
  ClipboardOpen open(*this);
  ::EmptyClipboard();
  // On success the clipboard owns the block. Saying the text was copied
  // when it was not would be worse than saying nothing.
  if (!::SetClipboardData(CF_UNICODETEXT, block.get()))
    throw Exception("Cannot copy the text to the clipboard");
  (void)block.release();
}

}  // namespace platform
