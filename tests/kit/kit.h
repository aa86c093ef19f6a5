// Test-support kit: start programs under test, watch their dialogs, drive their windows from
// this process, and take screenshots. Every wait is bounded; only started processes are killed.
#pragma once
#include <windows.h>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kit {

// Directory of the running test program, with a trailing "\".
std::string bin_dir();

// A program under test. The destructor kills it if it is still running.
class Process {
 public:
  Process() = default;
  Process(const std::string& exe, const std::string& args = "", const std::string& cwd = "");
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  bool started() const { return info_.hProcess != nullptr; }
  DWORD pid() const { return info_.dwProcessId; }
  HANDLE handle() const { return info_.hProcess; }
  // Exit code, or -2 (as DWORD) when still running after `ms`.
  bool wait(DWORD ms, DWORD* exit_code = nullptr);
  bool running() const;
  void kill();

 private:
  PROCESS_INFORMATION info_{};
};

inline constexpr DWORD kStillRunning = 0xFFFFFFFE;
// Runs a program to its end (killed after `ms`); returns its exit code or kStillRunning.
DWORD run(const std::string& exe, const std::string& args = "", DWORD ms = 20000);

// Records the dialogs (class "#32770") that a process shows and presses a button in each.
class DialogWatcher;
class DialogWatcher {
 public:
  struct Seen {
    std::string caption;  // GBK bytes as the dialog holds them
    std::string text;     // the message text (static control of a message box), GBK bytes
  };
  // `button`: control id pressed in every dialog seen (IDOK by default).
  explicit DialogWatcher(DWORD pid, int button = IDOK);
  ~DialogWatcher();
  std::vector<Seen> seen();
  // Waits until at least `count` dialogs were seen; false on time-out.
  bool wait_for(size_t count, DWORD ms = 10000);

 private:
  void poll();
  DWORD pid_;
  int button_;
  std::mutex mutex_;
  std::vector<Seen> seen_;
  std::vector<HWND> handled_;
  volatile bool stop_ = false;
  std::thread thread_;
};

// How a program under test ended: the dialogs it showed (each answered with OK) and its
// exit code, or kStillRunning when it did not end within the bound.
struct Ending {
  std::vector<DialogWatcher::Seen> dialogs;
  DWORD exit_code = kStillRunning;
};
// Runs a program until it ends, answering its dialogs; waits for at least `dialogs` of them.
Ending run_to_end(const std::string& exe, const std::string& args = "", size_t dialogs = 0,
                  DWORD ms = 20000);

// Window finding and control driving from a second process.
namespace drive {
// Top-level window of a process (any process when pid is 0) by title and/or class
// (empty = any), waiting up to `ms`.
HWND find_window(DWORD pid, const std::string& title, const std::string& cls = "", DWORD ms = 10000);
// Child window by control id, or by class and text (empty = any).
HWND find_child(HWND parent, int control_id);
HWND find_child(HWND parent, const std::string& cls, const std::string& text);
std::string text(HWND w);                // WM_GETTEXT, GBK bytes
void set_text(HWND w, const std::string& text);
void click(HWND button);                 // BM_CLICK
bool enabled(HWND w);
bool visible(HWND w);
int check_state(HWND w);                 // BM_GETCHECK
LRESULT send(HWND w, UINT msg, WPARAM wp = 0, LPARAM lp = 0);
bool post(HWND w, UINT msg, WPARAM wp = 0, LPARAM lp = 0);
// Real keyboard input to the foreground window (sets the keyboard state, unlike posting).
void press_keys(const std::vector<WORD>& chord);  // e.g. {VK_MENU, 'A'}
// Polls `cond` every 10 ms until true or `ms` passed.
bool wait_until(const std::function<bool()>& cond, DWORD ms = 5000);
}  // namespace drive

// A screen capture: 32-bit BGRA pixels, top row first.
struct Shot {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB
  uint32_t at(int x, int y) const { return pixels[size_t(y) * width + x]; }
  bool save_png(const std::string& path) const;
};
Shot screenshot();  // the whole display (the virtual desktop under Wine)

}  // namespace kit
