// Retries of refused locks and opens within the process's lock retry time.
#include "database/lock_retry.h"
#include <windows.h>
#include <atomic>

namespace database {

namespace {

std::atomic<int32_t> g_retry_ms{0};

bool refused_by_holder(DWORD e) { return e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION; }

// Whether another try is allowed `since` the first attempt (tick count), and sleeps first.
bool may_retry(int32_t retry_ms, DWORD since) {
  if (retry_ms == 0) return false;
  if (retry_ms > 0 && GetTickCount() - since > static_cast<DWORD>(retry_ms)) return false;
  Sleep(20 + GetTickCount() % 20);
  return true;
}

}  // namespace

int32_t lock_retry_time() { return g_retry_ms.load(); }
void set_lock_retry_time(int32_t ms) { g_retry_ms.store(ms < -1 ? -1 : ms); }

int32_t lock_with_retry(DbFile& f, uint64_t offset, uint64_t count, int32_t retry_ms) {
  DWORD first = GetTickCount();
  for (;;) {
    if (f.lock(offset, count)) return 0;
    DWORD e = GetLastError();
    if (e == ERROR_NOT_SUPPORTED || e == ERROR_INVALID_FUNCTION) return 0;
    if (!refused_by_holder(e)) return -28;
    if (!may_retry(retry_ms, first)) return file_error(e);
  }
}

int32_t open_with_retry(DbFile& f, const std::string& path, bool write, Share share) {
  DWORD first = GetTickCount();
  int32_t retry_ms = lock_retry_time();
  for (;;) {
    int32_t rc = f.open(path, write, share);
    if (rc != -12 && rc != -13) return rc;
    if (!may_retry(retry_ms, first)) return rc;
  }
}

}  // namespace database
