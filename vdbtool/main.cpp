// vdbtool: a console tool for the embedded database's files, on the same engine as the
// runtime. Arguments are GBK (the process's code page); output is UTF-8 (UTF-16 on a console).
#include <cstdlib>
#include <cstring>
#include <string>
#include "corelib/install.h"
#include "database/lock_retry.h"
#include "vdbtool/commands.h"
#include "vdbtool/output.h"

namespace {

const char kUsage[] =
    "usage: vdbtool COMMAND DB [ARGUMENTS] [OPTIONS]\n"
    "\n"
    "commands:\n"
    "  info DB [--index FILE...]            header, fields, indexes and counts\n"
    "  dump DB [--format csv|json] [--index FILE...]\n"
    "                                       every record (in the first index's order when one\n"
    "                                       is named); memo texts as UTF-8, byte sets as hex\n"
    "  check DB [--index FILE...]           consistency of the database, its auxiliary file and\n"
    "                                       index files; each fault with its place\n"
    "  repair DB [--index FILE...]          what opening for writing repairs, damaged values,\n"
    "                                       the free block list, and rebuilt indexes\n"
    "  create DB FIELD...                   FIELD is name:type or name:text:size; type by code\n"
    "                                       1-12 or name: byte short int long float double bool\n"
    "                                       datetime subptr text bin memo\n"
    "  import DB FILE.csv                   append CSV rows; the header row names the fields,\n"
    "                                       byte sets in hex, \"#deleted\" marks deleted records\n"
    "  index DB INDEXFILE FIELD... [--sort 0|1|2] [--flags N] [--page-factor N]\n"
    "                                       create an index over the key fields\n"
    "\n"
    "options:\n"
    "  --password TEXT                      the access password of a protected database (for\n"
    "                                       create: protect the new database with it)\n"
    "  --help                               this text\n"
    "\n"
    "exit codes: 0 done, 1 check found faults (or repair left some), 2 usage or open error\n";

struct Command {
  const char* name;
  int (*run)(const vdbtool::Options&);
};
constexpr Command kCommands[] = {
    {"info", vdbtool::run_info},     {"dump", vdbtool::run_dump},     {"check", vdbtool::run_check},
    {"repair", vdbtool::run_repair}, {"create", vdbtool::run_create}, {"import", vdbtool::run_import},
    {"index", vdbtool::run_index},
};

bool number(const char* s, int32_t* out) {
  char* end = nullptr;
  long v = std::strtol(s, &end, 10);
  if (!*s || *end) return false;
  *out = static_cast<int32_t>(v);
  return true;
}

int usage_error(const std::string& what) {
  vdbtool::err("vdbtool: " + what + "\n\n" + kUsage);
  return vdbtool::kError;
}

}  // namespace

int main(int argc, char** argv) {
  // The core library's plug-ins: index keys in pronunciation order use its pinyin table, so
  // an index the tool builds or checks has the runtime's keys.
  corelib::install();
  // A database another process is using is waited for a little (its locks and sharing), as
  // a program that set a retry time would.
  database::set_lock_retry_time(2000);
  vdbtool::Options o;
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](const char* option) -> const char* {
      if (i + 1 >= argc) return nullptr;
      (void)option;
      return argv[++i];
    };
    if (a == "--help" || a == "-h" || a == "/?") {
      vdbtool::out(kUsage);
      return vdbtool::kOk;
    } else if (a == "--password" || a == "--index" || a == "--format" || a == "--sort" || a == "--flags" ||
               a == "--page-factor") {
      const char* v = value(a.c_str());
      if (!v) return usage_error(a + " needs a value");
      bool ok = true;
      if (a == "--password") o.password = v;
      else if (a == "--index") o.indexes.push_back(v);
      else if (a == "--format") o.format = v;
      else if (a == "--sort") ok = number(v, &o.sort_mode) && o.sort_mode >= 0 && o.sort_mode <= 2;
      else if (a == "--flags") ok = number(v, &o.key_flags) && o.key_flags >= 0 && o.key_flags <= 3;
      else ok = number(v, &o.page_factor) && o.page_factor >= 1 && o.page_factor <= 100;
      if (!ok) return usage_error(a + ": " + vdbtool::utf8_from_gbk(v) + " is out of range");
    } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
      return usage_error("unknown option " + vdbtool::utf8_from_gbk(a));
    } else {
      words.push_back(a);
    }
  }
  if (words.empty()) return usage_error("no command");
  o.command = words[0];
  const Command* command = nullptr;
  for (const Command& c : kCommands)
    if (o.command == c.name) command = &c;
  if (!command) return usage_error("unknown command " + vdbtool::utf8_from_gbk(o.command));
  if (words.size() < 2) return usage_error(o.command + " needs a database file");
  o.db = words[1];
  o.rest.assign(words.begin() + 2, words.end());
  bool takes_more = o.command == "create" || o.command == "import" || o.command == "index";
  if (!takes_more && !o.rest.empty()) return usage_error("unexpected argument " + vdbtool::utf8_from_gbk(o.rest[0]));
  if (o.command != "dump" && o.format != "csv") return usage_error("--format is for dump");
  try {
    return command->run(o);
  } catch (const std::exception& e) {
    return vdbtool::fail(std::string("stopped: ") + e.what());
  }
}
