// A small Win32 program that the kit's own tests drive: a red window with an edit box and a
// button; the button shows a message box with the edit box's text and ends the program with
// 40 + the message box's answer.
#include <windows.h>
#include <string>

namespace {

constexpr int kButton = 100, kEdit = 101;
HBRUSH g_red;

LRESULT CALLBACK proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE:
      CreateWindowA("EDIT", "", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 10, 200, 24, w,
                    reinterpret_cast<HMENU>(kEdit), nullptr, nullptr);
      CreateWindowA("BUTTON", "显示", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 220, 10, 60, 24, w,
                    reinterpret_cast<HMENU>(kButton), nullptr, nullptr);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wp) == kButton) {
        char buf[256] = {};
        GetDlgItemTextA(w, kEdit, buf, sizeof buf);
        std::string text = std::string("内容：") + buf;
        int answer = MessageBoxA(w, text.c_str(), "提示", MB_OKCANCEL | MB_ICONINFORMATION);
        PostQuitMessage(40 + answer);
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(w, msg, wp, lp);
}

}  // namespace

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR, int) {
  g_red = CreateSolidBrush(RGB(255, 0, 0));
  WNDCLASSA wc{};
  wc.lpfnWndProc = proc;
  wc.hInstance = inst;
  wc.hbrBackground = g_red;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = "KitSample";
  RegisterClassA(&wc);
  HWND w = CreateWindowA("KitSample", "样例窗口", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 320,
                         240, nullptr, nullptr, inst, nullptr);
  UpdateWindow(w);
  MSG m;
  while (GetMessageA(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  DeleteObject(g_red);
  return static_cast<int>(m.wParam);
}
