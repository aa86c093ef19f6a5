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

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  PageCipher read_cipher_, write_cipher_;
};

}  // namespace database
