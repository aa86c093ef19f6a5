// Index tree speed: appends (rising keys), random inserts, indexed seeks, cursor steps and a
// rebuild of 100k entries, with the file shared (locked and re-read per operation) and held
// alone (pages kept between operations). Prints microseconds per operation.
// Run: build/wine-run build/bench/index_bench.exe [entries]
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>
#include "database/format.h"
#include "database/index_tree.h"

using namespace database;

namespace {

double now_us() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return double(c.QuadPart) * 1e6 / double(f.QuadPart);
}

FieldDescriptor int_field() {
  FieldDescriptor d{};
  std::strcpy(d.name, "num");
  d.type = kInt;
  d.offset = 4;
  return d;
}

void report(const char* what, int32_t n, double us) {
  std::printf("  %-28s %9.2f us/op  %10.0f ops/s\n", what, us / n, n / (us / 1e6));
}

void run(const std::string& path, Share share, int32_t n) {
  std::vector<FieldDescriptor> fields{int_field()};
  DeleteFileA(path.c_str());
  IndexTree tree;
  RecordSource none;
  IndexDef def;
  def.fields = {0};
  if (tree.create(path, fields, kVersion, def, none) != 0) {
    std::printf("create failed\n");
    return;
  }
  tree.close();
  if (tree.open(path, true, share, fields, kVersion) != 0) {
    std::printf("open failed\n");
    return;
  }
  std::printf("%s\n", share == Share::kAll ? "shared file (locked per operation)" : "file held alone (pages kept)");
  std::mt19937 rng(5);
  double t = now_us();
  for (int32_t r = 0; r < n; ++r) tree.insert(reinterpret_cast<const uint8_t*>(&r), r);
  report("append, rising keys", n, now_us() - t);

  tree.clear();
  t = now_us();
  tree.begin_batch();
  for (int32_t r = 0; r < n; ++r) tree.insert(reinterpret_cast<const uint8_t*>(&r), r);
  tree.end_batch();
  report("append in one batch", n, now_us() - t);

  int32_t found = 0;
  t = now_us();
  for (int32_t i = 0; i < n; ++i) {
    int32_t k = int32_t(rng() % uint32_t(n)), rec = -1;
    tree.find(reinterpret_cast<const uint8_t*>(&k), 0, &rec);
    found += rec == k;
  }
  report("seek, random key", n, now_us() - t);
  if (found != n) std::printf("  (found %d of %d)\n", found, n);

  IndexCursor c;
  int32_t steps = 0;
  t = now_us();
  if (tree.first(&c) == 0)
    while (tree.next(&c) == 0) ++steps;
  report("cursor next", steps + 1, now_us() - t);

  t = now_us();
  for (int32_t i = 0; i < n; ++i) {
    int32_t k = int32_t(rng());
    tree.insert(reinterpret_cast<const uint8_t*>(&k), n + i);
  }
  report("insert, random key", n, now_us() - t);

  t = now_us();
  for (int32_t r = 0; r < n; ++r) tree.remove(reinterpret_cast<const uint8_t*>(&r), r);
  report("delete", n, now_us() - t);

  std::vector<int32_t> records(size_t(n) * 2);
  for (int32_t i = 0; i < n; ++i) records[size_t(i) * 2 + 1] = int32_t(rng());
  RecordSource src;
  src.count = n;
  src.record_length = 8;
  src.read = [&](int32_t first, int32_t count, uint8_t* out) {
    std::memcpy(out, records.data() + size_t(first) * 2, size_t(count) * 8);
    return 0;
  };
  t = now_us();
  tree.rebuild(src);
  report("rebuild (per record)", n, now_us() - t);
  tree.close();
  DeleteFileA(path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  int32_t n = argc > 1 ? std::atoi(argv[1]) : 100000;
  char tmp[MAX_PATH];
  GetTempPathA(MAX_PATH, tmp);
  std::string path = std::string(tmp) + "index_bench.vnx";
  std::printf("index tree, one integer key, %d entries, 512-byte pages\n", n);
  run(path, Share::kAll, n);
  run(path, Share::kExclusive, n);
  return 0;
}
