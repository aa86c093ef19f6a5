// Test helpers: data placed just before a page that cannot be read, so that a reader going one
// byte past its end faults at once; the thread count of this process.
#pragma once
#include <windows.h>
#include <tlhelp32.h>
#include <cstdint>
#include <cstring>
#include <vector>

class Guarded {
 public:
  explicit Guarded(const std::vector<uint8_t>& bytes) {
    const size_t page = 4096, room = (bytes.size() + page - 1) / page * page + page;
    base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, room + page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(base_ + room, page, PAGE_NOACCESS, &old);
    data_ = base_ + room - bytes.size();
    if (!bytes.empty()) std::memcpy(data_, bytes.data(), bytes.size());
    size_ = bytes.size();
  }
  ~Guarded() { VirtualFree(base_, 0, MEM_RELEASE); }
  Guarded(const Guarded&) = delete;
  Guarded& operator=(const Guarded&) = delete;
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  uint8_t* base_;
  uint8_t* data_;
  size_t size_;
};

inline int thread_count() {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 e{sizeof e};
  int n = 0;
  for (BOOL ok = Thread32First(snap, &e); ok; ok = Thread32Next(snap, &e))
    if (e.th32OwnerProcessID == GetCurrentProcessId()) ++n;
  CloseHandle(snap);
  return n;
}
