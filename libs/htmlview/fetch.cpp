// WinINet fetch: a fresh request every time (no cache read or write), redirects followed.
#include "fetch.h"
#include <wininet.h>

namespace htmlview {

namespace {

// One fetch shared between the caller and the thread doing the blocking work: the caller
// waits up to the time-out and may leave; the last of the two to let go frees it.
struct Attempt {
  std::wstring url;
  size_t max_bytes;
  Fetched result;
  HINTERNET session = nullptr;
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  volatile LONG refs = 2;
  void release() {
    if (InterlockedDecrement(&refs) == 0) {
      CloseHandle(done);
      delete this;
    }
  }
};

void run(Attempt& a) {
  Fetched& f = a.result;
  const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                      INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_UI;
  HINTERNET request = InternetOpenUrlW(a.session, a.url.c_str(), L"Cache-Control: no-cache\r\n",
                                       static_cast<DWORD>(-1), flags, 0);
  if (!request) {
    f.error = GetLastError();
    return;
  }
  DWORD size = sizeof f.status, index = 0;
  HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &f.status, &size, &index);
  char type[256] = {};
  size = sizeof type - 1;
  index = 0;
  if (HttpQueryInfoA(request, HTTP_QUERY_CONTENT_TYPE, type, &size, &index)) f.content_type = type;
  wchar_t final_url[2048] = {};
  size = sizeof final_url;
  if (InternetQueryOptionW(request, INTERNET_OPTION_URL, final_url, &size)) f.final_url = final_url;
  char buf[16384];
  DWORD got = 0;
  BOOL read_ok;
  while ((read_ok = InternetReadFile(request, buf, sizeof buf, &got)) && got > 0) {
    size_t room = a.max_bytes - f.body.size();
    f.body.append(buf, got < room ? got : room);
  }
  f.ok = read_ok != FALSE;
  if (!f.ok) f.error = GetLastError();
  InternetCloseHandle(request);
}

// The blocking part runs here; it holds a reference on this module while it runs, so that the
// module cannot be unloaded under a request that outlived its caller.
DWORD WINAPI attempt_thread(void* p) {
  auto* a = static_cast<Attempt*>(p);
  run(*a);
  SetEvent(a->done);
  a->release();
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&attempt_thread), &self);
  FreeLibraryAndExitThread(self, 0);
}

}  // namespace

bool start_module_thread(LPTHREAD_START_ROUTINE routine, void* arg) {
  HMODULE self = nullptr;  // one more reference, dropped by FreeLibraryAndExitThread
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

Fetched fetch(const std::wstring& url, DWORD timeout_ms, size_t max_bytes) {
  DWORD start = GetTickCount();
  auto* a = new Attempt{url, max_bytes};
  a->session = InternetOpenW(L"Revisto/1.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (a->session) {
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT})
      InternetSetOptionW(a->session, option, &timeout_ms, sizeof timeout_ms);
  }
  if (!a->session || !a->done || !start_module_thread(attempt_thread, a)) {
    Fetched f;
    f.error = a->session ? ERROR_NOT_ENOUGH_MEMORY : GetLastError();
    if (a->session) InternetCloseHandle(a->session);
    a->refs = 1;
    a->release();
    return f;
  }
  Fetched f;
  if (WaitForSingleObject(a->done, timeout_ms) == WAIT_OBJECT_0) {
    f = std::move(a->result);
  } else {
    f.error = ERROR_INTERNET_TIMEOUT;  // the request is left to finish on its own
  }
  InternetCloseHandle(a->session);  // also cancels what is still running, where it can
  a->release();
  f.elapsed_ms = GetTickCount() - start;
  return f;
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
  };
  for (const E& e : table)
    if (e.code == error) return e.text;
  return L"错误 " + std::to_wstring(error);
}

}  // namespace htmlview
