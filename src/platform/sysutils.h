// The number-format settings that the program's texts use.
#pragma once

#include <string>

namespace platform {

struct TFormatSettings {
  // Zero or one byte: a locale whose separator is empty groups the digits
  // with nothing between them, never with a zero byte.
  std::string ThousandSeparator = ",";
};

extern TFormatSettings FormatSettings;

// Reads the settings of the thread's current locale.
void GetFormatSettings();

// The full path of the running executable, however long; raises
// Exception when the system cannot say.
std::string ExecutablePath();

// Whether byte b starts a double-byte character in the ANSI code page.
bool IsAnsiLeadByte(unsigned char b);

}  // namespace platform
