// The database engine against SQLite, same process, same Wine: 100k appends to a table with
// one integer index, 100k indexed seeks, 100k field reads, pack and reindex. SQLite runs with
// journal_mode=OFF and synchronous=OFF, its appends in one transaction; neither side calls
// fsync. Prints each figure and its ratio to SQLite (below 1: the engine is faster).
//   db_bench.exe [records] [share mode 1..4 for the engine, default 4]
// Share mode 4 is paired with SQLite's exclusive locking mode, the others with its normal one.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "database/create.h"
#include "database/engine.h"
#ifdef ORVEL_BENCH_SQLITE
#include "sqlite3.h"
#endif

namespace {

using namespace database;

double now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return double(c.QuadPart) / double(f.QuadPart);
}

struct Figure {
  const char* what;
  double engine = 0, sqlite = 0;
};

std::string scratch() {
  char tmp[MAX_PATH];
  GetTempPathA(MAX_PATH, tmp);
  std::string dir = std::string(tmp) + "orvel_db_bench\\";
  CreateDirectoryA(dir.c_str(), nullptr);
  for (const char* f : {"b.VDB", "b.VNX", "b.sqlite"}) DeleteFileA((dir + f).c_str());
  return dir;
}

// A key sequence that is not in order: i * 7919 mod n (n not a multiple of 7919).
int32_t key_of(int32_t i, int32_t n) { return int32_t((int64_t(i) * 7919) % n); }

int fail(const char* what, int32_t rc) {
  std::printf("engine: %s failed: %d\n", what, rc);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const int32_t n = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int32_t share = argc > 2 ? std::atoi(argv[2]) : 4;
  const std::string dir = scratch();
  std::vector<Figure> figures = {{"append (one integer index)"}, {"indexed seek"}, {"field read"},
                                 {"pack (every 10th deleted)"}, {"reindex"}};
  double t;
  int32_t rc;

  // --- the engine
  if ((rc = create_database(dir + "b", {{"id", kInt, 0}, {"name", kText, 16}, {"value", kDouble, 0}})))
    return fail("create", rc);
  OpenOptions o;
  o.file = dir + "b";
  o.share = share;
  Database* db = nullptr;
  // The index is made once, then the database is opened with it, as a program does.
  if ((rc = open_database(o, &db))) return fail("open", rc);
  if ((rc = db->create_index({"b", {"id"}, 0, 0, 8}))) return fail("create index", rc);
  close_database(db);
  o.indexes = {"b"};
  if ((rc = open_database(o, &db))) return fail("open with the index", rc);
  t = now();
  for (int32_t i = 0; i < n; ++i) {
    int32_t k = key_of(i, n);
    rc = db->append_values({Value::of_int(kInt, k), Value::of_bytes(kText, "name " + std::to_string(k)),
                            Value::of_number(kDouble, k * 0.5)});
    if (rc) return fail("append", rc);
  }
  figures[0].engine = now() - t;
  t = now();
  for (int32_t i = 0; i < n; ++i) {
    bool found = false;
    db->go_first();
    if ((rc = db->seek({Value::of_int(kInt, key_of(i * 3 + 1, n))}, &found)) || !found) return fail("seek", rc);
  }
  figures[1].engine = now() - t;
  t = now();
  double sum = 0;
  for (int32_t i = 0; i < n; ++i) {
    db->set_current(key_of(i, n));
    Value v;
    if ((rc = db->read_field(2, v))) return fail("read", rc);
    sum += v.number;
  }
  figures[2].engine = now() - t;
  for (int32_t i = 0; i < n; i += 10) {
    db->set_current(i);
    db->set_deleted(true);
  }
  t = now();
  if ((rc = db->pack())) return fail("pack", rc);
  figures[3].engine = now() - t;
  t = now();
  if ((rc = db->reindex())) return fail("reindex", rc);
  figures[4].engine = now() - t;
  close_database(db);

#ifdef ORVEL_BENCH_SQLITE
  // --- SQLite
  sqlite3* s = nullptr;
  if (sqlite3_open((dir + "b.sqlite").c_str(), &s) != SQLITE_OK) return 1;
  auto exec = [&](const char* sql) { return sqlite3_exec(s, sql, nullptr, nullptr, nullptr); };
  exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
  // Locking as the engine's share mode: 4 keeps every other process out, as SQLite's
  // exclusive locking mode does; otherwise both take and release their locks per operation.
  if (share == 4) exec("PRAGMA locking_mode=EXCLUSIVE;");
  exec("CREATE TABLE b (id INTEGER, name TEXT, value REAL, deleted INTEGER DEFAULT 0); CREATE INDEX b_id ON b(id);");
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(s, "INSERT INTO b (id, name, value) VALUES (?, ?, ?)", -1, &insert, nullptr);
  t = now();
  exec("BEGIN");
  for (int32_t i = 0; i < n; ++i) {
    int32_t k = key_of(i, n);
    std::string name = "name " + std::to_string(k);
    sqlite3_bind_int(insert, 1, k);
    sqlite3_bind_text(insert, 2, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_double(insert, 3, k * 0.5);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  exec("COMMIT");
  figures[0].sqlite = now() - t;
  sqlite3_finalize(insert);
  sqlite3_stmt* seek = nullptr;
  sqlite3_prepare_v2(s, "SELECT rowid FROM b WHERE id = ? LIMIT 1", -1, &seek, nullptr);
  t = now();
  for (int32_t i = 0; i < n; ++i) {
    sqlite3_bind_int(seek, 1, key_of(i * 3 + 1, n));
    if (sqlite3_step(seek) != SQLITE_ROW) return 1;
    sqlite3_reset(seek);
  }
  figures[1].sqlite = now() - t;
  sqlite3_finalize(seek);
  sqlite3_stmt* read = nullptr;
  sqlite3_prepare_v2(s, "SELECT value FROM b WHERE rowid = ?", -1, &read, nullptr);
  t = now();
  double ssum = 0;
  for (int32_t i = 0; i < n; ++i) {
    sqlite3_bind_int(read, 1, key_of(i, n) + 1);
    if (sqlite3_step(read) == SQLITE_ROW) ssum += sqlite3_column_double(read, 0);
    sqlite3_reset(read);
  }
  figures[2].sqlite = now() - t;
  sqlite3_finalize(read);
  exec("UPDATE b SET deleted = 1 WHERE (rowid - 1) % 10 = 0");
  t = now();
  exec("DELETE FROM b WHERE deleted = 1; VACUUM;");
  figures[3].sqlite = now() - t;
  t = now();
  exec("REINDEX b_id");
  figures[4].sqlite = now() - t;
  sqlite3_close(s);
  (void)ssum;
#endif

  std::printf("database engine vs SQLite %s, %d records, engine share mode %d, SQLite locking %s\n",
#ifdef ORVEL_BENCH_SQLITE
              sqlite3_libversion(),
#else
              "(not built: no amalgamation)",
#endif
              n, share, share == 4 ? "exclusive" : "normal");
  std::printf("%-28s %12s %12s %10s\n", "operation", "engine s", "SQLite s", "ratio");
  for (const Figure& f : figures)
    std::printf("%-28s %12.3f %12.3f %10.2f\n", f.what, f.engine, f.sqlite, f.sqlite > 0 ? f.engine / f.sqlite : 0.0);
  std::printf("(checksum %.1f)\n", sum);
  for (const char* f : {"b.VDB", "b.VNX", "b.sqlite"}) DeleteFileA((dir + f).c_str());
  RemoveDirectoryA(dir.c_str());
  return 0;
}
