// The database commands' own cost: append with values, seek and field read through the
// call-command service, next to the engine call behind each, on one database with an integer
// index. Prints both times per operation and their ratio (the command layer's goal: under 1.5).
// Run: build/wine-run build/bench/db_command_bench.exe [records]
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include "call.h"
#include "clock.h"
#include "database/create.h"
#include "database/engine.h"

using namespace calls;
using bench::seconds_now;
using bench::timed;
using database::Value;

namespace {

database::Database* fresh(const std::string& dir, const char* name) {
  std::string file = dir + "\\" + name;
  database::create_database(file, {{"n", database::kInt, 0}, {"名称", database::kText, 16}, {"x", database::kDouble, 0}});
  database::OpenOptions o;
  o.file = file;
  database::Database* d = nullptr;
  if (database::open_database(o, &d)) return nullptr;
  database::IndexSpec spec;
  spec.file = file + "_n";
  spec.fields = {"n"};
  d->create_index(spec);
  return d;
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 20000;
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  std::string dir = std::string(temp) + "orvel_db_command_bench_" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(dir.c_str(), nullptr);

  // Appends: the engine into one database, the command into another of the same shape.
  database::Database* engine_db = fresh(dir, "engine");
  double engine_append = timed([&] {
    for (int i = 0; i < n; ++i)
      engine_db->append_values({Value::of_int(database::kInt, i), Value::of_bytes(database::kText, "名称"),
                                Value::of_number(database::kDouble, i * 0.5)});
  });
  database::Database* command_db = fresh(dir, "command");
  ArgRecord name = Text("名称");
  double command_append = timed([&] {
    for (int i = 0; i < n; ++i) call(383, {Int(i), name, Double(i * 0.5)});
  });

  // Seeks by the index, in a scattered order; each starts from the first record.
  engine_db->set_current_index(engine_db->index_name(0));
  command_db->set_current_index(command_db->index_name(0));
  auto key = [n](int i) { return static_cast<int>((i * 7919LL) % n); };
  bool found = false;
  double engine_seek = timed([&] {
    for (int i = 0; i < n; ++i) {
      engine_db->set_current(0);
      engine_db->seek({Value::of_int(database::kInt, key(i))}, &found);
    }
  });
  double command_seek = timed([&] {
    for (int i = 0; i < n; ++i) {
      command_db->set_current(0);
      call(398, {Int(key(i))});
    }
  });

  // Field reads of the current record.
  Value v;
  engine_db->set_current(n / 2);
  command_db->set_current(n / 2);
  double engine_read = timed([&] {
    for (int i = 0; i < n; ++i) engine_db->read_field(1, v);
  });
  ArgRecord field = Text("名称");
  double command_read = timed([&] {
    for (int i = 0; i < n; ++i) free_result(call(392, {field}));
  });

  std::printf("%d records, one integer index\n", n);
  std::printf("%-14s %12s %12s %8s\n", "", "command s", "engine s", "ratio");
  std::printf("%-14s %12.3f %12.3f %8.2f\n", "append values", command_append, engine_append, command_append / engine_append);
  std::printf("%-14s %12.3f %12.3f %8.2f\n", "indexed seek", command_seek, engine_seek, command_seek / engine_seek);
  std::printf("%-14s %12.3f %12.3f %8.2f\n", "field read", command_read, engine_read, command_read / engine_read);

  database::close_all_databases();
  for (const char* f : {"engine.VDB", "command.VDB", "engine_n.VNX", "command_n.VNX"})
    DeleteFileA((dir + "\\" + f).c_str());
  RemoveDirectoryA(dir.c_str());
  return 0;
}
