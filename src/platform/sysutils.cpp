#include "sysutils.h"

#include <windows.h>

#include "errors.h"

namespace platform {

TFormatSettings FormatSettings;

void GetFormatSettings() {
  // Two bytes: one separator character and its terminator. A separator that
  // does not fit fails the call and falls back to the comma.
  char buf[2] = {};
  int n = ::GetLocaleInfoA(::GetThreadLocale(), LOCALE_STHOUSAND, buf, sizeof buf);
  if (n > 0)
    FormatSettings.ThousandSeparator = buf[0] ? std::string(1, buf[0]) : std::string();
  else
    FormatSettings.ThousandSeparator = ",";
}

std::string ExecutablePath() {
  std::string path(MAX_PATH + 1, '\0');
  for (;;) {
    DWORD n = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) throw Exception("Cannot find the program's own path");
    // A full buffer may hold a cut path: try again with more room.
    if (n < path.size() - 1) {
      path.resize(n);
      return path;
    }
    if (path.size() > 32768 * 2) throw Exception("The program's path is too long");
    path.resize(path.size() * 2);
  }
}

bool IsAnsiLeadByte(unsigned char b) { return ::IsDBCSLeadByte(b) != FALSE; }

}  // namespace platform
