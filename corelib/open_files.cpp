// The file on disk and the memory file, and their registration with the runtime.
#include "corelib/open_files.h"
#include <algorithm>
#include <cstring>
#include <new>
#include "database/cipher.h"
#include "runtime/notify.h"

namespace corelib::files {

namespace {

// Owns a kernel handle from CreateFile (INVALID_HANDLE_VALUE when empty).
class FileHandle {
 public:
  explicit FileHandle(HANDLE h) : h_(h) {}
  ~FileHandle() { reset(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  void reset() {
    if (valid()) CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE h_;
};

OVERLAPPED at(int64_t offset) {
  OVERLAPPED o{};
  o.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset));
  o.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
  return o;
}

// A file on disk. Reads and writes go through one 64 KiB buffer, as buffered C streams do,
// so that line and text commands do not cost a system call each (under a per-call cost of
// tens of microseconds a line per write call would be hundreds of times slower); a refusal
// of buffered bytes when they are written out is reported by that operation and by the next
// write; positioned I/O keeps the
// logical position here rather than in the handle. Locking, length changes and closing write
// out pending bytes first, and locking drops what was read ahead so that data guarded by a
// lock is read fresh. With a cipher, the buffer holds plain bytes: reads decipher what came
// from the disk and writes encipher a copy, each at its file offset.
class DiskFile final : public OpenFile {
 public:
  DiskFile(HANDLE h, bool readable, bool writable, const database::PageCipher* cipher)
      : handle_(h), readable_(readable), writable_(writable) {
    if (cipher) cipher_ = *cipher;
  }
  ~DiskFile() override { close(); }

  Kind kind() const override { return cipher_.on ? Kind::kPassword : Kind::kPlain; }

  void close() override {
    flush();
    handle_.reset();
  }

  bool read(char* out, size_t n, size_t* got) override {
    *got = 0;
    if (!readable_ || !flush()) return false;
    while (n > 0) {
      if (in_buffer()) {
        size_t offset = static_cast<size_t>(pos_ - start_);
        size_t k = std::min(n, filled_ - offset);
        memcpy(out, buffer_ + offset, k);
        out += k, n -= k, *got += k, pos_ += static_cast<int64_t>(k);
        continue;
      }
      if (n >= kDirect) {  // large reads bypass the buffer
        size_t k = 0;
        if (!read_at(pos_, out, n, &k)) return false;
        *got += k, pos_ += static_cast<int64_t>(k);
        return true;
      }
      if (!fill()) {
        // Reading ahead may run into a region another handle has locked although the bytes
        // asked for are free: those are then read on their own.
        size_t k = 0;
        if (!read_at(pos_, out, n, &k)) return false;
        *got += k, pos_ += static_cast<int64_t>(k);
        return true;
      }
      if (filled_ == 0) break;  // end of file
    }
    return true;
  }

  bool write(const char* data, size_t n) override {
    if (!writable_) return false;
    if (write_error_) {  // bytes written out earlier were refused: this write reports it
      write_error_ = false;
      return false;
    }
    if (n == 0) return true;
    if (state_ == State::kReading) state_ = State::kEmpty;
    // Pending bytes are contiguous: a write elsewhere, or one that does not fit, sends them first.
    if (state_ == State::kWriting &&
        (pos_ != start_ + static_cast<int64_t>(filled_) || filled_ + n > kBuffer || n >= kDirect) &&
        !flush())
      return false;
    if (n >= kDirect) {
      if (!write_at(pos_, data, n)) return false;
      pos_ += static_cast<int64_t>(n);
      return true;
    }
    if (state_ != State::kWriting) {
      state_ = State::kWriting;
      start_ = pos_;
      filled_ = 0;
    }
    memcpy(buffer_ + filled_, data, n);
    filled_ += n;
    pos_ += static_cast<int64_t>(n);
    return true;
  }

  bool peek(const char** data, size_t* n) override {
    *data = nullptr, *n = 0;
    if (!readable_ || !flush()) return false;
    if (!in_buffer() && !fill()) return false;
    if (!in_buffer()) return true;  // the end of the file
    size_t offset = static_cast<size_t>(pos_ - start_);
    *data = buffer_ + offset;
    *n = filled_ - offset;
    return true;
  }

  int64_t position() const override { return pos_; }
  bool seek(int64_t position) override {
    if (position < 0) return false;
    pos_ = position;
    return true;
  }

  // The length counts bytes still waiting in the buffer.
  int64_t length() override {
    LARGE_INTEGER size;
    if (!flush() || !GetFileSizeEx(handle_.get(), &size)) return -1;
    return size.QuadPart;
  }

  bool set_length(int64_t length) override {
    if (length < 0 || !writable_ || !flush()) return false;
    state_ = State::kEmpty;
    LARGE_INTEGER to;
    to.QuadPart = length;
    return SetFilePointerEx(handle_.get(), to, nullptr, FILE_BEGIN) && SetEndOfFile(handle_.get());
  }

  bool flush() override {
    if (state_ != State::kWriting) return true;
    state_ = State::kEmpty;  // a failed write is reported once, not retried at every later call
    if (filled_ == 0 || write_at(start_, buffer_, filled_)) return true;
    write_error_ = true;
    return false;
  }

  bool lock(uint64_t offset, uint64_t length, bool* conflict) override {
    *conflict = false;
    if (!flush()) return false;
    state_ = State::kEmpty;
    if (LockFile(handle_.get(), DWORD(offset), DWORD(offset >> 32), DWORD(length), DWORD(length >> 32)))
      return true;
    *conflict = GetLastError() == ERROR_LOCK_VIOLATION;
    return false;
  }

  bool unlock(uint64_t offset, uint64_t length) override {
    if (!flush()) return false;
    state_ = State::kEmpty;
    return UnlockFile(handle_.get(), DWORD(offset), DWORD(offset >> 32), DWORD(length), DWORD(length >> 32));
  }

 private:
  static constexpr size_t kBuffer = 64 * 1024;
  static constexpr size_t kDirect = 4096;  // reads and writes this large skip the buffer
  enum class State { kEmpty, kReading, kWriting };

  bool in_buffer() const {
    return state_ == State::kReading && pos_ >= start_ && pos_ < start_ + static_cast<int64_t>(filled_);
  }

  // Reads ahead from the position; filled_ is 0 at the end of the file.
  bool fill() {
    state_ = State::kReading;
    start_ = pos_;
    filled_ = 0;
    if (!read_at(pos_, buffer_, kBuffer, &filled_)) {
      state_ = State::kEmpty;
      filled_ = 0;
      return false;
    }
    return true;
  }

  bool read_at(int64_t offset, char* out, size_t n, size_t* got) {
    *got = 0;
    const int64_t first = offset;
    char* const begin = out;
    while (n > 0) {
      DWORD want = static_cast<DWORD>(std::min<size_t>(n, 1u << 30)), done = 0;
      OVERLAPPED o = at(offset);
      if (!ReadFile(handle_.get(), out, want, &done, &o)) {
        if (GetLastError() != ERROR_HANDLE_EOF) return false;
        break;
      }
      if (done == 0) break;
      out += done, n -= done, *got += done, offset += done;
    }
    if (cipher_.on) cipher_.apply(reinterpret_cast<uint8_t*>(begin), *got, static_cast<uint64_t>(first));
    return true;
  }

  bool write_at(int64_t offset, const char* data, size_t n) {
    if (!cipher_.on) return write_raw(offset, data, n);
    // The caller's bytes stay plain: each piece is enciphered in a copy.
    char copy[kDirect];
    while (n > 0) {
      size_t k = std::min(n, sizeof copy);
      memcpy(copy, data, k);
      cipher_.apply(reinterpret_cast<uint8_t*>(copy), k, static_cast<uint64_t>(offset));
      if (!write_raw(offset, copy, k)) return false;
      data += k, n -= k, offset += static_cast<int64_t>(k);
    }
    return true;
  }

  bool write_raw(int64_t offset, const char* data, size_t n) {
    while (n > 0) {
      DWORD want = static_cast<DWORD>(std::min<size_t>(n, 1u << 30)), done = 0;
      OVERLAPPED o = at(offset);
      if (!WriteFile(handle_.get(), data, want, &done, &o) || done == 0) return false;
      data += done, n -= done, offset += done;
    }
    return true;
  }

  FileHandle handle_;
  const bool readable_, writable_;
  bool write_error_ = false;  // pending bytes were refused when written out
  database::PageCipher cipher_;
  int64_t pos_ = 0;
  State state_ = State::kEmpty;
  int64_t start_ = 0;   // file offset of buffer_[0]
  size_t filled_ = 0;   // bytes read ahead, or bytes waiting to be written
  char buffer_[kBuffer];
};

// A growable block of bytes. It grows in whole steps of 1024 bytes, at least doubling, so
// that writing a large memory file does not copy it over and over.
class MemoryFile final : public OpenFile {
 public:
  Kind kind() const override { return Kind::kMemory; }
  void close() override {
    std::string().swap(data_);
    pos_ = 0;
  }

  bool read(char* out, size_t n, size_t* got) override {
    *got = 0;
    if (pos_ >= size()) return true;
    size_t k = std::min<size_t>(n, static_cast<size_t>(size() - pos_));
    memcpy(out, data_.data() + pos_, k);
    *got = k;
    pos_ += static_cast<int64_t>(k);
    return true;
  }

  bool write(const char* data, size_t n) override {
    if (n == 0) return true;
    uint64_t end = static_cast<uint64_t>(pos_) + n;
    if (end > 0x7FFFFFFFu || !grow(end)) return false;
    if (end > data_.size()) data_.resize(static_cast<size_t>(end));
    memcpy(data_.data() + pos_, data, n);
    pos_ = static_cast<int64_t>(end);
    return true;
  }

  bool peek(const char** data, size_t* n) override {
    *data = data_.data(), *n = 0;
    if (pos_ < size()) *data += pos_, *n = static_cast<size_t>(size() - pos_);
    return true;
  }

  int64_t position() const override { return pos_; }
  bool seek(int64_t position) override {
    if (position < 0) return false;
    pos_ = position;
    return true;
  }
  int64_t length() override { return size(); }
  bool set_length(int64_t length) override {
    if (length < 0 || length > 0x7FFFFFFF || !grow(static_cast<uint64_t>(length))) return false;
    data_.resize(static_cast<size_t>(length));
    return true;
  }

 private:
  int64_t size() const { return static_cast<int64_t>(data_.size()); }
  bool grow(uint64_t needed) {
    if (needed <= data_.capacity()) return true;
    uint64_t target = std::max<uint64_t>(needed, uint64_t(data_.capacity()) * 2);
    target = (target + 1023) / 1024 * 1024;
    try {
      data_.reserve(static_cast<size_t>(target));
    } catch (const std::exception&) {
      return false;
    }
    return true;
  }

  std::string data_;
  int64_t pos_ = 0;
};

runtime::RegisteredObject* as_object(uint32_t number) {
  return reinterpret_cast<runtime::RegisteredObject*>(static_cast<uintptr_t>(number));
}

}  // namespace

namespace {

OpenFile* open_disk(const char* path, int mode, int share, const database::PageCipher* cipher) {
  static constexpr struct {
    DWORD access, disposition;
  } kModes[] = {
      {GENERIC_READ, OPEN_EXISTING},
      {GENERIC_WRITE, OPEN_EXISTING},
      {GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING},
      {GENERIC_WRITE, CREATE_ALWAYS},
      {GENERIC_WRITE, OPEN_ALWAYS},
      {GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS},
  };
  static constexpr DWORD kShares[] = {
      FILE_SHARE_READ | FILE_SHARE_WRITE,  // no restriction
      FILE_SHARE_WRITE,                    // deny others reading
      FILE_SHARE_READ,                     // deny others writing
      0,                                   // exclusive
  };
  if (!path || !*path || mode < 1 || mode > 6 || share < 1 || share > 4) return nullptr;
  DWORD access = kModes[mode - 1].access;
  HANDLE h = CreateFileA(path, access, kShares[share - 1], nullptr, kModes[mode - 1].disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  // The object carries its 64 KiB buffer: a failed allocation closes the handle again.
  auto* file = new (std::nothrow)
      DiskFile(h, (access & GENERIC_READ) != 0, (access & GENERIC_WRITE) != 0, cipher);
  if (!file) CloseHandle(h);
  return file;
}

}  // namespace

OpenFile* open_plain(const char* path, int mode, int share) {
  return open_disk(path, mode, share, nullptr);
}

OpenFile* open_password(const char* path, int mode, int share, const std::string& password,
                        uint32_t start) {
  if (password.empty()) return open_disk(path, mode, share, nullptr);
  database::PageCipher cipher;
  cipher.set(password, start);
  return open_disk(path, mode, share, &cipher);
}

OpenFile* open_memory() { return new (std::nothrow) MemoryFile; }

void register_file(OpenFile* file) {
  runtime::RegisteredObject* object = file;
  runtime::notify(2012, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(object)),
                  static_cast<uint32_t>(file->kind()));
}

OpenFile* find(uint32_t number) {
  if (number == 0) return nullptr;
  int64_t kind = runtime::notify(2011, number, 0);
  if (kind < static_cast<int>(Kind::kPlain) || kind > static_cast<int>(Kind::kPassword))
    return nullptr;  // not registered, or an object of another kind
  return static_cast<OpenFile*>(as_object(number));
}

void close_file(uint32_t number) {
  OpenFile* file = find(number);
  if (!file || runtime::notify(2013, number, 0) != 1) return;
  file->close();
  delete file;
}

void close_all() { runtime::notify(2014, 0, 0); }

}  // namespace corelib::files
