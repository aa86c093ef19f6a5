// Line breaking by measured extents: each line costs one or two GetTextExtentExPoint calls
// over a window of characters a little longer than a line.
#include "layout.h"

namespace htmlview {

namespace {

bool cjk(wchar_t c) { return c >= 0x2E80; }

// Whether a line may break between text[i - 1] and text[i].
bool break_at(const std::wstring& text, size_t i) {
  return text[i - 1] == L' ' || text[i] == L' ' || cjk(text[i - 1]) || cjk(text[i]);
}

}  // namespace

std::vector<Line> wrap(HDC dc, const std::wstring& text, int width) {
  std::vector<Line> lines;
  if (width < 32) width = 32;  // a window not sized yet still gets lines of a few characters
  size_t p = 0;
  const size_t n = text.size();
  for (;;) {
    size_t end = text.find(L'\n', p);
    if (end == std::wstring::npos) end = n;
    do {  // one paragraph [p, end); an empty one is one empty line
      size_t window = 256;
      int fit = 0;
      SIZE extent;
      for (;;) {
        size_t count = end - p < window ? end - p : window;
        GetTextExtentExPointW(dc, text.data() + p, static_cast<int>(count), width, &fit, nullptr, &extent);
        if (static_cast<size_t>(fit) < count || count == end - p) break;
        window *= 2;
      }
      size_t stop = p + fit;
      if (stop < end) {
        size_t b = stop;
        while (b > p && !break_at(text, b)) --b;
        stop = b > p ? b : (fit > 0 ? stop : p + 1);
      }
      size_t last = stop;
      while (last > p && text[last - 1] == L' ') --last;
      lines.push_back({static_cast<uint32_t>(p), static_cast<uint32_t>(last - p)});
      p = stop;
      while (p < end && text[p] == L' ') ++p;
    } while (p < end);
    if (end == n) break;
    p = end + 1;
  }
  return lines;
}

std::vector<Line> wrap(const LOGFONTW& font, const std::wstring& text, int width) {
  HDC dc = CreateCompatibleDC(nullptr);
  HFONT f = CreateFontIndirectW(&font);
  HGDIOBJ old = SelectObject(dc, f);
  std::vector<Line> lines = wrap(dc, text, width);
  SelectObject(dc, old);
  DeleteObject(f);
  DeleteDC(dc);
  return lines;
}

}  // namespace htmlview
