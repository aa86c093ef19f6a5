// The database engine's one file layer: the only place that calls the platform's file and
// lock functions. A file carries its cipher state, one for reading and one for writing (they
// differ only while a password is changed); reads decipher, writes encipher a copy.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include "database/cipher.h"

namespace database {

// The database error code of a platform file error (-1..-15; 0 for none).
int32_t file_error(DWORD error);

enum class Share { kAll, kDenyRead, kDenyWrite, kExclusive };

class DbFile {
 public:
  DbFile() = default;
  ~DbFile() { close(); }
  DbFile(const DbFile&) = delete;
  DbFile& operator=(const DbFile&) = delete;

  // Opens an existing file (or, with `create_new`, creates one that must not exist).
  int32_t open(const std::string& path, bool write, Share share, bool create_new = false);
  void close();
  bool is_open() const { return handle_ != INVALID_HANDLE_VALUE; }
  // Deletes a file (one this engine made and must not leave half written). 0 or an error code.
  static int32_t remove(const std::string& path);

  // Reads up to `n` bytes at `position`; `got` is how many there were. 0 or an error code.
  int32_t read_at(uint64_t position, void* data, uint32_t n, uint32_t* got);
  // Reads exactly `n` bytes, else `short_code`.
  int32_t read_exact(uint64_t position, void* data, uint32_t n, int32_t short_code);
  int32_t write_at(uint64_t position, const void* data, uint32_t n);
  int32_t size(uint64_t* out) const;
  int32_t set_size(uint64_t size);
  int32_t flush();
  // Byte-range locks; a count of 0 succeeds at once.
  bool lock(uint64_t offset, uint64_t count);
  bool unlock(uint64_t offset, uint64_t count);

  // Keys both cipher states with `password` (empty: no enciphering) from `start` on.
  void set_cipher(const std::string& password, uint32_t start);
  // Re-enciphers the file from the start offset to its end under `password`, in 10240-byte
  // chunks; on a failure the old state stays for both and the error code is returned.
  int32_t change_password(const std::string& password);
  // The same with a ready key state (another file's, or the old one to roll back to).
  int32_t change_cipher(const PageCipher& next);
  const PageCipher& cipher() const { return read_cipher_; }

  // Maps the file into memory, for a file no other handle can write (a database held with
  // share mode 4): reads and writes then copy to and from the mapped view without a system
  // call, and what is written is in the system's file cache at once, as with WriteFile (a
  // killed process loses nothing that a write returned). While mapped the file is kept longer
  // than its contents, to grow without remapping; unmapping (and closing) cuts it back, and
  // after a crash the next open for writing cuts the zero bytes past the last record. Files
  // too large for the address space stay unmapped. 0 or an error code; unmapped either way
  // on failure.
  int32_t map();
  void unmap();
  bool mapped() const { return view_ != nullptr; }

 private:
  int32_t map_view(uint64_t capacity);
  void drop_view();

  HANDLE handle_ = INVALID_HANDLE_VALUE;
  PageCipher read_cipher_, write_cipher_;
  bool writable_ = false;
  HANDLE mapping_ = nullptr;
  uint8_t* view_ = nullptr;
  uint64_t capacity_ = 0;  // bytes mapped (the file's length while mapped)
  uint64_t length_ = 0;    // the contents' length while mapped
};

}  // namespace database
