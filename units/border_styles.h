// Border values of labels and edit boxes, applied to the extended and plain window styles:
// 0 none, 1 sunken client edge, 2 dialog-modal frame, 3 static edge, 4 client edge plus
// dialog-modal frame, 5 plain border (6, the label's own painted frame, adds no style).
#pragma once
#include <windows.h>

namespace units {

inline void border_styles(int border, DWORD& style, DWORD& ex_style) {
  style &= ~WS_BORDER;
  ex_style &= ~(WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME | WS_EX_STATICEDGE);
  switch (border) {
    case 1: ex_style |= WS_EX_CLIENTEDGE; break;
    case 2: ex_style |= WS_EX_DLGMODALFRAME; break;
    case 3: ex_style |= WS_EX_STATICEDGE; break;
    case 4: ex_style |= WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME; break;
    case 5: style |= WS_BORDER; break;
    default: break;
  }
}

inline void apply_border(HWND w, int border) {
  DWORD style = GetWindowLongA(w, GWL_STYLE), ex = GetWindowLongA(w, GWL_EXSTYLE);
  border_styles(border, style, ex);
  SetWindowLongA(w, GWL_STYLE, style);
  SetWindowLongA(w, GWL_EXSTYLE, ex);
  SetWindowPos(w, nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

}  // namespace units
