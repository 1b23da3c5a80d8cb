#include "hotkeys.h"

#include <array>

namespace heft {

namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsCandidate(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

std::size_t Slot(char c) { return static_cast<unsigned char>(Upper(c)); }

}  // namespace

char AccessKeyOf(const std::string& caption) {
  for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] == '&') {
      ++i;  // a literal ampersand
      continue;
    }
    return Upper(caption[i + 1]);
  }
  return '\0';
}

bool AssignAccessKeys(std::vector<std::string>& captions) {
  std::array<bool, 256> taken{};
  std::vector<bool> keyed(captions.size(), false);
  for (std::size_t i = 0; i < captions.size(); ++i) {
    if (const char key = AccessKeyOf(captions[i]); key != '\0') {
      taken[Slot(key)] = true;
      keyed[i] = true;
    }
  }

  bool changed = false;
  for (std::size_t i = 0; i < captions.size(); ++i) {
    if (keyed[i]) continue;
    std::string& caption = captions[i];
    // Without a key, every '&' here is half of "&&" or the last character,
    // and '&' is no candidate, so a plain scan never lands inside a literal.
    for (std::size_t j = 0; j < caption.size(); ++j) {
      if (IsCandidate(caption[j]) && !taken[Slot(caption[j])]) {
        taken[Slot(caption[j])] = true;
        caption.insert(j, 1, '&');
        changed = true;
        break;
      }
    }
  }
  return changed;
}

}  // namespace heft
