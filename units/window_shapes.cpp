// Window shapes: regions built from ellipses, rounded rectangles and polygons scaled to the
// window's size.
#include "units/window_shapes.h"
#include <algorithm>
#include <cmath>
#include <vector>

namespace units {

namespace {

constexpr double kPi = 3.14159265358979323846;

// A polygon from points given in thousandths of the width and height.
HRGN scaled(std::initializer_list<POINT> pts, int w, int h) {
  std::vector<POINT> p;
  for (POINT q : pts) p.push_back({static_cast<LONG>(q.x * w / 1000), static_cast<LONG>(q.y * h / 1000)});
  return CreatePolygonRgn(p.data(), static_cast<int>(p.size()), WINDING);
}

// A regular polygon (inner = 0) or star (inner > 0: radius ratio of the inner corners).
HRGN radial(int corners, double inner, int w, int h) {
  std::vector<POINT> p;
  int n = inner > 0 ? corners * 2 : corners;
  for (int i = 0; i < n; ++i) {
    double r = (inner > 0 && i % 2) ? inner : 1.0;
    double a = -kPi / 2 + 2 * kPi * i / n;
    p.push_back({static_cast<LONG>(std::lround(w / 2.0 + r * w / 2.0 * std::cos(a))),
                 static_cast<LONG>(std::lround(h / 2.0 + r * h / 2.0 * std::sin(a)))});
  }
  return CreatePolygonRgn(p.data(), n, WINDING);
}

}  // namespace

HRGN shape_region(int shape, int w, int h) {
  if (w <= 0 || h <= 0) return nullptr;
  switch (shape) {
    case 0: return nullptr;
    case 1: return CreateEllipticRgn(0, 0, w + 1, h + 1);
    case 2: return CreateRoundRectRgn(0, 0, w + 1, h + 1, std::min(w, h) / 6, std::min(w, h) / 6);
    case 3: return CreateRoundRectRgn(0, 0, w + 1, h + 1, std::min(w, h) / 2, std::min(w, h) / 2);
    case 20: return scaled({{0, 300}, {600, 300}, {600, 0}, {1000, 500}, {600, 1000}, {600, 700}, {0, 700}}, w, h);
    case 21: return scaled({{1000, 300}, {400, 300}, {400, 0}, {0, 500}, {400, 1000}, {400, 700}, {1000, 700}}, w, h);
    case 22: return scaled({{300, 1000}, {300, 400}, {0, 400}, {500, 0}, {1000, 400}, {700, 400}, {700, 1000}}, w, h);
    case 23: return scaled({{300, 0}, {300, 600}, {0, 600}, {500, 1000}, {1000, 600}, {700, 600}, {700, 0}}, w, h);
    case 24: return scaled({{333, 0}, {667, 0}, {667, 333}, {1000, 333}, {1000, 667}, {667, 667},
                            {667, 1000}, {333, 1000}, {333, 667}, {0, 667}, {0, 333}, {333, 333}}, w, h);
    case 25: return scaled({{500, 0}, {1000, 500}, {500, 1000}, {0, 500}}, w, h);
    case 26: return scaled({{250, 0}, {1000, 0}, {750, 1000}, {0, 1000}}, w, h);
    case 27: return scaled({{250, 0}, {750, 0}, {1000, 1000}, {0, 1000}}, w, h);
    case 28: return scaled({{0, 0}, {700, 0}, {1000, 500}, {700, 1000}, {0, 1000}, {300, 500}}, w, h);
    case 29: {
      int d = std::min(w, h);
      return CreateEllipticRgn((w - d) / 2, (h - d) / 2, (w - d) / 2 + d + 1, (h - d) / 2 + d + 1);
    }
    default:
      if (shape >= 4 && shape <= 11) return radial(shape - 1, 0, w, h);
      if (shape >= 12 && shape <= 19) return radial(shape - 8, 0.45, w, h);
      return nullptr;
  }
}

}  // namespace units
