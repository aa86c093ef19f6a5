// Dialog watcher: a thread that finds the dialogs of one process, records their caption and
// message text byte for byte, and presses a chosen button so that no dialog hangs a run.
#include "kit.h"

namespace kit {

namespace {

std::string window_text(HWND w) {
  int n = static_cast<int>(SendMessageA(w, WM_GETTEXTLENGTH, 0, 0));
  std::string s(n + 1, '\0');
  n = static_cast<int>(SendMessageA(w, WM_GETTEXT, n + 1, reinterpret_cast<LPARAM>(s.data())));
  s.resize(n > 0 ? n : 0);
  return s;
}

struct Search {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK collect_dialog(HWND w, LPARAM lp) {
  auto* s = reinterpret_cast<Search*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  char cls[16] = {};
  GetClassNameA(w, cls, sizeof cls);
  if (pid == s->pid && lstrcmpA(cls, "#32770") == 0 && IsWindowVisible(w)) s->found.push_back(w);
  return TRUE;
}

}  // namespace

DialogWatcher::DialogWatcher(DWORD pid, int button)
    : pid_(pid), button_(button), thread_([this] { poll(); }) {}

DialogWatcher::~DialogWatcher() {
  stop_ = true;
  thread_.join();
}

void DialogWatcher::poll() {
  while (!stop_) {
    Search s{pid_, {}};
    EnumWindows(collect_dialog, reinterpret_cast<LPARAM>(&s));
    for (HWND d : s.found) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        bool known = false;
        for (HWND h : handled_) known = known || h == d;
        if (known) continue;
        handled_.push_back(d);
      }
      Sleep(50);  // let the dialog finish its own initialisation
      Seen seen{window_text(d), ""};
      if (HWND msg = GetDlgItem(d, 0xFFFF)) seen.text = window_text(msg);  // message box text
      {
        std::lock_guard<std::mutex> lock(mutex_);
        seen_.push_back(seen);
      }
      if (HWND b = GetDlgItem(d, button_))
        PostMessageA(b, BM_CLICK, 0, 0);
      else
        PostMessageA(d, WM_COMMAND, MAKEWPARAM(button_, BN_CLICKED), 0);
    }
    Sleep(20);
  }
}

std::vector<DialogWatcher::Seen> DialogWatcher::seen() {
  std::lock_guard<std::mutex> lock(mutex_);
  return seen_;
}

bool DialogWatcher::wait_for(size_t count, DWORD ms) {
  return drive::wait_until([&] { return seen().size() >= count; }, ms);
}

Ending run_to_end(const std::string& exe, const std::string& args, size_t dialogs, DWORD ms) {
  Ending e;
  Process p(exe, args);
  if (!p.started()) return e;
  DialogWatcher watcher(p.pid());
  if (dialogs) watcher.wait_for(dialogs, ms);
  if (!p.wait(ms, &e.exit_code)) e.exit_code = kStillRunning;
  e.dialogs = watcher.seen();
  return e;
}

}  // namespace kit
