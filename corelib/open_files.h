// Open file objects addressed by file numbers: the file on disk over a Win32 handle (plain or
// through the page cipher) and the memory file. A file number is the object's address, registered with the runtime's list of
// registered objects together with its kind; a number is only ever used after the runtime
// confirmed it is registered, so a stale or made-up number never reaches an object.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include <string_view>
#include "runtime/runtime.h"

namespace corelib::files {

// Kinds as registered with the runtime.
enum class Kind : uint8_t { kPlain = 1, kMemory = 2, kPassword = 3 };

// A byte stream with a position. Reads and writes move the position; nothing here raises.
class OpenFile : public runtime::RegisteredObject {
 public:
  virtual Kind kind() const = 0;

  // Up to `n` bytes from the position into `out`; `*got` is how many came (short at the end).
  virtual bool read(char* out, size_t n, size_t* got) = 0;
  virtual bool write(const char* data, size_t n) = 0;
  // The bytes from the position on that are at hand without copying (read ahead when none
  // are); the position does not move. Empty at the end of the file. False when they cannot
  // be had this way: the caller then reads.
  virtual bool peek(const char** data, size_t* n) {
    *data = nullptr, *n = 0;
    return false;
  }
  virtual int64_t position() const = 0;
  virtual bool seek(int64_t position) = 0;    // absolute; negative fails
  virtual int64_t length() = 0;               // -1 on failure
  virtual bool set_length(int64_t length) = 0;
  virtual bool flush() { return true; }

  // Byte-range locks; a kind that cannot lock succeeds. `conflict` tells a region held by
  // someone else apart from other failures.
  virtual bool lock(uint64_t offset, uint64_t length, bool* conflict) {
    *conflict = false;
    return true;
  }
  virtual bool unlock(uint64_t offset, uint64_t length) { return true; }
};

// Opens a file on disk. `mode` 1..6 and `share` 1..4 as the open-file command takes them;
// null when the platform refuses or a mode is out of range.
OpenFile* open_plain(const char* path, int mode, int share);
// The same, with every byte from `start` on passing through the page cipher keyed by
// `password` (the bytes before it stay plain). An empty password opens a plain file.
OpenFile* open_password(const char* path, int mode, int share, const std::string& password,
                        uint32_t start);
OpenFile* open_memory();

// The runtime's registry of open files.
void register_file(OpenFile* file);
// The object behind a file number, or null when the number is not a registered open file.
OpenFile* find(uint32_t number);
// Unregisters, closes and deletes the object behind a registered number.
void close_file(uint32_t number);
// Closes every registered file.
void close_all();

inline uint32_t number_of(const OpenFile* file) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(file));
}

}  // namespace corelib::files
