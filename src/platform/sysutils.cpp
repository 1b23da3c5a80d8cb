#include "sysutils.h"

#include <windows.h>

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

bool IsAnsiLeadByte(unsigned char b) { return ::IsDBCSLeadByte(b) != FALSE; }

}  // namespace platform
