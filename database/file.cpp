// Platform file calls of the database engine.
#include "database/file.h"
#include <algorithm>
#include <cstring>
#include <vector>

namespace database {

int32_t file_error(DWORD e) {
  switch (e) {
    case ERROR_SUCCESS: return 0;
    case ERROR_FILE_NOT_FOUND: return -3;
    case ERROR_PATH_NOT_FOUND: case ERROR_INVALID_NAME: case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE: case ERROR_INVALID_DRIVE: return -4;
    case ERROR_TOO_MANY_OPEN_FILES: return -5;
    case ERROR_ACCESS_DENIED: case ERROR_FILE_EXISTS: case ERROR_ALREADY_EXISTS: return -6;
    case ERROR_INVALID_HANDLE: return -7;
    case ERROR_CURRENT_DIRECTORY: return -8;
    case ERROR_CANNOT_MAKE: return -9;
    case ERROR_NEGATIVE_SEEK: case ERROR_SEEK: return -10;
    case ERROR_CRC: case ERROR_GEN_FAILURE: case ERROR_IO_DEVICE: case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT: return -11;
    case ERROR_SHARING_VIOLATION: return -12;
    case ERROR_LOCK_VIOLATION: return -13;
    case ERROR_DISK_FULL: case ERROR_HANDLE_DISK_FULL: return -14;
    case ERROR_HANDLE_EOF: return -15;
    default: return -1;
  }
}

namespace {

int32_t last_error() {
  int32_t code = file_error(GetLastError());
  return code ? code : -1;
}

OVERLAPPED at(uint64_t position) {
  OVERLAPPED o{};
  o.Offset = static_cast<DWORD>(position);
  o.OffsetHigh = static_cast<DWORD>(position >> 32);
  return o;
}

}  // namespace

int32_t DbFile::open(const std::string& path, bool write, Share share, bool create_new) {
  close();
  DWORD share_mode = 0;
  switch (share) {
    case Share::kAll: share_mode = FILE_SHARE_READ | FILE_SHARE_WRITE; break;
    case Share::kDenyRead: share_mode = FILE_SHARE_WRITE; break;
    case Share::kDenyWrite: share_mode = FILE_SHARE_READ; break;
    case Share::kExclusive: share_mode = 0; break;
  }
  DWORD access = GENERIC_READ | (write ? GENERIC_WRITE : 0);
  handle_ = CreateFileA(path.c_str(), access, share_mode, nullptr, create_new ? CREATE_NEW : OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
  writable_ = write;
  return is_open() ? 0 : last_error();
}

int32_t DbFile::remove(const std::string& path) { return DeleteFileA(path.c_str()) ? 0 : last_error(); }

void DbFile::close() {
  unmap();
  if (is_open()) CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

int32_t DbFile::read_at(uint64_t position, void* data, uint32_t n, uint32_t* got) {
  *got = 0;
  if (view_) {
    uint32_t here = position >= length_ ? 0 : static_cast<uint32_t>(std::min<uint64_t>(n, length_ - position));
    std::memcpy(data, view_ + position, here);
    read_cipher_.apply(static_cast<uint8_t*>(data), here, position);
    *got = here;
    return 0;
  }
  OVERLAPPED o = at(position);
  DWORD done = 0;
  if (!ReadFile(handle_, data, n, &done, &o) && GetLastError() != ERROR_HANDLE_EOF) return last_error();
  read_cipher_.apply(static_cast<uint8_t*>(data), done, position);
  *got = done;
  return 0;
}

int32_t DbFile::read_exact(uint64_t position, void* data, uint32_t n, int32_t short_code) {
  uint32_t got = 0;
  int32_t code = read_at(position, data, n, &got);
  return code ? code : got == n ? 0 : short_code;
}

int32_t DbFile::write_at(uint64_t position, const void* data, uint32_t n) {
  if (view_) {
    if (!writable_) return -6;
    uint64_t end = position + n;
    // Growing past the view maps a larger one; when that fails the file goes on unmapped.
    if (end > capacity_ && map_view(std::max<uint64_t>(end, capacity_ + capacity_ / 4))) unmap();
  }
  if (view_) {
    if (position > length_) std::memset(view_ + length_, 0, static_cast<size_t>(position - length_));
    std::memcpy(view_ + position, data, n);
    write_cipher_.apply(view_ + position, n, position);
    length_ = std::max<uint64_t>(length_, position + n);
    return 0;
  }
  const void* out = data;
  std::vector<uint8_t> copy;
  if (write_cipher_.on) {
    copy.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + n);
    write_cipher_.apply(copy.data(), n, position);
    out = copy.data();
  }
  OVERLAPPED o = at(position);
  DWORD done = 0;
  if (!WriteFile(handle_, out, n, &done, &o)) return last_error();
  return done == n ? 0 : -14;
}

int32_t DbFile::size(uint64_t* out) const {
  if (view_) {
    *out = length_;
    return 0;
  }
  LARGE_INTEGER s;
  if (!GetFileSizeEx(handle_, &s)) return last_error();
  *out = static_cast<uint64_t>(s.QuadPart);
  return 0;
}

int32_t DbFile::set_size(uint64_t size) {
  if (view_) {
    if (!writable_) return -6;
    if (size > capacity_ && map_view(size)) unmap();
  }
  if (view_) {
    // Bytes past the new end read as zero when the file grows again, as a cut file's would.
    if (size < length_) std::memset(view_ + size, 0, static_cast<size_t>(length_ - size));
    else std::memset(view_ + length_, 0, static_cast<size_t>(size - length_));
    length_ = size;
    return 0;
  }
  LARGE_INTEGER s;
  s.QuadPart = static_cast<LONGLONG>(size);
  if (!SetFilePointerEx(handle_, s, nullptr, FILE_BEGIN) || !SetEndOfFile(handle_)) return last_error();
  return 0;
}

int32_t DbFile::flush() {
  if (view_ && !FlushViewOfFile(view_, 0)) return last_error();
  return FlushFileBuffers(handle_) ? 0 : last_error();
}

namespace {

constexpr uint64_t kMapGrain = 1 << 20;          // views grow by at least this much
constexpr uint64_t kMaxMapped = 256ull << 20;    // larger files stay unmapped (address space)

}  // namespace

int32_t DbFile::map() {
  if (!is_open()) return -7;
  if (view_) return 0;
  uint64_t length = 0;
  int32_t rc = size(&length);
  if (rc) return rc;
  length_ = length;
  // A read-only view cannot grow the file: it maps what there is.
  uint64_t capacity = writable_ ? length + kMapGrain : length;
  if (capacity == 0) return -1;
  rc = map_view(capacity);
  if (rc) unmap();
  return rc;
}

// Maps `capacity` bytes (rounded up to the grain), growing the file to that length first.
int32_t DbFile::map_view(uint64_t capacity) {
  if (writable_) capacity = (capacity + kMapGrain - 1) / kMapGrain * kMapGrain;
  if (capacity > kMaxMapped) return -55;
  drop_view();
  if (writable_) {
    // The room is written as zero bytes rather than only declared: a file system that would
    // leave it unallocated (sparse) could then fail a store into the view on a full disk,
    // which no return code reports. Here a full disk is an error of this call.
    LARGE_INTEGER now;
    if (!GetFileSizeEx(handle_, &now)) return last_error();
    static const uint8_t kZeros[1 << 16] = {};
    for (uint64_t at = static_cast<uint64_t>(now.QuadPart); at < capacity;) {
      DWORD n = static_cast<DWORD>(std::min<uint64_t>(sizeof kZeros, capacity - at)), done = 0;
      OVERLAPPED o{};
      o.Offset = static_cast<DWORD>(at);
      o.OffsetHigh = static_cast<DWORD>(at >> 32);
      if (!WriteFile(handle_, kZeros, n, &done, &o)) return last_error();
      if (done != n) return -14;
      at += n;
    }
  }
  mapping_ = CreateFileMappingA(handle_, nullptr, writable_ ? PAGE_READWRITE : PAGE_READONLY,
                                static_cast<DWORD>(capacity >> 32), static_cast<DWORD>(capacity), nullptr);
  if (!mapping_) return last_error();
  view_ = static_cast<uint8_t*>(MapViewOfFile(mapping_, writable_ ? FILE_MAP_WRITE : FILE_MAP_READ, 0, 0,
                                              static_cast<SIZE_T>(capacity)));
  if (!view_) return last_error();
  capacity_ = capacity;
  return 0;
}

void DbFile::drop_view() {
  if (view_) UnmapViewOfFile(view_);
  if (mapping_) CloseHandle(mapping_);
  view_ = nullptr;
  mapping_ = nullptr;
}

void DbFile::unmap() {
  bool was_mapped = view_ != nullptr || mapping_ != nullptr;
  drop_view();
  capacity_ = 0;
  if (!was_mapped || !writable_) return;
  // The file goes back to the length of its contents.
  LARGE_INTEGER s;
  s.QuadPart = static_cast<LONGLONG>(length_);
  if (SetFilePointerEx(handle_, s, nullptr, FILE_BEGIN)) SetEndOfFile(handle_);
}

bool DbFile::lock(uint64_t offset, uint64_t count) {
  if (count == 0) return true;
  return LockFile(handle_, static_cast<DWORD>(offset), static_cast<DWORD>(offset >> 32),
                  static_cast<DWORD>(count), static_cast<DWORD>(count >> 32)) != 0;
}

bool DbFile::unlock(uint64_t offset, uint64_t count) {
  if (count == 0) return true;
  return UnlockFile(handle_, static_cast<DWORD>(offset), static_cast<DWORD>(offset >> 32),
                    static_cast<DWORD>(count), static_cast<DWORD>(count >> 32)) != 0;
}

void DbFile::set_cipher(const std::string& password, uint32_t start) {
  read_cipher_.set(password, start);
  write_cipher_ = read_cipher_;
}

int32_t DbFile::change_password(const std::string& password) {
  PageCipher next;
  next.set(password, read_cipher_.start);
  return change_cipher(next);
}

int32_t DbFile::change_cipher(const PageCipher& wanted) {
  PageCipher next = wanted;
  next.start = read_cipher_.start;
  if (next.same_key(read_cipher_)) return 0;
  constexpr uint32_t kChunk = 10240;
  uint64_t end = 0;
  int32_t code = size(&end);
  std::vector<uint8_t> buf(kChunk);
  PageCipher old = read_cipher_;
  // Rewrites [start, until) read with `from` and written with `to`; 0 or the first error.
  auto convert = [&](const PageCipher& from, const PageCipher& to, uint64_t until, uint64_t* reached) {
    read_cipher_ = from;
    write_cipher_ = to;
    int32_t rc = 0;
    uint64_t pos = from.start;
    for (; rc == 0 && pos < until; pos += kChunk) {
      uint32_t n = static_cast<uint32_t>(until - pos < kChunk ? until - pos : kChunk);
      rc = read_exact(pos, buf.data(), n, -11);
      if (rc == 0) rc = write_at(pos, buf.data(), n);
      if (rc) break;
    }
    if (reached) *reached = pos;
    return rc;
  };
  uint64_t reached = 0;
  if (code == 0) code = convert(old, next, end, &reached);
  if (code) {
    // Chunks already converted go back under the old password, so no part of the file is
    // left under a key nobody holds.
    convert(next, old, reached, nullptr);
    read_cipher_ = write_cipher_ = old;
    return code;
  }
  read_cipher_ = write_cipher_ = next;
  return 0;
}

}  // namespace database
