#include "geometry.h"

#include <gtest/gtest.h>

#include <climits>

namespace heft {
namespace {

TEST(CentreOnScreen, Table) {
  struct Case {
    int screenW, screenH, w, h;
    Point expected;
  };
  const Case cases[] = {
      {1024, 768, 370, 236, {327, 266}},
      {800, 600, 301, 201, {249, 199}},      // odd differences truncate
      {800, 600, 800, 600, {0, 0}},
      {300, 200, 370, 236, {0, 0}},          // screen smaller than the window
      {300, 768, 370, 236, {0, 266}},        // only one axis clamped
      {369, 235, 370, 236, {0, 0}},          // -1 / 2 truncates to 0
      {INT_MAX, INT_MAX, INT_MIN + 1, 0, {INT_MAX, INT_MAX / 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.screenW << "x" << c.screenH << " / " << c.w << "x" << c.h);
    const Point p = CentreOnScreen(c.screenW, c.screenH, c.w, c.h);
    EXPECT_EQ(p.x, c.expected.x);
    EXPECT_EQ(p.y, c.expected.y);
  }
}

TEST(ScaleByDpi, RoundsLikeMulDiv) {
  struct Case {
    int value, screenDpi, designDpi, expected;
  };
  const Case cases[] = {
      {363, 96, 96, 363},
      {363, 120, 96, 454},    // 453.75
      {363, 144, 96, 545},    // 544.5, half away from zero
      {13, 120, 96, 16},      // 16.25
      {5, 72, 96, 4},         // 3.75
      {-11, 120, 96, -14},    // -13.75
      {-11, 144, 96, -17},    // -16.5, half away from zero
      {1, 1, 3, 0},           // odd divisor
      {2, 1, 3, 1},
      {7, 120, -96, -9},      // negative divisor flips the sign
      {7, 96, 0, -1},         // no divisor
      {INT_MAX, 192, 96, -1}, // result outside int
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScaleByDpi(c.value, c.screenDpi, c.designDpi), c.expected)
        << c.value << " * " << c.screenDpi << " / " << c.designDpi;
  }
  EXPECT_EQ(ScaleByDpi(75, 120), 94);  // default design resolution
}

}  // namespace
}  // namespace heft
