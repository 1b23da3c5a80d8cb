// Helpers shared by the unit tests.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>

namespace heft::test {

// Lead bytes of a Shift-JIS-like double-byte code page.
inline bool SjisLead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Randomised tests run from a fixed seed; HEFT_TEST_SEED replays another.
inline std::uint64_t TestSeed() {
  if (const char* s = std::getenv("HEFT_TEST_SEED"); s != nullptr && *s != '\0')
    return std::strtoull(s, nullptr, 0);
  return 0x4865667444;
}

inline std::string SeedNote(std::uint64_t seed) {
  return "seed " + std::to_string(seed) + " (rerun with HEFT_TEST_SEED=" + std::to_string(seed) + ")";
}

}  // namespace heft::test
