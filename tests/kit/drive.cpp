// Driver: finds windows of a program under test and works its controls from this process.
#include "kit.h"

namespace kit::drive {

namespace {

struct Find {
  DWORD pid;
  const std::string& title;
  const std::string& cls;
  HWND hit = nullptr;
};

bool matches(HWND w, const std::string& title, const std::string& cls) {
  char buf[512];
  if (!cls.empty()) {
    GetClassNameA(w, buf, sizeof buf);
    if (cls != buf) return false;
  }
  return title.empty() || text(w) == title;
}

BOOL CALLBACK find_top(HWND w, LPARAM lp) {
  auto* f = reinterpret_cast<Find*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if ((f->pid == 0 || pid == f->pid) && matches(w, f->title, f->cls)) {
    f->hit = w;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK find_kid(HWND w, LPARAM lp) {
  auto* f = reinterpret_cast<Find*>(lp);
  if (matches(w, f->title, f->cls)) {
    f->hit = w;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

bool wait_until(const std::function<bool()>& cond, DWORD ms) {
  DWORD start = GetTickCount();
  for (;;) {
    if (cond()) return true;
    if (GetTickCount() - start >= ms) return false;
    Sleep(10);
  }
}

HWND find_window(DWORD pid, const std::string& title, const std::string& cls, DWORD ms) {
  HWND hit = nullptr;
  wait_until([&] {
    Find f{pid, title, cls};
    EnumWindows(find_top, reinterpret_cast<LPARAM>(&f));
    hit = f.hit;
    return hit != nullptr;
  }, ms);
  return hit;
}

HWND find_child(HWND parent, int control_id) { return GetDlgItem(parent, control_id); }

HWND find_child(HWND parent, const std::string& cls, const std::string& title) {
  Find f{0, title, cls};
  EnumChildWindows(parent, find_kid, reinterpret_cast<LPARAM>(&f));
  return f.hit;
}

std::string text(HWND w) {
  DWORD_PTR n = 0;
  if (!SendMessageTimeoutA(w, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &n)) return {};
  std::string s(n + 1, '\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutA(w, WM_GETTEXT, n + 1, reinterpret_cast<LPARAM>(s.data()), SMTO_ABORTIFHUNG,
                      5000, &got);
  s.resize(got);
  return s;
}

void set_text(HWND w, const std::string& t) {
  SendMessageA(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(t.c_str()));
}

void click(HWND button) { PostMessageA(button, BM_CLICK, 0, 0); }
bool enabled(HWND w) { return IsWindowEnabled(w) != FALSE; }
bool visible(HWND w) { return IsWindowVisible(w) != FALSE; }
int check_state(HWND w) { return static_cast<int>(SendMessageA(w, BM_GETCHECK, 0, 0)); }
LRESULT send(HWND w, UINT msg, WPARAM wp, LPARAM lp) { return SendMessageA(w, msg, wp, lp); }
bool post(HWND w, UINT msg, WPARAM wp, LPARAM lp) { return PostMessageA(w, msg, wp, lp) != FALSE; }

void press_keys(const std::vector<WORD>& chord) {
  std::vector<INPUT> in;
  for (WORD vk : chord) {
    INPUT i{};
    i.type = INPUT_KEYBOARD;
    i.ki.wVk = vk;
    in.push_back(i);
  }
  for (auto it = chord.rbegin(); it != chord.rend(); ++it) {
    INPUT i{};
    i.type = INPUT_KEYBOARD;
    i.ki.wVk = *it;
    i.ki.dwFlags = KEYEVENTF_KEYUP;
    in.push_back(i);
  }
  SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

}  // namespace kit::drive
