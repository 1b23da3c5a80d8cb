#include "launch.h"

#include <algorithm>

namespace heft {

std::vector<char> LaunchBuffer(std::string_view s) {
  s = s.substr(0, s.find('\0'));
  std::vector<char> buffer(std::max(kLaunchBufferSize, s.size() + 1), '\0');
  std::copy(s.begin(), s.end(), buffer.begin());
  return buffer;
}

std::string SiblingPath(std::string_view exePath, std::string_view fileName,
                        LeadBytePredicate isLead) {
  std::size_t folderEnd = 0;  // one past the last separator
  for (std::size_t i = 0; i < exePath.size();) {
    const unsigned char b = static_cast<unsigned char>(exePath[i]);
    if (isLead(b) && i + 1 < exePath.size()) {
      i += 2;  // the trail byte may be 0x5C and is still no backslash
      continue;
    }
    ++i;
    if (b == '\\' || b == ':') folderEnd = i;
  }
  std::string out(exePath.substr(0, folderEnd));
  out += fileName;
  return out;
}

}  // namespace heft
