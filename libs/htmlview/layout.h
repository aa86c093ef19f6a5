// Line breaking for the reading view: a text is laid out once for a width, off the window's
// thread when it is large, so that painting draws only the lines in sight.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>

namespace htmlview {

struct Line {
  uint32_t start, length;  // in the laid-out text
};

// Lines of `text` no wider than `width` pixels in the font selected into `dc`: a "\n" ends a
// line; a longer paragraph breaks after the last space that fits, or between two characters
// of which one is CJK, else (one long word) after the last character that fits.
std::vector<Line> wrap(HDC dc, const std::wstring& text, int width);

// The same in a font of its own, on any thread.
std::vector<Line> wrap(const LOGFONTW& font, const std::wstring& text, int width);

}  // namespace htmlview
