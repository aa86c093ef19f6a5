// The HTML view window: the reading view (title, readable text, status line) and the switch
// to the platform's browser control where an HTML engine exists. Pages are fetched, decoded,
// reduced to text and laid out on a worker thread; the window thread only swaps the result in
// and paints the lines in sight.
#include "view.h"
#include <objbase.h>
#include <cwchar>
#include "browser_host.h"
#include "page_text.h"

namespace htmlview {

namespace {

constexpr wchar_t kClass[] = L"OrvelHtmlView";
constexpr UINT kFetchDone = WM_APP + 0x48;  // wParam: job id, lParam: Prepared* or null
constexpr UINT kChooseView = WM_APP + 0x49;  // decide between the control and the reading view
constexpr UINT kLaidOut = WM_APP + 0x4A;    // wParam: layout generation, lParam: LaidOut*
constexpr UINT kFetchEnded = WM_APP + 0x4B; // wParam: job id; its thread has let go of the connection
constexpr UINT_PTR kDeadlineTimer = 1;      // a fetch past its time-out is stopped from here
constexpr DWORD kDeadlineGrace = 250;       // the fetch's own time-outs normally end it first
constexpr int kMargin = 8;
constexpr int kStatusHeight = 22;
constexpr size_t kMaxTitle = 256;
constexpr size_t kSmallText = 16384;  // laid out on the window thread below this many characters
// The platform's HTML document object: creating it tells whether an HTML engine exists.
constexpr CLSID kHtmlDocument = {0x25336920, 0x03F9, 0x11CF, {0x8F, 0xD0, 0x00, 0xAA, 0x00, 0x68, 0x6F, 0x13}};

unsigned next_job_id() {
  static volatile LONG last = 0;
  return static_cast<unsigned>(InterlockedIncrement(&last));
}

// A body cut at the cap may end inside a UTF-8 sequence, which would stop the bytes reading as
// UTF-8; the partial character is dropped (a GBK body loses at most its last character).
void drop_partial_character(std::string& s) {
  for (size_t back = 1; back <= 4 && back <= s.size(); ++back) {
    unsigned char c = static_cast<unsigned char>(s[s.size() - back]);
    if (c < 0x80) return;
    if (c >= 0xC0) {
      size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
      if (need > back) s.resize(s.size() - back);
      return;
    }
  }
}

}  // namespace

struct Prepared {
  std::wstring title, status;
  std::shared_ptr<const std::wstring> text;
  bool error = false;
  std::vector<Line> lines;
  int width = -1;  // of the lines; -1: not laid out
};

// Shared by the view and the worker thread; the last of the two to let go frees it.
struct FetchJob {
  Cancel cancel;
  HWND view = nullptr;
  unsigned id = 0;
  std::wstring url;
  DWORD timeout_ms = 0;
  LOGFONTW font{};
  int width = 0;
  volatile LONG refs = 2;
  void release() {
    if (InterlockedDecrement(&refs) == 0) delete this;
  }
};

namespace {

Prepared error_page(const std::wstring& text, const std::wstring& status) {
  Prepared p;
  p.error = true;
  p.text = std::make_shared<const std::wstring>(text);
  p.status = status;
  return p;
}

Prepared prepare(Fetched& f, const LOGFONTW& font, int width) {
  const std::wstring took = L"用时 " + std::to_wstring(f.elapsed_ms) + L" 毫秒";
  if (!f.ok) return error_page(L"无法打开此页：" + error_text(f.error), L"错误  " + took);
  Prepared p;
  if (f.truncated) drop_partial_character(f.body);
  bool html = f.content_type.rfind("text/plain", 0) != 0;
  PageText t = page_text(decode_page(f.body, f.content_type), html);
  p.title = t.title.substr(0, kMaxTitle);
  p.text = std::make_shared<const std::wstring>(std::move(t.text));
  p.status = L"HTTP " + std::to_wstring(f.status) + L"  " + took + L"  " + std::to_wstring(f.body.size()) +
             L" 字节" + (f.truncated ? L"（页面过大，只读取了这些）" : L"");
  p.lines = wrap(font, *p.text, width);
  p.width = width;
  return p;
}

// The fetch, and the making of what the view shows, on a thread of its own. A cancelled job
// posts no page. The connection is closed here, after the page is handed on (closing can take
// a while where the platform reads the rest of a body first), and never on the window thread.
DWORD WINAPI fetch_worker(void* arg) {
  auto* job = static_cast<FetchJob*>(arg);
  Cancel::Taken handles;
  Prepared* page = nullptr;
  try {
    Fetched f = fetch(job->url, job->timeout_ms, kMaxBody, &job->cancel);
    handles = job->cancel.take();
    if (!job->cancel.cancelled()) page = new Prepared(prepare(f, job->font, job->width));
  } catch (...) {  // out of memory: the view shows an error
    handles = job->cancel.take();
    delete page;
    page = nullptr;
  }
  if (job->cancel.cancelled()) {
    delete page;
  } else if (!PostMessageW(job->view, kFetchDone, job->id, reinterpret_cast<LPARAM>(page))) {
    delete page;
  }
  handles.close();
  PostMessageW(job->view, kFetchEnded, job->id, 0);
  job->release();
  end_module_thread();
  return 0;
}

// Lines for a new width, for a text too large to lay out on the window thread.
struct LaidOut {
  HWND view;
  unsigned generation;
  std::shared_ptr<const std::wstring> text;
  LOGFONTW font;
  int width;
  std::vector<Line> lines;
};

DWORD WINAPI layout_worker(void* arg) {
  auto* job = static_cast<LaidOut*>(arg);
  try {
    job->lines = wrap(job->font, *job->text, job->width);
  } catch (...) {
    job->lines.clear();
  }
  job->text.reset();
  if (!PostMessageW(job->view, kLaidOut, job->generation, reinterpret_cast<LPARAM>(job))) delete job;
  end_module_thread();
  return 0;
}

HINSTANCE this_module() {
  HMODULE m = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&this_module), &m);
  return m;
}

bool register_class() {
  static bool done = false;
  if (done) return true;
  WNDCLASSW wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = View::proc;
  wc.hInstance = this_module();
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = kClass;
  done = RegisterClassW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  return done;
}

}  // namespace

bool View::engine_present() {
  static int present = -1;
  if (present < 0) {
    IUnknown* doc = nullptr;
    HRESULT hr = CoCreateInstance(kHtmlDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                  reinterpret_cast<void**>(&doc));
    if (SUCCEEDED(hr)) doc->Release();
    present = SUCCEEDED(hr) ? 1 : 0;
  }
  return present == 1;
}

View* View::create(HWND parent, DWORD style, int id, int x, int y, int w, int h,
                   const std::wstring& start_address) {
  if (!register_class()) return nullptr;
  View* v = new View;
  v->address_ = start_address;
  NONCLIENTMETRICSW m{};
  m.cbSize = sizeof m;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0);
  v->text_lf_ = m.lfMessageFont;
  v->text_font_ = CreateFontIndirectW(&m.lfMessageFont);
  LOGFONTW bold = m.lfMessageFont;
  bold.lfWeight = FW_BOLD;
  bold.lfHeight = bold.lfHeight * 4 / 3;
  v->title_font_ = CreateFontIndirectW(&bold);
  HWND hwnd = CreateWindowExW(0, kClass, L"", style | WS_CHILD | WS_CLIPCHILDREN | WS_VSCROLL, x, y,
                              w, h, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                              this_module(), nullptr);
  if (!hwnd) {
    delete v;
    return nullptr;
  }
  v->hwnd_ = hwnd;
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(v));
  wchar_t ms[16];  // tests shorten the time-out through the environment
  DWORD n = GetEnvironmentVariableW(L"ORVEL_HTMLVIEW_TIMEOUT_MS", ms, 16);
  if (n > 0 && n < 16) {
    unsigned long value = wcstoul(ms, nullptr, 10);
    if (value > 0 && value <= 600000) v->timeout_ms_ = value;
  }
  HDC dc = GetDC(hwnd);
  HGDIOBJ old = SelectObject(dc, v->text_font_);
  TEXTMETRICW tm;
  if (GetTextMetricsW(dc, &tm)) v->line_height_ = tm.tmHeight + tm.tmExternalLeading;
  SelectObject(dc, old);
  ReleaseDC(hwnd, dc);
  // Finding out whether an HTML engine exists can take a while (loading it); decided once the
  // window is up, so that it does not hold up the window's creation. Browses wait for it.
  PostMessageW(hwnd, kChooseView, 0, 0);
  if (!start_address.empty()) v->browse(start_address);
  return v;
}

View* View::from(HWND w) {
  wchar_t cls[32] = {};
  if (!w || !GetClassNameW(w, cls, 32) || lstrcmpW(cls, kClass) != 0) return nullptr;
  return reinterpret_cast<View*>(GetWindowLongPtrW(w, GWLP_USERDATA));
}

View::~View() {
  if (job_) {  // a fetch never outlives its view
    job_->cancel.cancel();
    job_->release();
  }
  if (title_font_) DeleteObject(title_font_);
  if (text_font_) DeleteObject(text_font_);
}

void View::choose_view() {
  if (chosen_) return;
  chosen_ = true;
  if (engine_present()) browser_ = BrowserHost::create(hwnd_);
  if (browser_) ShowScrollBar(hwnd_, SB_VERT, FALSE);
  if (waiting_) {
    waiting_ = false;
    browse(address_);
  }
}

void View::browse(const std::wstring& address) {
  address_ = address;
  busy_ = true;
  if (!chosen_) {  // the view is not chosen yet: the page is loaded once it is
    waiting_ = true;
    status_ = L"正在载入 " + address + L" …";
    return;
  }
  if (browser_) {
    browser_->navigate(address);
    return;
  }
  status_ = L"正在载入 " + address + L" …";
  if (job_) {  // stop the running fetch; this browse starts when it has let go
    job_->cancel.cancel();
    pending_ = true;
  } else {
    start_fetch();
  }
  InvalidateRect(hwnd_, nullptr, FALSE);
}

void View::start_fetch() {
  pending_ = false;
  auto* job = new FetchJob;
  job->view = hwnd_;
  job->id = next_job_id();
  job->url = address_;
  job->timeout_ms = timeout_ms_;
  job->font = text_lf_;
  job->width = text_width();
  if (!start_module_thread(fetch_worker, job)) {
    delete job;
    busy_ = false;
    show_error(L"无法开始载入");
    return;
  }
  job_ = job;
  SetTimer(hwnd_, kDeadlineTimer, timeout_ms_ + kDeadlineGrace, nullptr);
}

void View::fetch_done(unsigned id, Prepared* page) {
  std::unique_ptr<Prepared> owned(page);
  if (!job_ || job_->id != id || pending_ || !busy_) return;  // replaced by a later browse
  KillTimer(hwnd_, kDeadlineTimer);
  busy_ = false;
  if (owned) show(std::move(*owned));
  else show_error(L"无法打开此页：内存不足");
}

void View::fetch_ended(unsigned id) {
  if (!job_ || job_->id != id) return;
  KillTimer(hwnd_, kDeadlineTimer);
  job_->release();
  job_ = nullptr;
  if (pending_) {  // a later browse waited for this one to let go
    start_fetch();
  } else if (busy_) {  // no page came
    busy_ = false;
    show_error(L"无法打开此页");
  }
}

std::wstring View::title() const { return browser_ ? browser_->title() : title_; }

int View::text_width() const {
  RECT rc;
  GetClientRect(hwnd_, &rc);
  return rc.right - 2 * kMargin;
}

// Swaps a prepared page in; only a title of bounded length is measured here.
void View::show(Prepared&& page) {
  title_ = std::move(page.title);
  status_ = std::move(page.status);
  text_ = std::move(page.text);
  error_ = page.error;
  lines_ = std::move(page.lines);
  laid_width_ = page.width;
  ++layout_generation_;
  scroll_ = 0;
  title_height_ = 0;
  if (!title_.empty()) {
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = SelectObject(dc, title_font_);
    RECT r{0, 0, text_width(), 0};
    title_height_ = DrawTextW(dc, title_.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
  }
  if (laid_width_ != text_width()) relayout();
  update_scroll();
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void View::show_error(const std::wstring& text) { show(error_page(text, L"错误")); }

// Lines for the current width: here for a small text, else on a thread (one at a time; the
// one finishing starts another if the width has changed meanwhile).
void View::relayout() {
  const int width = text_width();
  ++layout_generation_;
  if (text_->size() < kSmallText) {
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = SelectObject(dc, text_font_);
    lines_ = text_->empty() ? std::vector<Line>() : wrap(dc, *text_, width);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    laid_width_ = width;
    return;
  }
  if (relayout_running_) return;
  auto* job = new LaidOut{hwnd_, layout_generation_, text_, text_lf_, width, {}};
  if (start_module_thread(layout_worker, job)) relayout_running_ = true;
  else delete job;
}

void View::laid_out(unsigned generation, std::vector<Line>* lines, int width) {
  relayout_running_ = false;
  if (generation == layout_generation_) {
    lines_ = std::move(*lines);
    laid_width_ = width;
    update_scroll();
    InvalidateRect(hwnd_, nullptr, TRUE);
  }
  if (laid_width_ != text_width()) relayout();
}

void View::update_scroll() {
  RECT rc;
  GetClientRect(hwnd_, &rc);
  int total = 2 * kMargin + (title_.empty() ? 0 : title_height_ + kMargin) +
              static_cast<int>(lines_.size()) * line_height_;
  int page = rc.bottom - kStatusHeight;
  // The bar stays (disabled when not needed), so that the text's width does not change with it.
  SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL, 0, total > 0 ? total - 1 : 0,
                static_cast<UINT>(page > 0 ? page : 0), 0, 0};
  if (scroll_ > total - page) scroll_ = total - page > 0 ? total - page : 0;
  si.nPos = scroll_;
  SetScrollInfo(hwnd_, SB_VERT, &si, TRUE);
}

void View::paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd_, &ps);
  RECT rc;
  GetClientRect(hwnd_, &rc);
  SetBkMode(dc, TRANSPARENT);
  const int bottom = rc.bottom - kStatusHeight;
  HRGN clip = CreateRectRgn(rc.left, rc.top, rc.right, bottom);
  SelectClipRgn(dc, clip);
  int y = kMargin - scroll_;
  HGDIOBJ old = SelectObject(dc, title_font_);
  if (!title_.empty()) {
    SetTextColor(dc, RGB(0x10, 0x30, 0x70));
    RECT t{rc.left + kMargin, y, rc.right - kMargin, y + title_height_};
    DrawTextW(dc, title_.c_str(), -1, &t, DT_WORDBREAK | DT_NOPREFIX);
    y += title_height_ + kMargin;
  }
  SelectObject(dc, text_font_);
  SetTextColor(dc, error_ ? RGB(0xC0, 0, 0) : RGB(0x20, 0x20, 0x20));
  size_t first = y < 0 ? static_cast<size_t>(-y / line_height_) : 0;
  for (size_t i = first; i < lines_.size(); ++i) {  // only the lines in sight
    int top = y + static_cast<int>(i) * line_height_;
    if (top >= bottom) break;
    TextOutW(dc, rc.left + kMargin, top, text_->data() + lines_[i].start, static_cast<int>(lines_[i].length));
  }
  SelectClipRgn(dc, nullptr);
  DeleteObject(clip);
  RECT bar{rc.left, bottom, rc.right, rc.bottom};
  FillRect(dc, &bar, GetSysColorBrush(COLOR_BTNFACE));
  bar.left += kMargin;
  SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  DrawTextW(dc, status_.c_str(), -1, &bar, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
  SelectObject(dc, old);
  EndPaint(hwnd_, &ps);
}

LRESULT CALLBACK View::proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  View* v = reinterpret_cast<View*>(GetWindowLongPtrW(w, GWLP_USERDATA));
  if (!v) return DefWindowProcW(w, msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrW(w, GWLP_USERDATA, 0);
    delete v;
    return DefWindowProcW(w, msg, wp, lp);
  }
  try {
    return v->handle(msg, wp, lp);
  } catch (...) {  // out of memory: the message is left undone, the window goes on
    return DefWindowProcW(w, msg, wp, lp);
  }
}

LRESULT View::handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case kFetchDone:
      fetch_done(static_cast<unsigned>(wp), reinterpret_cast<Prepared*>(lp));
      return 0;
    case kFetchEnded:
      fetch_ended(static_cast<unsigned>(wp));
      return 0;
    case WM_TIMER:
      if (wp != kDeadlineTimer) break;
      KillTimer(hwnd_, kDeadlineTimer);
      if (job_) job_->cancel.expire();  // closes its handles: the blocked call fails
      return 0;
    case kLaidOut: {
      std::unique_ptr<LaidOut> r(reinterpret_cast<LaidOut*>(lp));
      laid_out(static_cast<unsigned>(wp), &r->lines, r->width);
      return 0;
    }
    case kChooseView:
      choose_view();
      return 0;
    case WM_PAINT:
      if (browser_) break;
      paint();
      return 0;
    case WM_SIZE:
      if (browser_) {
        browser_->resize(LOWORD(lp), HIWORD(lp));
      } else {
        if (laid_width_ != text_width()) relayout();
        update_scroll();
      }
      return 0;
    case WM_MOUSEWHEEL:
      SendMessageW(hwnd_, WM_VSCROLL, GET_WHEEL_DELTA_WPARAM(wp) > 0 ? SB_LINEUP : SB_LINEDOWN, 0);
      return 0;
    case WM_VSCROLL: {
      SCROLLINFO si{sizeof si, SIF_ALL};
      GetScrollInfo(hwnd_, SB_VERT, &si);
      int pos = si.nPos;
      switch (LOWORD(wp)) {
        case SB_LINEUP: pos -= 40; break;
        case SB_LINEDOWN: pos += 40; break;
        case SB_PAGEUP: pos -= static_cast<int>(si.nPage); break;
        case SB_PAGEDOWN: pos += static_cast<int>(si.nPage); break;
        case SB_THUMBTRACK: pos = si.nTrackPos; break;
      }
      int top = si.nMax - static_cast<int>(si.nPage) + 1;
      scroll_ = pos < 0 ? 0 : (pos > top ? (top > 0 ? top : 0) : pos);
      SetScrollPos(hwnd_, SB_VERT, scroll_, TRUE);
      InvalidateRect(hwnd_, nullptr, TRUE);
      return 0;
    }
    case WM_DESTROY:
      browser_.reset();
      break;
  }
  return DefWindowProcW(hwnd_, msg, wp, lp);
}

}  // namespace htmlview
