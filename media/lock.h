// A critical section and its scope. Sound device callbacks may enter a critical section (the
// platform allows little else there), so playback guards its counters with these.
#pragma once
#include <windows.h>

namespace media {

class CriticalSection {
 public:
  CriticalSection() { InitializeCriticalSection(&cs_); }
  ~CriticalSection() { DeleteCriticalSection(&cs_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  void enter() { EnterCriticalSection(&cs_); }
  void leave() { LeaveCriticalSection(&cs_); }

 private:
  CRITICAL_SECTION cs_;
};

class Locked {
 public:
  explicit Locked(CriticalSection& cs) : cs_(cs) { cs_.enter(); }
  ~Locked() { cs_.leave(); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  CriticalSection& cs_;
};

}  // namespace media
