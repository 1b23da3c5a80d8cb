#include "geometry.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace heft {

namespace {

// In 64 bits, so that extreme sizes cannot overflow the difference.
int CentredEdge(int screen, int window) {
  const std::int64_t edge = (std::int64_t{screen} - window) / 2;  // truncates toward zero
  return static_cast<int>(std::max<std::int64_t>(0, edge));
}

}  // namespace

Point CentreOnScreen(int screenW, int screenH, int w, int h) {
  return {CentredEdge(screenW, w), CentredEdge(screenH, h)};
}

// Same contract as MulDiv: rounds half away from zero, and gives -1 for a
// zero divisor or a result outside the int range.
int ScaleByDpi(int value, int screenDpi, int designDpi) {
  if (designDpi == 0) return -1;
  std::int64_t product = std::int64_t{value} * screenDpi;
  std::int64_t divisor = designDpi;
  const bool negative = (product < 0) != (divisor < 0);
  if (product < 0) product = -product;
  if (divisor < 0) divisor = -divisor;
  std::int64_t result = (product + divisor / 2) / divisor;
  if (negative) result = -result;
  if (result > std::numeric_limits<int>::max() || result < -std::numeric_limits<int>::max()) return -1;
  return static_cast<int>(result);
}

}  // namespace heft
