// WinINet fetch: a fresh request every time (no cache read or write). Redirects are followed
// here rather than by WinINet, so that a loop ends after kMaxRedirects and a cancel is seen
// between hops. Every blocking call is bounded by what is left of the fetch's time-out: the
// time-outs are set on the connection and request handles, where WinINet applies them.
#include "fetch.h"

namespace htmlview {

Cancel::~Cancel() {
  cancel();
  DeleteCriticalSection(&lock_);
}

void Cancel::stop(State why) {
  EnterCriticalSection(&lock_);
  if (state_ == kRunning) state_ = why;
  LeaveCriticalSection(&lock_);
  take().close();
}

Cancel::Taken Cancel::take() {
  Taken t;
  EnterCriticalSection(&lock_);
  for (int i = 0; i < kSlots; ++i) {
    t.h[i] = handles_[i];
    handles_[i] = nullptr;
  }
  LeaveCriticalSection(&lock_);
  return t;
}

void Cancel::Taken::close() {
  for (int i = kSlots - 1; i >= 0; --i) {  // children first
    if (h[i]) InternetCloseHandle(h[i]);
    h[i] = nullptr;
  }
}

Cancel::State Cancel::state() {
  EnterCriticalSection(&lock_);
  State s = state_;
  LeaveCriticalSection(&lock_);
  return s;
}

bool Cancel::cancelled() { return state() == kCancelled; }
bool Cancel::expired() { return state() == kExpired; }

bool Cancel::hold(Slot slot, HINTERNET h) {
  if (!h) return false;
  EnterCriticalSection(&lock_);
  bool kept = state_ == kRunning;
  if (kept) handles_[slot] = h;
  LeaveCriticalSection(&lock_);
  if (!kept) InternetCloseHandle(h);
  return kept;
}

void Cancel::close(Slot slot) {
  EnterCriticalSection(&lock_);
  HINTERNET h = handles_[slot];
  handles_[slot] = nullptr;
  LeaveCriticalSection(&lock_);
  if (h) InternetCloseHandle(h);
}

namespace {

struct Target {
  bool secure = false;
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring object;  // path and query, without the fragment
};

DWORD crack(const std::wstring& url, Target& t) {
  std::wstring host(url.size() + 1, L'\0'), path(url.size() + 1, L'\0'), extra(url.size() + 1, L'\0');
  URL_COMPONENTSW c{};
  c.dwStructSize = sizeof c;
  c.lpszHostName = host.data();
  c.dwHostNameLength = static_cast<DWORD>(host.size());
  c.lpszUrlPath = path.data();
  c.dwUrlPathLength = static_cast<DWORD>(path.size());
  c.lpszExtraInfo = extra.data();
  c.dwExtraInfoLength = static_cast<DWORD>(extra.size());
  if (!InternetCrackUrlW(url.c_str(), 0, 0, &c)) return GetLastError();
  if (c.nScheme != INTERNET_SCHEME_HTTP && c.nScheme != INTERNET_SCHEME_HTTPS)
    return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
  host.resize(c.dwHostNameLength);
  path.resize(c.dwUrlPathLength);
  extra.resize(c.dwExtraInfoLength);
  extra = extra.substr(0, extra.find(L'#'));
  if (host.empty()) return ERROR_INTERNET_INVALID_URL;
  t.secure = c.nScheme == INTERNET_SCHEME_HTTPS;
  t.host = host;
  t.port = c.nPort;
  t.object = (path.empty() ? L"/" : path) + extra;
  return 0;
}

std::wstring header(HINTERNET request, DWORD what) {
  std::wstring v(512, L'\0');
  DWORD size = static_cast<DWORD>(v.size() * sizeof(wchar_t)), index = 0;
  if (!HttpQueryInfoW(request, what, v.data(), &size, &index)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size > 65536) return {};
    v.assign(size / sizeof(wchar_t) + 1, L'\0');
    index = 0;
    if (!HttpQueryInfoW(request, what, v.data(), &size, &index)) return {};
  }
  v.resize(size / sizeof(wchar_t));
  return v;
}

std::wstring combine(const std::wstring& base, const std::wstring& relative) {
  std::wstring out(4096, L'\0');
  DWORD n = static_cast<DWORD>(out.size());
  if (!InternetCombineUrlW(base.c_str(), relative.c_str(), out.data(), &n, ICU_BROWSER_MODE)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || n > 65536) return {};
    out.assign(n + 1, L'\0');
    n = static_cast<DWORD>(out.size());
    if (!InternetCombineUrlW(base.c_str(), relative.c_str(), out.data(), &n, ICU_BROWSER_MODE)) return {};
  }
  out.resize(n);
  return out;
}

bool is_redirect(DWORD status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

void set_timeouts(HINTERNET h, DWORD ms) {
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                       INTERNET_OPTION_RECEIVE_TIMEOUT})
    InternetSetOptionW(h, option, &ms, sizeof ms);
}

}  // namespace

Fetched fetch(const std::wstring& url, DWORD timeout_ms, size_t max_bytes, Cancel* cancel) {
  const DWORD start = GetTickCount();
  Cancel own;
  Cancel& c = cancel ? *cancel : own;
  Fetched f;
  // What is left of the time-out; 0 when spent (WinINet takes 0 as "no time-out").
  auto left = [&]() -> DWORD {
    DWORD used = GetTickCount() - start;
    return used < timeout_ms ? timeout_ms - used : 0;
  };
  // A failed call: a cancel or the spent time-out is the cause whatever the call reports
  // (a receive time-out can surface as an aborted connection).
  auto fail = [&](DWORD error) {
    if (c.cancelled()) error = ERROR_INTERNET_OPERATION_CANCELLED;
    else if (c.expired() || left() < 100) error = ERROR_INTERNET_TIMEOUT;
    f.error = error ? error : ERROR_INTERNET_INTERNAL_ERROR;
  };
  const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                      INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTO_REDIRECT;
  HINTERNET session = InternetOpenW(L"Revisto/1.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  DWORD error = GetLastError();
  std::wstring current = url;
  if (!c.hold(Cancel::kSession, session)) fail(error);
  else for (;;) {
    Target t;
    if (c.cancelled() || c.expired()) {  // before the handles it closed are used again
      fail(ERROR_INTERNET_TIMEOUT);
      break;
    }
    if ((error = crack(current, t)) != 0) {
      fail(error);
      break;
    }
    f.final_url = current;
    DWORD ms = left();
    if (!ms) {
      fail(ERROR_INTERNET_TIMEOUT);
      break;
    }
    HINTERNET connection = InternetConnectW(session, t.host.c_str(), t.port, nullptr, nullptr,
                                            INTERNET_SERVICE_HTTP, 0, 0);
    error = GetLastError();
    if (!c.hold(Cancel::kConnection, connection)) {
      fail(error);
      break;
    }
    set_timeouts(connection, ms);
    const wchar_t* accept[] = {L"*/*", nullptr};
    HINTERNET request = HttpOpenRequestW(connection, L"GET", t.object.c_str(), nullptr, nullptr, accept,
                                         flags | (t.secure ? INTERNET_FLAG_SECURE : 0), 0);
    error = GetLastError();
    if (!c.hold(Cancel::kRequest, request)) {
      fail(error);
      break;
    }
    set_timeouts(request, ms);
    ++f.requests;
    if (!HttpSendRequestW(request, L"Cache-Control: no-cache\r\n", static_cast<DWORD>(-1), nullptr, 0) ||
        c.cancelled() || c.expired()) {
      fail(GetLastError());
      break;
    }
    DWORD size = sizeof f.status, index = 0;
    HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &f.status, &size, &index);
    std::wstring location = is_redirect(f.status) ? header(request, HTTP_QUERY_LOCATION) : std::wstring();
    if (!location.empty()) {
      if (f.requests > kMaxRedirects) {
        fail(ERROR_HTTP_REDIRECT_FAILED);
        break;
      }
      current = combine(current, location);
      if (current.empty()) {
        fail(ERROR_INTERNET_INVALID_URL);
        break;
      }
      c.close(Cancel::kRequest);
      c.close(Cancel::kConnection);
      continue;
    }
    char type[256] = {};
    size = sizeof type - 1;
    index = 0;
    if (HttpQueryInfoA(request, HTTP_QUERY_CONTENT_TYPE, type, &size, &index)) f.content_type = type;
    char buf[16384];
    for (;;) {
      if (c.cancelled() || c.expired() || !(ms = left())) {
        fail(ERROR_INTERNET_TIMEOUT);
        break;
      }
      InternetSetOptionW(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms);
      // One byte past the cap tells whether the body goes on.
      const size_t room = max_bytes - f.body.size();
      const DWORD want = room < sizeof buf ? static_cast<DWORD>(room + 1) : sizeof buf;
      DWORD got = 0;
      if (!InternetReadFile(request, buf, want, &got)) {
        fail(GetLastError());
        break;
      }
      if (got > room) {
        f.body.append(buf, room);
        f.truncated = true;
      } else {
        f.body.append(buf, got);
      }
      if (got == 0 || f.truncated) {
        f.ok = true;
        break;
      }
    }
    break;
  }
  // The handles are closed by the caller's Cancel, or by `own` on return. Closing the request
  // before its body is read to the end drops the connection.
  f.elapsed_ms = GetTickCount() - start;
  return f;
}

bool start_module_thread(LPTHREAD_START_ROUTINE routine, void* arg) {
  HMODULE self = nullptr;  // one more reference, dropped by end_module_thread()
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(routine), &self))
    return false;
  HANDLE t = CreateThread(nullptr, 0, routine, arg, 0, nullptr);
  if (!t) {
    FreeLibrary(self);
    return false;
  }
  CloseHandle(t);
  return true;
}

void end_module_thread() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&end_module_thread), &self);
  FreeLibraryAndExitThread(self, 0);
}

std::wstring error_text(DWORD error) {
  struct E { DWORD code; const wchar_t* text; };
  static const E table[] = {
      {ERROR_INTERNET_TIMEOUT, L"连接超时"},
      {ERROR_INTERNET_NAME_NOT_RESOLVED, L"无法解析服务器名称"},
      {ERROR_INTERNET_CANNOT_CONNECT, L"无法连接到服务器"},
      {ERROR_INTERNET_CONNECTION_ABORTED, L"连接被中止"},
      {ERROR_INTERNET_CONNECTION_RESET, L"连接被重置"},
      {ERROR_INTERNET_INVALID_URL, L"网址无效"},
      {ERROR_INTERNET_UNRECOGNIZED_SCHEME, L"不支持的网址类型"},
      {ERROR_INTERNET_SEC_CERT_ERRORS, L"服务器证书无效"},
      {ERROR_INTERNET_OPERATION_CANCELLED, L"操作已取消"},
      {ERROR_HTTP_REDIRECT_FAILED, L"重定向次数过多"},
  };
  for (const E& e : table)
    if (e.code == error) return e.text;
  return L"错误 " + std::to_wstring(error);
}

}  // namespace htmlview
