// Test fixture: appends records to a shared database, as a second process would.
//   db_appender.exe DB TAG COUNT PROGRESS MEMO [INDEX|-] [SHARE]
// Opens DB (share mode SHARE, 1 by default; locks retried without limit) with the optional
// index file, then
// appends COUNT records (tag, sequence 1..COUNT, a memo of MEMO bytes). After each append
// returns, the sequence number is written to the file PROGRESS, so a test that kills this
// process knows which appends had returned. Exit code 0, or the failing database code.
#include <windows.h>
#include <cstdlib>
#include <string>
#include "database/engine.h"
#include "database/lock_retry.h"

int main(int argc, char** argv) {
  using namespace database;
  if (argc < 6) return 2;
  set_lock_retry_time(-1);
  OpenOptions o;
  o.file = argv[1];
  if (argc > 6 && std::string(argv[6]) != "-") o.indexes.push_back(argv[6]);
  if (argc > 7) o.share = std::atoi(argv[7]);
  Database* db = nullptr;
  int32_t rc = open_database(o, &db);
  if (rc) return -rc;
  const int32_t tag = std::atoi(argv[2]), count = std::atoi(argv[3]), memo = std::atoi(argv[5]);
  HANDLE progress = CreateFileA(argv[4], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  for (int32_t i = 1; i <= count; ++i) {
    std::string text(static_cast<size_t>(memo), static_cast<char>('a' + i % 26));
    rc = db->append_values({Value::of_int(kInt, tag), Value::of_int(kInt, i), Value::of_bytes(kText, text)});
    if (rc) return -rc;
    DWORD done = 0;
    OVERLAPPED at{};
    WriteFile(progress, &i, 4, &done, &at);
  }
  CloseHandle(progress);
  close_all_databases();
  return 0;
}
