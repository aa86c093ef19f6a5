#include "framework/dialog_template.h"
#include <cstring>
#include <string>

namespace framework {

namespace {

// The face of the system's message font (what message boxes use), so that Chinese texts
// show in a face that has them.
std::string message_font_face() {
  NONCLIENTMETRICSA m{};
  m.cbSize = sizeof m;
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0) && m.lfMessageFont.lfFaceName[0])
    return m.lfMessageFont.lfFaceName;
  return "MS Shell Dlg";
}

}  // namespace

DialogTemplate::DialogTemplate(std::string_view title, short x, short y, short cx, short cy,
                               DWORD style, WORD point_size) {
  style |= DS_SETFONT;
  words_.push_back(LOWORD(style));
  words_.push_back(HIWORD(style));
  words_.push_back(0);  // extended style
  words_.push_back(0);
  count_at_ = words_.size();
  words_.push_back(0);  // item count
  for (short v : {x, y, cx, cy}) words_.push_back(static_cast<WORD>(v));
  words_.push_back(0);  // no menu
  words_.push_back(0);  // the standard dialog class
  text(title);
  words_.push_back(point_size);
  text(message_font_face());
}

void DialogTemplate::align() {
  if (words_.size() % 2) words_.push_back(0);  // items start on a DWORD boundary
}

void DialogTemplate::text(std::string_view gbk) {
  int n = gbk.empty() ? 0 : MultiByteToWideChar(CP_ACP, 0, gbk.data(), int(gbk.size()), nullptr, 0);
  size_t at = words_.size();
  words_.resize(at + size_t(n) + 1, 0);
  if (n > 0)
    MultiByteToWideChar(CP_ACP, 0, gbk.data(), int(gbk.size()),
                        reinterpret_cast<wchar_t*>(words_.data() + at), n);
}

void DialogTemplate::item(short x, short y, short cx, short cy, int id, DWORD style, DWORD ex_style) {
  align();
  style |= WS_CHILD | WS_VISIBLE;
  for (DWORD v : {style, ex_style}) {
    words_.push_back(LOWORD(v));
    words_.push_back(HIWORD(v));
  }
  for (short v : {x, y, cx, cy}) words_.push_back(static_cast<WORD>(v));
  words_.push_back(static_cast<WORD>(id));
  ++words_[count_at_];
}

void DialogTemplate::add(Class cls, std::string_view caption, int id, short x, short y, short cx,
                         short cy, DWORD style, DWORD ex_style) {
  item(x, y, cx, cy, id, style, ex_style);
  words_.push_back(0xFFFF);
  words_.push_back(cls);
  text(caption);
  words_.push_back(0);  // no creation data
}

void DialogTemplate::add(std::string_view cls, std::string_view caption, int id, short x, short y,
                         short cx, short cy, DWORD style, DWORD ex_style) {
  item(x, y, cx, cy, id, style, ex_style);
  text(cls);
  text(caption);
  words_.push_back(0);
}

INT_PTR DialogTemplate::run(HWND owner, DLGPROC procedure, LPARAM parameter) const {
  return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), get(), owner, procedure, parameter);
}

HWND DialogTemplate::create(HWND owner, DLGPROC procedure, LPARAM parameter) const {
  return CreateDialogIndirectParamW(GetModuleHandleW(nullptr), get(), owner, procedure, parameter);
}

}  // namespace framework
