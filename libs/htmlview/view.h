// The HTML view: a child window that shows a web page. Where the platform has an HTML engine
// it hosts the platform's web browser control; elsewhere it shows its own reading view of the
// page, fetched on a worker thread, so the window never blocks and never prompts.
#pragma once
#include <windows.h>
#include <memory>
#include <string>
#include "fetch.h"

namespace htmlview {

class BrowserHost;

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
  void browse(const std::wstring& address);  // exactly one request for the page
  std::wstring title() const;
  std::wstring status() const { return status_; }
  bool busy() const { return busy_; }
  void set_timeout(DWORD ms) { timeout_ms_ = ms; }
  static LRESULT CALLBACK proc(HWND w, UINT msg, WPARAM wp, LPARAM lp);

 private:
  View() = default;
  ~View();
  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp);
  void paint();
  void page_arrived(unsigned seq, Fetched* page);
  void choose_view();
  int content_height(HDC dc, int width);
  void update_scroll();

  HWND hwnd_ = nullptr;
  std::unique_ptr<BrowserHost> browser_;  // null in the reading view
  std::wstring address_;
  std::wstring title_, text_, status_, error_;
  bool busy_ = false;
  bool chosen_ = false;   // control or reading view decided
  bool waiting_ = false;  // a browse waits for that decision
  unsigned seq_ = 0;  // the latest browse; older results are dropped
  DWORD timeout_ms_ = 20000;
  int scroll_ = 0;
  HFONT title_font_ = nullptr, text_font_ = nullptr;
};

}  // namespace htmlview
