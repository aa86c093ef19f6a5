// Window shapes (window property 28): the region of each of the 30 shapes for a window size.
//   0 none (the plain rectangle)   1 ellipse   2 rounded rectangle   3 rounded rectangle with
//   large corners   4..11 regular polygons with 3..10 corners   12..19 stars with 4..11 points
//   20..23 arrows to the right, left, up and down   24 cross   25 diamond   26 parallelogram
//   27 trapezoid   28 chevron   29 circle (the largest that fits, centred)
#pragma once
#include <windows.h>

namespace units {

inline constexpr int kShapeCount = 30;

// A new region for `shape` at width x height, or null for shape 0 (no region).
HRGN shape_region(int shape, int width, int height);

}  // namespace units
