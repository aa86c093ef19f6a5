// The HTML view: a child window that shows a web page. Where the platform has an HTML engine
// it hosts the platform's web browser control; elsewhere it shows its own reading view of the
// page, fetched and prepared on a worker thread, so the window never blocks and never prompts.
#pragma once
#include <windows.h>
#include <memory>
#include <string>
#include <vector>
#include "fetch.h"
#include "layout.h"

namespace htmlview {

class BrowserHost;
struct FetchJob;   // a fetch running on its own thread (view.cpp)
struct Prepared;   // a page made ready to show off the window's thread (view.cpp)

class View {
 public:
  // Creates the view window; null on failure. The View lives as long as its window: it is
  // deleted when the window is destroyed.
  static View* create(HWND parent, DWORD style, int id, int x, int y, int w, int h,
                      const std::wstring& start_address);
  static View* from(HWND w);   // the View of a view window, or null
  static bool engine_present();  // whether the platform has an HTML engine

  HWND hwnd() const { return hwnd_; }
  void set_address(const std::wstring& a) { address_ = a; }  // stored only
  const std::wstring& address() const { return address_; }
  // Exactly one request for the page. A fetch still running is cancelled first; at most one
  // runs per view, so the new one starts once the old one has let go of its connection.
  void browse(const std::wstring& address);
  std::wstring title() const;
  std::wstring status() const { return status_; }
  std::wstring text() const { return *text_; }  // the page text or error shown
  bool busy() const { return busy_; }
  void set_timeout(DWORD ms) { timeout_ms_ = ms; }  // of each fetch as a whole
  static LRESULT CALLBACK proc(HWND w, UINT msg, WPARAM wp, LPARAM lp);

 private:
  View() = default;
  ~View();
  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp);
  void paint();
  void start_fetch();
  void fetch_done(unsigned id, Prepared* page);
  void fetch_ended(unsigned id);
  void show(Prepared&& page);
  void show_error(const std::wstring& text);
  void relayout();
  void laid_out(unsigned generation, std::vector<Line>* lines, int width);
  int text_width() const;
  void update_scroll();
  void choose_view();

  HWND hwnd_ = nullptr;
  std::unique_ptr<BrowserHost> browser_;  // null in the reading view
  std::wstring address_;
  bool busy_ = false;
  bool chosen_ = false;   // control or reading view decided
  bool waiting_ = false;  // a browse waits for that decision
  FetchJob* job_ = nullptr;  // the fetch in flight (one reference)
  bool pending_ = false;     // a browse waits for the cancelled job_ to end
  DWORD timeout_ms_ = 20000;  // ORVEL_HTMLVIEW_TIMEOUT_MS in the environment overrides it
  // What the reading view shows: swapped in whole when a page is ready.
  std::wstring title_, status_;
  std::shared_ptr<const std::wstring> text_ = std::make_shared<const std::wstring>();
  bool error_ = false;
  std::vector<Line> lines_;
  int laid_width_ = 0;          // the width lines_ were made for
  unsigned layout_generation_ = 0;  // bumped by each new text or layout; stale layouts are dropped
  bool relayout_running_ = false;
  int title_height_ = 0, line_height_ = 16;
  int scroll_ = 0;
  LOGFONTW text_lf_{};
  HFONT title_font_ = nullptr, text_font_ = nullptr;
};

}  // namespace htmlview
