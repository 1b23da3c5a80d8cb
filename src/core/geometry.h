// Window placement arithmetic.
#pragma once

namespace heft {

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

// Top-left corner that centres a window of outer size w x h on a screen of
// size screenW x screenH: each half truncated toward zero, never negative.
Point CentreOnScreen(int screenW, int screenH, int w, int h);

// Scales a design-time length by the screen's resolution (MulDiv rounding).
int ScaleByDpi(int value, int screenDpi, int designDpi = 96);

}  // namespace heft
