// Page fetching for the fallback view: one real HTTP request per call through the platform's
// internet API, bypassing every cache and following redirects, bounded by a time-out.
#pragma once
#include <windows.h>
#include <string>

namespace htmlview {

struct Fetched {
  bool ok = false;          // a response arrived (any HTTP status)
  DWORD status = 0;         // HTTP status code
  DWORD error = 0;          // system error code when !ok
  DWORD elapsed_ms = 0;
  std::string content_type;
  std::string body;
  std::wstring final_url;   // after redirects
};

// Blocking: run it on a worker thread. `timeout_ms` bounds connecting, sending and each
// receive; `max_bytes` bounds the body kept.
Fetched fetch(const std::wstring& url, DWORD timeout_ms, size_t max_bytes = 4u << 20);

// Starts a thread that holds a reference on this module until it ends (the routine must end
// with FreeLibraryAndExitThread on this module).
bool start_module_thread(LPTHREAD_START_ROUTINE routine, void* arg);

// A readable description of a fetch error code.
std::wstring error_text(DWORD error);

}  // namespace htmlview
