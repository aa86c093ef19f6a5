// Page fetching for the fallback view: one real HTTP request per call through the platform's
// internet API, bypassing every cache. Redirects are followed here, at most kMaxRedirects of
// them; the whole fetch is bounded by one time-out and the body by a byte cap.
#pragma once
#include <windows.h>
#include <wininet.h>
#include <string>

namespace htmlview {

constexpr unsigned kMaxRedirects = 20;
constexpr size_t kMaxBody = 4u << 20;  // bytes of a body read at most

struct Fetched {
  bool ok = false;          // a response arrived (any HTTP status)
  DWORD status = 0;         // HTTP status code
  DWORD error = 0;          // system error code when !ok
  DWORD elapsed_ms = 0;
  unsigned requests = 0;    // requests sent, redirects included
  bool truncated = false;   // the body went on past the cap; reading stopped there
  std::string content_type;
  std::string body;
  std::wstring final_url;   // after redirects
};

// The internet handles of one fetch, so that another thread can stop it: cancel() and expire()
// close them, which makes the platform abort the connection and fail the call blocked on it.
// Where a blocked call does not notice, the fetch's own time-outs end it; the fetch stops at
// its next step either way.
class Cancel {
 public:
  enum Slot { kSession, kConnection, kRequest, kSlots };
  Cancel() { InitializeCriticalSection(&lock_); }
  ~Cancel();
  Cancel(const Cancel&) = delete;
  Cancel& operator=(const Cancel&) = delete;

  void cancel() { stop(kCancelled); }  // the result is not wanted any more
  void expire() { stop(kExpired); }    // the time-out has passed: the fetch fails with it
  bool cancelled();
  bool expired();
  // Keeps `h` in `slot`; false (and `h` closed) when already stopped, or null.
  bool hold(Slot slot, HINTERNET h);
  void close(Slot slot);  // closes what `slot` holds, unless stop() did

  // Handles taken out of the Cancel, so that a later cancel() leaves them alone and their
  // closing happens on the thread that calls close().
  struct Taken {
    HINTERNET h[kSlots] = {};
    void close();
  };
  Taken take();

 private:
  enum State { kRunning, kCancelled, kExpired };
  void stop(State why);
  State state();
  CRITICAL_SECTION lock_;
  State state_ = kRunning;
  HINTERNET handles_[kSlots] = {};
};

// Blocking: run it on a worker thread. `timeout_ms` bounds the whole fetch (connecting,
// redirects and body); `max_bytes` bounds the body read. `cancel`, when given, lets another
// thread stop the fetch, and keeps the last request's handles open on return: the caller
// closes them (Cancel::cancel) once it has handed the result on, since closing can take a while
// (some platforms read what is left of the body before dropping the connection).
Fetched fetch(const std::wstring& url, DWORD timeout_ms, size_t max_bytes = kMaxBody,
              Cancel* cancel = nullptr);

// Starts a thread that holds a reference on this module until it ends (the routine must end
// with end_module_thread()).
bool start_module_thread(LPTHREAD_START_ROUTINE routine, void* arg);
void end_module_thread();  // FreeLibraryAndExitThread on this module

// A readable description of a fetch error code.
std::wstring error_text(DWORD error);

}  // namespace htmlview
