// The HTML view window: the reading view (title, readable text, status line) and the switch
// to the platform's browser control where an HTML engine exists.
#include "view.h"
#include <objbase.h>
#include "browser_host.h"
#include "page_text.h"

namespace htmlview {

namespace {

constexpr wchar_t kClass[] = L"OrvelHtmlView";
constexpr UINT kPageArrived = WM_APP + 0x48;  // wParam: browse number, lParam: Fetched*
constexpr UINT kChooseView = WM_APP + 0x49;   // decide between the control and the reading view
constexpr int kMargin = 8;
constexpr int kStatusHeight = 22;
// The platform's HTML document object: creating it tells whether an HTML engine exists.
constexpr CLSID kHtmlDocument = {0x25336920, 0x03F9, 0x11CF, {0x8F, 0xD0, 0x00, 0xAA, 0x00, 0x68, 0x6F, 0x13}};

struct Job {
  HWND view;
  unsigned seq;
  std::wstring url;
  DWORD timeout_ms;
};

// The worker holds a reference on this module so it can never be unloaded under it.
DWORD WINAPI fetch_worker(void* p) {
  Job* job = static_cast<Job*>(p);
  auto* page = new Fetched(fetch(job->url, job->timeout_ms));
  if (!PostMessageW(job->view, kPageArrived, job->seq, reinterpret_cast<LPARAM>(page))) delete page;
  delete job;
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&fetch_worker), &self);
  FreeLibraryAndExitThread(self, 0);
}

bool start_worker(Job* job) { return start_module_thread(fetch_worker, job); }

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
  HWND hwnd = CreateWindowExW(0, kClass, L"", style | WS_CHILD | WS_CLIPCHILDREN | WS_VSCROLL, x, y,
                              w, h, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                              this_module(), nullptr);
  if (!hwnd) {
    delete v;
    return nullptr;
  }
  v->hwnd_ = hwnd;
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(v));
  NONCLIENTMETRICSW m{};
  m.cbSize = sizeof m;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0);
  v->text_font_ = CreateFontIndirectW(&m.lfMessageFont);
  LOGFONTW bold = m.lfMessageFont;
  bold.lfWeight = FW_BOLD;
  bold.lfHeight = bold.lfHeight * 4 / 3;
  v->title_font_ = CreateFontIndirectW(&bold);
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
  ++seq_;
  busy_ = true;
  error_.clear();
  scroll_ = 0;
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
  if (!start_worker(new Job{hwnd_, seq_, address, timeout_ms_})) {
    busy_ = false;
    error_ = L"无法开始载入";
  }
  InvalidateRect(hwnd_, nullptr, TRUE);
}

std::wstring View::title() const { return browser_ ? browser_->title() : title_; }

void View::page_arrived(unsigned seq, Fetched* page) {
  std::unique_ptr<Fetched> owned(page);
  if (seq != seq_) return;  // a later browse is under way
  busy_ = false;
  if (!page->ok) {
    title_.clear();
    text_.clear();
    error_ = L"无法打开此页：" + error_text(page->error);
    status_ = L"错误  用时 " + std::to_wstring(page->elapsed_ms) + L" 毫秒";
  } else {
    bool html = page->content_type.rfind("text/plain", 0) != 0;
    PageText t = page_text(decode_page(page->body, page->content_type), html);
    title_ = t.title;
    text_ = t.text;
    status_ = L"HTTP " + std::to_wstring(page->status) + L"  用时 " +
              std::to_wstring(page->elapsed_ms) + L" 毫秒  " + std::to_wstring(page->body.size()) +
              L" 字节";
  }
  update_scroll();
  InvalidateRect(hwnd_, nullptr, TRUE);
}

int View::content_height(HDC dc, int width) {
  RECT r{0, 0, width, 0};
  int h = 0;
  HGDIOBJ old = SelectObject(dc, title_font_);
  if (!title_.empty()) h += DrawTextW(dc, title_.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX) + kMargin;
  SelectObject(dc, text_font_);
  r = {0, 0, width, 0};
  const std::wstring& body = error_.empty() ? text_ : error_;
  if (!body.empty()) h += DrawTextW(dc, body.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(dc, old);
  return h + 2 * kMargin;
}

void View::update_scroll() {
  RECT rc;
  GetClientRect(hwnd_, &rc);
  HDC dc = GetDC(hwnd_);
  int total = content_height(dc, rc.right - 2 * kMargin);
  ReleaseDC(hwnd_, dc);
  int page = rc.bottom - kStatusHeight;
  SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS, 0, total > 0 ? total - 1 : 0,
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
  RECT body{rc.left + kMargin, rc.top + kMargin - scroll_, rc.right - kMargin, rc.bottom - kStatusHeight};
  HRGN clip = CreateRectRgn(rc.left, rc.top, rc.right, rc.bottom - kStatusHeight);
  SelectClipRgn(dc, clip);
  HGDIOBJ old = SelectObject(dc, title_font_);
  if (!title_.empty()) {
    SetTextColor(dc, RGB(0x10, 0x30, 0x70));
    RECT t = body;
    body.top += DrawTextW(dc, title_.c_str(), -1, &t, DT_WORDBREAK | DT_NOPREFIX) + kMargin;
  }
  SelectObject(dc, text_font_);
  SetTextColor(dc, error_.empty() ? RGB(0x20, 0x20, 0x20) : RGB(0xC0, 0, 0));
  const std::wstring& text = error_.empty() ? text_ : error_;
  DrawTextW(dc, text.c_str(), -1, &body, DT_WORDBREAK | DT_NOPREFIX);
  SelectClipRgn(dc, nullptr);
  DeleteObject(clip);
  RECT bar{rc.left, rc.bottom - kStatusHeight, rc.right, rc.bottom};
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
  return v->handle(msg, wp, lp);
}

LRESULT View::handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case kPageArrived:
      page_arrived(static_cast<unsigned>(wp), reinterpret_cast<Fetched*>(lp));
      return 0;
    case kChooseView:
      choose_view();
      return 0;
    case WM_PAINT:
      if (browser_) break;
      paint();
      return 0;
    case WM_SIZE:
      if (browser_) browser_->resize(LOWORD(lp), HIWORD(lp));
      else update_scroll();
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
