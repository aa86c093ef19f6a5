// The lock retry time of the process and the retry rule every engine lock follows: a lock
// (or an open) refused because another process holds the range (sharing or lock violation)
// is tried again after a short sleep until the retry time has passed.
#pragma once
#include <cstdint>
#include <string>
#include "database/file.h"

namespace database {

// Milliseconds: 0 = fail at once (the initial value), -1 = retry without limit.
int32_t lock_retry_time();
void set_lock_retry_time(int32_t ms);

// Locks `count` bytes at `offset` of `f`, retrying within `retry_ms` (pass lock_retry_time()
// for the process's rule). 0, the mapped file error of a refusal (-12, -13) once the time is
// up, or -28 for a refusal of any other kind. A file system without locks counts as success.
int32_t lock_with_retry(DbFile& f, uint64_t offset, uint64_t count, int32_t retry_ms);

// Opens `path` as DbFile::open does, retrying a sharing or lock violation within the
// process's retry time.
int32_t open_with_retry(DbFile& f, const std::string& path, bool write, Share share);

}  // namespace database
