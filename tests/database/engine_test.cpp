// The engine on real files: the registry and open rules, navigation, field reads and writes
// with their type checks, append, delete, pack and clear, locks, passwords (the "?" dialog
// driven from a second thread), and a model-based run of random operations with indexes.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>
#include "database/create.h"
#include "database/engine.h"
#include "database/index_check.h"
#include "database/indexes.h"
#include "database/key_transform.h"
#include "database/lock_retry.h"
#include "kit.h"
#include "scratch_dir.h"

namespace {

using namespace database;

// The database tool beside the runtime.
std::string vdbtool() { return kit::bin_dir() + "..\\..\\bin\\vdbtool.exe"; }

class Engine : public ScratchDirTest {
 protected:
  void TearDown() override {
    close_all_databases();
    set_lock_retry_time(0);
    set_password_asker(nullptr);
    // Every database a test leaves behind passes the tool's check.
    WIN32_FIND_DATAA f;
    HANDLE h = FindFirstFileA((dir_ + "*.VDB").c_str(), &f);
    for (bool more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileA(h, &f)) {
      std::string stem(f.cFileName, strlen(f.cFileName) - 4);
      if (tool_args_.count(stem) && tool_args_[stem] == "skip") continue;
      EXPECT_EQ(tool("check \"" + dir_ + stem + "\" " + tool_args_[stem]), 0u) << "vdbtool check " << stem;
    }
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
    ScratchDirTest::TearDown();
  }
  static DWORD tool(const std::string& args) { return kit::run(vdbtool(), args, 20000); }
  // Further arguments of the tool's check for a database ("skip": not a database).
  std::map<std::string, std::string> tool_args_;
  // people.VDB: 号 (integer), 名 (text 8), 价 (double), 备注 (memo), 图 (byte set).
  void make_people() {
    ASSERT_EQ(create_database(dir_ + "people", {{"号", kInt, 0}, {"名", kText, 8}, {"价", kDouble, 0},
                                                {"备注", kMemo, 0}, {"图", kBytes, 0}}),
              0);
  }
  Database* open(const std::string& file, OpenOptions o = {}, int32_t* code = nullptr) {
    o.file = file;
    Database* db = nullptr;
    int32_t rc = open_database(o, &db);
    if (code) *code = rc;
    else EXPECT_EQ(rc, 0) << error_text(rc);
    return db;
  }
  int32_t open_code(const std::string& file, OpenOptions o = {}) {
    int32_t rc = 0;
    Database* db = open(file, o, &rc);
    if (db) close_database(db);
    return rc;
  }
  static int32_t count(Database* db) {
    int32_t c = -1;
    EXPECT_EQ(db->record_count(&c), 0);
    return c;
  }
  static int64_t int_of(Database* db, int32_t f) {
    Value v;
    EXPECT_EQ(db->read_field(f, v), 0);
    return v.integer;
  }
  static std::string text_of(Database* db, int32_t f) {
    Value v;
    EXPECT_EQ(db->read_field(f, v), 0);
    return v.bytes;
  }
};

}  // namespace

TEST_F(Engine, OpenRulesAndTheirCodes) {
  make_people();
  ASSERT_EQ(create_database(dir_ + "plain", {{"a", kInt, 0}}), 0);
  {
    DbFile junk;
    ASSERT_EQ(junk.open(dir_ + "junk.VDB", true, Share::kAll, true), 0);
    ASSERT_EQ(junk.write_at(0, "not a database at all, only text and more text", 46), 0);
  }
  tool_args_["junk"] = "skip";
  OpenOptions with_password;
  with_password.password = "secret";
  OpenOptions digit_alias;
  digit_alias.alias = "1st";
  OpenOptions eleven;
  for (int i = 0; i < 11; ++i) eleven.indexes.push_back("i" + std::to_string(i));
  OpenOptions missing_index;
  missing_index.indexes = {"", "nothing"};
  struct Case { std::string file; OpenOptions options; int32_t code; const char* what; } cases[] = {
      {"", {}, -3, "no file name"},
      {dir_ + "none", {}, -3, "no such file"},
      {dir_ + "junk", {}, -22, "not a database"},
      {dir_ + "plain", with_password, -78, "a password for a plain file"},
      {dir_ + "plain", digit_alias, -24, "an alias starting with a digit"},
      {dir_ + "plain", eleven, -34, "more than 10 index files"},
      {dir_ + "plain", missing_index, -30, "an index file that cannot be opened (empty names skipped)"},
  };
  for (const Case& c : cases) EXPECT_EQ(open_code(c.file, c.options), c.code) << c.what;
  EXPECT_TRUE(open_databases().empty()) << "failed opens register nothing";

  OpenOptions question;
  question.password = "?";
  EXPECT_EQ(open_code(dir_ + "plain", question), 0) << "\"?\" counts as no password for a plain file";

  // The auxiliary file is required by the memo field.
  ASSERT_TRUE(MoveFileA((dir_ + "people.VDT").c_str(), (dir_ + "gone.VDT").c_str()));
  EXPECT_EQ(open_code(dir_ + "people"), -35);
  ASSERT_TRUE(MoveFileA((dir_ + "gone.VDT").c_str(), (dir_ + "people.VDT").c_str()));

  // The same file twice, through another path and letter case: -38.
  Database* first = open(dir_ + "people");
  ASSERT_NE(first, nullptr);
  char cwd[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, cwd);
  SetCurrentDirectoryA(dir_.c_str());
  EXPECT_EQ(open_code("..\\" + std::string(dir_.substr(dir_.rfind('\\', dir_.size() - 2) + 1)) + "PEOPLE.vdb"), -38);
  EXPECT_EQ(open_code(".\\people"), -38);
  SetCurrentDirectoryA(cwd);
  EXPECT_EQ(first->name(), "people");
  EXPECT_EQ(first->field_count(), 5);
  EXPECT_EQ(first->find_field("备注"), 3);
  EXPECT_EQ(first->find_field("NONE"), -1);
  EXPECT_TRUE(first->has_aux());
}

TEST_F(Engine, RegistryFindsByAliasNameAndPathAndKeepsTheCurrentOne) {
  for (const char* n : {"a", "b", "c"}) ASSERT_EQ(create_database(dir_ + n, {{"x", kInt, 0}}), 0);
  OpenOptions alias_b;
  alias_b.alias = "客户";
  Database* a = open(dir_ + "a");
  Database* b = open(dir_ + "b", alias_b);
  Database* c = open(dir_ + "c");
  EXPECT_EQ(current_database(), c) << "the newest is current";
  EXPECT_EQ(find_database("客户"), b);
  EXPECT_EQ(find_database("A"), a) << "names ignore case";
  EXPECT_EQ(find_database(c->full_path()), c);
  EXPECT_EQ(find_database(""), nullptr);
  EXPECT_EQ(find_database("nothing"), nullptr);
  set_current_database(b);
  close_database(a);  // before the current one: the current one stays
  EXPECT_EQ(current_database(), b);
  close_database(b);
  EXPECT_EQ(current_database(), nullptr) << "closing the current one leaves none";
  EXPECT_EQ(open_databases().size(), 1u);
}

TEST_F(Engine, NavigationAndSkip) {
  ASSERT_EQ(create_database(dir_ + "n", {{"x", kInt, 0}}), 0);
  Database* db = open(dir_ + "n");
  bool yes = false;
  ASSERT_EQ(db->before_first(&yes), 0);
  EXPECT_TRUE(yes) << "empty: before the first";
  ASSERT_EQ(db->after_last(&yes), 0);
  EXPECT_TRUE(yes) << "empty: after the last";
  EXPECT_EQ(db->skip(1), -26);
  EXPECT_EQ(db->skip(-1), -25);
  EXPECT_EQ(db->go_last(), 0);
  EXPECT_EQ(db->current(), 0);
  for (int i = 0; i < 5; ++i) ASSERT_EQ(db->append_values({Value::of_int(kInt, i * 10)}), 0);
  EXPECT_EQ(db->current(), 4) << "append makes the new record current";

  struct Step { const char* op; int32_t arg; int32_t code; int32_t current; } steps[] = {
      {"first", 0, 0, 0},   {"skip", -1, 0, -1},  {"skip", -1, -25, -1}, {"skip", 1, 0, 0},
      {"skip", 3, 0, 3},    {"skip", 9, 0, 5},    {"skip", 1, -26, 5},   {"skip", -2, 0, 3},
      {"goto", 99, 0, 4},   {"goto", -5, 0, 0},   {"last", 0, 0, 4},     {"skip", 0, 0, 4},
  };
  for (const Step& s : steps) {
    int32_t rc = std::string(s.op) == "first" ? db->go_first()
                 : std::string(s.op) == "last" ? db->go_last()
                 : std::string(s.op) == "goto" ? db->go_to(s.arg)
                                                : db->skip(s.arg);
    EXPECT_EQ(rc, s.code) << s.op << " " << s.arg;
    EXPECT_EQ(db->current(), s.current) << s.op << " " << s.arg;
  }
  db->go_to(2);
  EXPECT_EQ(int_of(db, 0), 20);
  db->set_current(-1);
  ASSERT_EQ(db->before_first(&yes), 0);
  EXPECT_TRUE(yes);
  Value v;
  EXPECT_EQ(db->read_field(0, v), -60) << "no current record";
  db->set_current(5);
  ASSERT_EQ(db->after_last(&yes), 0);
  EXPECT_TRUE(yes);
  EXPECT_EQ(db->read_field(0, v), -10) << "past the end of the file";
  EXPECT_EQ(db->write_field(0, Value::of_int(kInt, 1)), -60);
  EXPECT_EQ(db->read_field(7, v), -61);
}

TEST_F(Engine, FieldsOfEveryTypeWithTheirChecks) {
  ASSERT_EQ(create_database(dir_ + "t", {{"b", kByte, 0}, {"s", kShort, 0}, {"i", kInt, 0}, {"l", kLong, 0},
                                         {"f", kFloat, 0}, {"d", kDouble, 0}, {"o", kBool, 0}, {"t", kDateTime, 0},
                                         {"p", kSubPtr, 0}, {"x", kText, 6}, {"y", kBytes, 0}, {"m", kMemo, 0}}),
            0);
  Database* db = open(dir_ + "t");
  ASSERT_EQ(db->append_blank(), 0);
  std::string big(501, 'm'), bytes("\0\1\2\0\3", 5);
  struct Case { int32_t field; Value in; int32_t code; Value out; const char* what; } cases[] = {
      {0, Value::of_int(kInt, 300), 0, Value::of_int(kByte, 44), "an integer into a byte wraps"},
      {1, Value::of_number(kDouble, -7.9), 0, Value::of_int(kShort, -7), "a double into a short truncates"},
      {2, Value::of_int(kLong, 123456789), 0, Value::of_int(kInt, 123456789), "long into int"},
      {3, Value::of_int(kInt, -5), 0, Value::of_int(kLong, -5), "int into long"},
      {4, Value::of_int(kInt, 3), 0, Value::of_number(kFloat, 3.0), "int into float"},
      {5, Value::of_number(kFloat, 0.5), 0, Value::of_number(kDouble, 0.5), "float into double"},
      {6, Value::of_bool(true), 0, Value::of_bool(true), "logical"},
      {7, Value::of_number(kDateTime, 45000.25), 0, Value::of_number(kDateTime, 45000.25), "date-time"},
      {7, Value::of_number(kDateTime, 9e9), 0, Value::of_number(kDateTime, kLatestDate), "late dates clamp"},
      {7, Value::of_number(kDateTime, -9e9), 0, Value::of_number(kDateTime, kEarliestDate), "early dates clamp"},
      {8, Value::of_int(kSubPtr, 0xDEADBEEF), 0, Value::of_int(kSubPtr, 0xDEADBEEF), "sub pointer"},
      {9, Value::of_bytes(kText, "abcdefgh"), 0, Value::of_bytes(kText, "abcdef"), "a text is cut to the field"},
      {9, Value::of_bytes(kText, "ab"), 0, Value::of_bytes(kText, "ab"), "shorter texts are zero-filled"},
      {10, Value::of_bytes(kBytes, bytes), 0, Value::of_bytes(kBytes, bytes), "bytes keep their zeros"},
      {11, Value::of_bytes(kText, big), 0, Value::of_bytes(kMemo, big), "a 501-byte memo"},
      {11, Value::of_bytes(kText, std::string("ab\0cd", 5)), 0, Value::of_bytes(kMemo, "ab"), "memo ends at zero"},
      {2, Value::of_bytes(kText, "12"), -72, Value::of_int(kInt, 123456789), "text into integer"},
      {6, Value::of_int(kInt, 1), -72, Value::of_bool(true), "integer into logical"},
      {9, Value::of_int(kInt, 1), -72, Value::of_bytes(kText, "ab"), "integer into text"},
      {10, Value::of_bytes(kText, "x"), -72, Value::of_bytes(kBytes, bytes), "text into byte set"},
      {7, Value::of_number(kDouble, 1), -72, Value::of_number(kDateTime, kEarliestDate), "double into date"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(db->write_field(c.field, c.in), c.code) << c.what;
    Value got;
    ASSERT_EQ(db->read_field(c.field, got), 0) << c.what;
    EXPECT_EQ(got.type, c.out.type) << c.what;
    EXPECT_EQ(got.integer, c.out.integer) << c.what;
    EXPECT_EQ(got.number, c.out.number) << c.what;
    EXPECT_EQ(got.bytes, c.out.bytes) << c.what;
  }
  EXPECT_EQ(db->append_to_field(11, "++", true), 0);
  EXPECT_EQ(text_of(db, 11), "ab++");
  EXPECT_EQ(db->append_to_field(10, std::string(600, 'z'), false), 0);
  EXPECT_EQ(text_of(db, 10), bytes + std::string(600, 'z'));
  EXPECT_EQ(db->append_to_field(10, "x", true), -70) << "memo append on a byte set";
  EXPECT_EQ(db->append_to_field(99, "x", true), -40);
  // Clearing the values gives their blocks back: the auxiliary file is its header again.
  ASSERT_EQ(db->write_field(10, Value::of_bytes(kBytes, "")), 0);
  ASSERT_EQ(db->write_field(11, Value::of_bytes(kText, "")), 0);
  EXPECT_EQ(size_of("t.VDT"), 512);
}

TEST_F(Engine, TruncatedLastRecordIsRepairedOrRefusedReadOnly) {
  ASSERT_EQ(create_database(dir_ + "r", {{"x", kInt, 0}, {"y", kText, 20}}), 0);
  Database* db = open(dir_ + "r");
  for (int i = 0; i < 3; ++i) ASSERT_EQ(db->append_values({Value::of_int(kInt, i)}), 0);
  close_database(db);
  const int64_t whole = size_of("r.VDB");
  {
    DbFile f;
    ASSERT_EQ(f.open(dir_ + "r.VDB", true, Share::kAll), 0);
    ASSERT_EQ(f.set_size(uint64_t(whole - 10)), 0);
  }
  OpenOptions read_only;
  read_only.read_only = true;
  EXPECT_EQ(open_code(dir_ + "r", read_only), -48);
  db = open(dir_ + "r");
  EXPECT_EQ(count(db), 2) << "the cut record is dropped";
  EXPECT_EQ(size_of("r.VDB"), whole - 28) << "and the file is cut at the last whole record (28 bytes)";
  int32_t serial = 0;
  ASSERT_EQ(db->append_blank(), 0);
  ASSERT_EQ(db->serial(&serial), 0);
  EXPECT_EQ(serial, 4) << "the next serial is never given twice";
}

TEST_F(Engine, DeletePackAndClear) {
  make_people();
  Database* db = open(dir_ + "people");
  for (int i = 1; i <= 6; ++i)
    ASSERT_EQ(db->append_values({Value::of_int(kInt, i), Value::of_bytes(kText, "n" + std::to_string(i)),
                                 Value::of_number(kDouble, i / 2.0), Value::of_bytes(kText, std::string(700, 'a' + i))}),
              0);
  const int64_t aux_full = size_of("people.VDT");
  EXPECT_EQ(aux_full, 512 + 6 * 2 * 512) << "six two-block memos";
  db->go_to(1);
  ASSERT_EQ(db->set_deleted(true), 0);
  bool deleted = false;
  ASSERT_EQ(db->is_deleted(&deleted), 0);
  EXPECT_TRUE(deleted);
  ASSERT_EQ(db->set_deleted(false), 0);
  ASSERT_EQ(db->is_deleted(&deleted), 0);
  EXPECT_FALSE(deleted) << "undelete";
  // Delete by condition: the even numbers.
  ASSERT_EQ(db->set_deleted_where(true, [&](bool* match) {
    *match = int_of(db, 0) % 2 == 0;
    return 0;
  }), 0);
  EXPECT_EQ(db->current(), 1) << "the current record is put back";
  ASSERT_EQ(db->pack(), 0);
  EXPECT_EQ(count(db), 3);
  EXPECT_EQ(db->current(), 0);
  std::vector<int64_t> left;
  for (db->go_first(); db->current() < 3; db->skip(1)) {
    left.push_back(int_of(db, 0));
    EXPECT_EQ(text_of(db, 3), std::string(700, 'a' + left.back())) << "memos move with their records";
    int32_t s = 0;
    db->serial(&s);
    EXPECT_EQ(s, left.back());
  }
  EXPECT_EQ(left, (std::vector<int64_t>{1, 3, 5}));
  EXPECT_LT(size_of("people.VDT"), aux_full) << "the dropped records' blocks are released";
  ASSERT_EQ(db->append_blank(), 0);
  int32_t s = 0;
  ASSERT_EQ(db->serial(&s), 0);
  EXPECT_EQ(s, 7) << "pack keeps the next serial";
  bool found = false;
  ASSERT_EQ(db->find_serial(5, true, &found), 0);
  EXPECT_TRUE(found);
  EXPECT_EQ(int_of(db, 0), 5);
  ASSERT_EQ(db->find_serial(4, true, &found), 0);
  EXPECT_FALSE(found);
  ASSERT_EQ(db->pack_range(0, 2), 0);
  EXPECT_EQ(count(db), 2);
  db->go_first();
  EXPECT_EQ(int_of(db, 0), 5);
  ASSERT_EQ(db->clear(), 0);
  EXPECT_EQ(count(db), 0);
  EXPECT_EQ(size_of("people.VDT"), 512);
  EXPECT_EQ(size_of("people.VDB"), 116 + 5 * 72);
  ASSERT_EQ(db->append_blank(), 0);
  ASSERT_EQ(db->serial(&s), 0);
  EXPECT_EQ(s, 8) << "clear keeps the next serial";
}

TEST_F(Engine, FindByConditionAndScan) {
  ASSERT_EQ(create_database(dir_ + "f", {{"x", kInt, 0}}), 0);
  Database* db = open(dir_ + "f");
  for (int i = 0; i < 2000; ++i) ASSERT_EQ(db->append_values({Value::of_int(kInt, i % 7)}), 0);
  db->go_to(10);
  bool found = false;
  auto is_six = [&](bool* match) {
    *match = int_of(db, 0) == 6;
    return 0;
  };
  ASSERT_EQ(db->find(is_six, &found), 0);
  EXPECT_TRUE(found);
  EXPECT_EQ(db->current(), 13) << "from the current record on";
  int64_t sum = 0;
  int32_t seen = 0;
  ASSERT_EQ(db->scan([&](int32_t record) {
    EXPECT_EQ(db->current(), record);
    sum += int_of(db, 0);
    ++seen;
    return 0;
  }), 0);
  EXPECT_EQ(seen, 2000) << "across batches";
  EXPECT_EQ(db->current(), 13);
  int64_t expect = 0;
  for (int i = 0; i < 2000; ++i) expect += i % 7;
  EXPECT_EQ(sum, expect);
  EXPECT_EQ(db->scan([](int32_t) { return -75; }), -75) << "a failing visit ends the scan";
}

TEST_F(Engine, LocksCountAndFollowTheExclusiveCount) {
  ASSERT_EQ(create_database(dir_ + "l", {{"x", kInt, 0}}), 0);
  Database* db = open(dir_ + "l");
  for (int i = 0; i < 3; ++i) ASSERT_EQ(db->append_blank(), 0);
  DbFile other;  // a second handle: locks are per handle, so it sees ours as another process would
  ASSERT_EQ(other.open(dir_ + "l.VDB", true, Share::kAll), 0);
  const uint64_t record1 = 116 + 72 + 8;
  ASSERT_EQ(db->lock_record(1), 0);
  ASSERT_EQ(db->lock_record(1), 0);
  EXPECT_FALSE(other.lock(record1, 1));
  ASSERT_EQ(db->unlock_record(1), 0);
  EXPECT_FALSE(other.lock(record1, 1)) << "locked twice, released once: still held";
  ASSERT_EQ(db->unlock_record(1), 0);
  EXPECT_TRUE(other.lock(record1, 1));
  EXPECT_EQ(db->lock_record(1), -13) << "held by the other handle, no retry time";
  EXPECT_EQ(db->lock_record(-1), -28);
  EXPECT_EQ(db->unlock_record(2), -29) << "not held";
  EXPECT_EQ(db->rename_field(0, "y"), -74) << "needs exclusive access";

  // With retry time -1 a refused lock is tried until it is granted.
  set_lock_retry_time(-1);
  std::thread release([&] {
    Sleep(200);
    other.unlock(record1, 1);
  });
  DWORD t0 = GetTickCount();
  EXPECT_EQ(db->lock_record(1), 0);
  EXPECT_GE(GetTickCount() - t0, 150u);
  release.join();
  set_lock_retry_time(0);

  // The database lock takes every byte but the held ones; inside it locks are counted only.
  ASSERT_EQ(db->lock_database(), 0);
  EXPECT_FALSE(other.lock(16, 1));
  EXPECT_EQ(db->exclusive_count(), 1);
  EXPECT_EQ(db->lock_count(), 0);
  EXPECT_EQ(db->rename_field(0, "新名"), 0);
  EXPECT_EQ(db->field_name(0), "新名");
  ASSERT_EQ(db->unlock_database(), 0);
  EXPECT_TRUE(other.lock(16, 1));
  other.unlock(16, 1);
  ASSERT_EQ(db->unlock_all(), 0);
  EXPECT_TRUE(other.lock(record1, 1)) << "unlock all released the record";
  other.unlock(record1, 1);
  EXPECT_EQ(db->lock_database(), 0);
  ASSERT_EQ(db->lock_count(), 0);
  ASSERT_EQ(db->unlock_database(), 0);
  EXPECT_EQ(db->unlock_database(), -29);
  other.close();
  close_database(db);

  // Share mode 4: every lock succeeds without touching the file; renaming is allowed.
  OpenOptions exclusive;
  exclusive.share = 4;
  db = open(dir_ + "l", exclusive);
  EXPECT_EQ(open_code(dir_ + "l"), -38);
  EXPECT_EQ(db->lock_record(1), 0);
  EXPECT_EQ(db->unlock_record(2), 0);
  EXPECT_EQ(db->rename_field(0, "XX"), 0);
  EXPECT_EQ(db->rename_field(0, std::string(17, 'a')), -18);
  close_database(db);
  db = open(dir_ + "l");
  EXPECT_EQ(db->field_name(0), "XX") << "the new name is in the file";
  // A field an open index uses: the index file follows the new name.
  ASSERT_EQ(db->create_index({"lx", {"XX"}, 0, 0, 1}), 0);
  close_database(db);
  OpenOptions with_index = exclusive;
  with_index.indexes = {"lx"};
  db = open(dir_ + "l", with_index);
  ASSERT_EQ(db->rename_field(0, "编号"), 0);
  EXPECT_EQ(db->index_fields(0), (std::vector<std::string>{"编号"}));
  bool found = false;
  EXPECT_EQ(db->seek({Value::of_int(kInt, 0)}, &found), 0);
  EXPECT_TRUE(found) << "the index still works after the rename";
  close_database(db);
  with_index.share = 1;
  db = open(dir_ + "l", with_index);
  ASSERT_NE(db, nullptr) << "and opens with the renamed field";
  tool_args_["l"] = "--index lx";
}

TEST_F(Engine, PasswordsSetChangeRemoveAndCopy) {
  make_people();
  Database* db = open(dir_ + "people");
  ASSERT_EQ(db->append_values({Value::of_int(kInt, 42), Value::of_bytes(kText, "张三"), Value::of_number(kDouble, 1.5),
                               Value::of_bytes(kText, std::string(900, 'q'))}),
            0);
  close_database(db);
  std::string plain_db, plain_aux;
  auto file_bytes = [&](const char* name) {
    std::string s(static_cast<size_t>(size_of(name)), '\0');
    DbFile f;
    EXPECT_EQ(f.open(dir_ + name, false, Share::kAll), 0);
    EXPECT_EQ(f.read_exact(0, s.data(), static_cast<uint32_t>(s.size()), -1), 0);
    return s;
  };
  plain_db = file_bytes("people.VDB");
  plain_aux = file_bytes("people.VDT");

  db = open(dir_ + "people");
  EXPECT_EQ(db->set_password("?"), -80);
  ASSERT_EQ(db->set_password("密码1"), 0);
  EXPECT_TRUE(db->has_password());
  EXPECT_EQ(text_of(db, 1), "张三") << "still readable through the new key";
  close_database(db);
  EXPECT_TRUE(is_password_protected(dir_ + "people"));
  EXPECT_EQ(file_bytes("people.VDB").substr(0, 4), "WCDB");
  EXPECT_EQ(file_bytes("people.VDB").find("张三"), std::string::npos) << "enciphered on disk";

  OpenOptions wrong, right;
  wrong.password = "密码2";
  right.password = "密码1";
  EXPECT_EQ(open_code(dir_ + "people"), -78);
  EXPECT_EQ(open_code(dir_ + "people", wrong), -78);
  db = open(dir_ + "people", right);
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(int_of(db, 0), 42);
  EXPECT_EQ(text_of(db, 3), std::string(900, 'q'));
  // Another database takes this one's key.
  ASSERT_EQ(create_database(dir_ + "copy", {{"a", kInt, 0}, {"m", kMemo, 0}}), 0);
  Database* copy = open(dir_ + "copy");
  ASSERT_EQ(copy->append_values({Value::of_int(kInt, 9), Value::of_bytes(kText, "memo")}), 0);
  ASSERT_EQ(copy->copy_password(*db), 0);
  close_database(copy);
  EXPECT_EQ(open_code(dir_ + "copy"), -78);
  copy = open(dir_ + "copy", right);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(text_of(copy, 1), "memo");
  close_database(copy);

  // Held exclusively, the files are re-keyed in memory; the key holds after closing.
  OpenOptions held = right;
  held.share = 4;
  copy = open(dir_ + "copy", held);
  ASSERT_NE(copy, nullptr);
  ASSERT_EQ(copy->set_password("另一个"), 0);
  ASSERT_EQ(copy->append_values({Value::of_int(kInt, 10), Value::of_bytes(kText, std::string(1500, 'z'))}), 0);
  close_database(copy);
  held.password = "另一个";
  copy = open(dir_ + "copy", held);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(text_of(copy, 1), "memo");
  copy->go_last();
  EXPECT_EQ(text_of(copy, 1), std::string(1500, 'z'));
  close_database(copy);
  tool_args_["copy"] = "--password 另一个";

  // Back to plain: both files byte for byte as before.
  ASSERT_EQ(db->set_password(""), 0);
  close_database(db);
  EXPECT_FALSE(is_password_protected(dir_ + "people"));
  EXPECT_EQ(file_bytes("people.VDB"), plain_db);
  EXPECT_EQ(file_bytes("people.VDT"), plain_aux);
}

TEST_F(Engine, QuestionMarkAsksThroughTheDialogUpToThreeTimes) {
  make_people();
  Database* db = open(dir_ + "people");
  ASSERT_EQ(db->set_password("门"), 0);
  close_database(db);
  tool_args_["people"] = "--password 门";
  OpenOptions ask;
  ask.password = "?";
  // A second thread answers the dialogs of this process: each answer, and the message line
  // the dialog showed with it.
  auto answer = [&](std::vector<std::string> answers, std::vector<std::string>* messages) {
    return std::thread([=] {
      for (const std::string& a : answers) {
        HWND dlg = kit::drive::find_window(GetCurrentProcessId(), "密码输入", "#32770", 5000);
        if (!dlg) return;
        messages->push_back(kit::drive::text(GetDlgItem(dlg, 102)));
        kit::drive::set_text(GetDlgItem(dlg, 101), a);
        if (a == "<cancel>") kit::drive::click(GetDlgItem(dlg, IDCANCEL));
        else kit::drive::click(GetDlgItem(dlg, IDOK));
        kit::drive::wait_until([&] { return !IsWindow(dlg); }, 3000);
      }
    });
  };
  std::vector<std::string> messages;
  std::thread t = answer({"x", "y", "z"}, &messages);
  EXPECT_EQ(open_code(dir_ + "people", ask), -78);
  t.join();
  EXPECT_EQ(messages, (std::vector<std::string>{"", "密码错误，您还有 2 次重新输入的机会。",
                                                "密码错误，您还有 1 次重新输入的机会。"}));
  messages.clear();
  t = answer({"x", "门"}, &messages);
  int32_t rc = 0;
  db = open(dir_ + "people", ask, &rc);
  t.join();
  ASSERT_EQ(rc, 0);
  ASSERT_EQ(messages.size(), 2u);
  ASSERT_EQ(db->append_values({Value::of_int(kInt, 1), Value::of_bytes(kText, "a"), Value::of_number(kDouble, 0),
                               Value::of_bytes(kText, "备注 through the entered key")}),
            0);
  EXPECT_EQ(text_of(db, 3), "备注 through the entered key") << "the auxiliary file is keyed too";
  close_database(db);
  messages.clear();
  t = answer({"<cancel>"}, &messages);
  EXPECT_EQ(open_code(dir_ + "people", ask), -78) << "cancel ends the attempts";
  t.join();
  EXPECT_EQ(messages.size(), 1u);
}

TEST_F(Engine, ErrorTextsAndTheLastErrorPerThread) {
  EXPECT_STREQ(error_text(0), "");
  EXPECT_STREQ(error_text(-38), "指定数据库已经被打开");
  EXPECT_STREQ(error_text(-74), "数据库的共享打开方式不是“#禁止读写”");
  EXPECT_STREQ(error_text(-77), "未知错误");
  EXPECT_STREQ(error_text(5), "未知错误");
  set_last_error(-22);
  std::thread([] { EXPECT_EQ(last_error(), 0); set_last_error(-1); }).join();
  EXPECT_EQ(last_error(), -22);
  set_last_error(0);
  EXPECT_EQ(file_error(ERROR_SHARING_VIOLATION), -12);
  EXPECT_EQ(file_error(ERROR_LOCK_VIOLATION), -13);
  EXPECT_EQ(file_error(ERROR_FILE_NOT_FOUND), -3);
  EXPECT_EQ(file_error(ERROR_DISK_FULL), -14);
}

namespace {

// The model of one record: what the database must hold.
struct Row {
  int32_t serial;
  int32_t k;
  std::string name;  // at most 6 bytes
  std::string memo;
  bool deleted = false;
};

// Checks one index against the model: one entry per record, each under the (transformed) key
// of its record, in key order with equal keys by record number; and the tree's own checks.
void expect_index_matches(Database* db, int32_t i, const std::vector<Row>& rows, const char* when) {
  IndexTree& tree = db->index(i).tree;
  const IndexKey& k = tree.key();
  std::vector<int32_t> seen;
  std::vector<std::string> keys;
  ASSERT_EQ(tree.scan([&](int32_t record, const uint8_t* key) {
    seen.push_back(record);
    keys.emplace_back(reinterpret_cast<const char*>(key), static_cast<size_t>(k.key_length));
    return true;
  }), 0) << when;
  ASSERT_EQ(seen.size(), rows.size()) << when << ": index " << i;
  std::vector<bool> once(rows.size(), false);
  for (size_t n = 0; n < seen.size(); ++n) {
    ASSERT_TRUE(seen[n] >= 0 && size_t(seen[n]) < rows.size() && !once[size_t(seen[n])]) << when;
    once[size_t(seen[n])] = true;
    // The record's key as the model has it: the key fields' stored bytes in key order.
    const Row& r = rows[size_t(seen[n])];
    std::string raw;
    for (int32_t p = 0; p < k.shape.count; ++p) {
      if (db->field(k.fields[p]).type == kInt) raw.append(reinterpret_cast<const char*>(&r.k), 4);
      else {
        std::string t = r.name;
        t.resize(6, '\0');
        raw += t;
      }
    }
    uint8_t want[kMaxKeyLength];
    transform_key(k.shape, k.sort_mode, k.key_flags, reinterpret_cast<const uint8_t*>(raw.data()), want);
    EXPECT_EQ(keys[n], std::string(reinterpret_cast<const char*>(want), raw.size())) << when << " record " << seen[n];
    if (n > 0) {
      int c = compare_keys(k.shape, reinterpret_cast<const uint8_t*>(keys[n - 1].data()),
                           reinterpret_cast<const uint8_t*>(keys[n].data()));
      EXPECT_TRUE(c < 0 || (c == 0 && seen[n - 1] < seen[n])) << when << ": order at entry " << n;
    }
  }
  IndexReport report;
  RecordSource records;
  ASSERT_EQ(records_in_file(db->file(), db->data_start(), db->record_length(), &records), 0);
  ASSERT_EQ(check_index(tree, static_cast<int32_t>(rows.size()), &records, &report), 0);
  EXPECT_TRUE(report.ok()) << when << ": " << (report.faults.empty() ? "" : report.faults[0].what);
}

}  // namespace

// The model run, with the database shared (share mode 1: files read and written through
// system calls under byte locks) or held exclusively (share mode 4: files mapped into memory).
class EngineModel : public Engine {
 protected:
  void run(int32_t share);
};

TEST_F(EngineModel, RandomOperationsShared) { run(1); }
TEST_F(EngineModel, RandomOperationsHeldExclusively) { run(4); }

void EngineModel::run(int32_t share) {
  ASSERT_EQ(create_database(dir_ + "model", {{"k", kInt, 0}, {"name", kText, 6}, {"m", kMemo, 0}}), 0);
  OpenOptions first;
  first.share = share;
  Database* db = open(dir_ + "model", first);
  ASSERT_EQ(db->create_index({"by_k", {"k"}, 0, 0, 1}), 0);
  ASSERT_EQ(db->create_index({"by_name", {"name", "K"}, 0, kIgnoreCase | kIgnoreSpaces, 1}), 0);
  EXPECT_EQ(db->current_index(), 1) << "a new index becomes current";
  EXPECT_EQ(db->index_fields(1), (std::vector<std::string>{"name", "k"}));
  std::vector<Row> rows;
  int32_t next_serial = 1;
  std::mt19937 rng(12345);
  auto pick = [&](int n) { return static_cast<int32_t>(rng() % uint32_t(n)); };
  auto random_name = [&] {
    static const char* parts[] = {"ab", "AB", "a b", "x", "Zz", "", "q q", "张"};
    return std::string(parts[pick(8)]) + parts[pick(8)];
  };
  auto cut = [](std::string s) { return s.substr(0, 6); };
  for (int step = 0; step < 3000; ++step) {
    int op = pick(1000);
    if (op < 550 || rows.empty()) {
      Row r{next_serial++, pick(40), cut(random_name()), std::string(size_t(pick(3)) * size_t(pick(700)), char('a' + pick(26)))};
      ASSERT_EQ(db->append_values({Value::of_int(kInt, r.k), Value::of_bytes(kText, r.name), Value::of_bytes(kText, r.memo)}), 0);
      rows.push_back(r);
    } else if (op < 850) {
      int32_t at = pick(static_cast<int>(rows.size()));
      db->go_to(at);
      Row& r = rows[size_t(at)];
      switch (pick(3)) {
        case 0: r.k = pick(40); ASSERT_EQ(db->write_field(0, Value::of_int(kInt, r.k)), 0); break;
        case 1: r.name = cut(random_name()); ASSERT_EQ(db->write_field(1, Value::of_bytes(kText, r.name)), 0); break;
        default: r.memo = std::string(size_t(pick(1500)), 'm'); ASSERT_EQ(db->write_field(2, Value::of_bytes(kText, r.memo)), 0);
      }
    } else if (op < 970) {
      int32_t at = pick(static_cast<int>(rows.size()));
      db->go_to(at);
      rows[size_t(at)].deleted = !rows[size_t(at)].deleted;
      ASSERT_EQ(db->set_deleted(rows[size_t(at)].deleted), 0);
    } else if (op < 985) {
      ASSERT_EQ(db->pack(), 0);
      std::vector<Row> kept;
      for (const Row& r : rows)
        if (!r.deleted) kept.push_back(r);
      rows = kept;
    } else if (op < 998) {
      ASSERT_EQ(db->set_current_index(pick(2) ? "BY_K" : "by_name"), 0);
      ASSERT_EQ(db->reindex(), 0);
    } else {
      ASSERT_EQ(db->clear(), 0);
      rows.clear();
    }
    if (step % 100 == 99 || step == 2999) {
      std::string when = "step " + std::to_string(step);
      ASSERT_EQ(count(db), static_cast<int32_t>(rows.size())) << when;
      expect_index_matches(db, 0, rows, when.c_str());
      expect_index_matches(db, 1, rows, when.c_str());
    }
  }
  // Every value, serial and deleted mark as the model has it; a seek finds each k.
  for (size_t at = 0; at < rows.size(); ++at) {
    db->go_to(static_cast<int32_t>(at));
    int32_t s = 0;
    bool deleted = false;
    ASSERT_EQ(db->serial(&s), 0);
    ASSERT_EQ(db->is_deleted(&deleted), 0);
    EXPECT_EQ(s, rows[at].serial);
    EXPECT_EQ(deleted, rows[at].deleted);
    EXPECT_EQ(int_of(db, 0), rows[at].k);
    EXPECT_EQ(text_of(db, 1), rows[at].name);
    EXPECT_EQ(text_of(db, 2), rows[at].memo);
  }
  ASSERT_EQ(db->set_current_index("by_k"), 0);
  for (int32_t k = 0; k < 40; ++k) {
    int32_t first = -1;
    for (size_t at = 0; at < rows.size() && first < 0; ++at)
      if (rows[at].k == k) first = static_cast<int32_t>(at);
    db->go_first();
    bool found = false;
    ASSERT_EQ(db->seek({Value::of_number(kDouble, k + 0.25)}, &found), 0) << "a double converts to the key's integer";
    EXPECT_EQ(found, first >= 0);
    if (found) {
      EXPECT_EQ(db->current(), first) << "the first record with the key";
    }
  }
  bool found = false;
  EXPECT_EQ(db->seek({}, &found), -73);
  EXPECT_EQ(db->seek({Value::of_bytes(kText, "1")}, &found), -72);
  EXPECT_EQ(db->set_current_index("none"), -68);
  close_database(db);

  // Reopened with its indexes, the files still agree.
  OpenOptions o;
  o.share = share;
  o.indexes = {"by_k", "by_name.VNX"};
  db = open(dir_ + "model", o);
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(db->current_index(), 0);
  expect_index_matches(db, 0, rows, "reopened");
  expect_index_matches(db, 1, rows, "reopened");
  close_database(db);
  tool_args_["model"] = "--index by_k --index by_name";
  o.indexes = {"by_k", "BY_K.vnx"};
  EXPECT_EQ(open_code(dir_ + "model", o), -33) << "one index file named twice";
}

TEST_F(Engine, KeyFieldWrittenWithItsOwnValueLeavesTheFilesUntouched) {
  ASSERT_EQ(create_database(dir_ + "same", {{"k", kInt, 0}, {"v", kInt, 0}}), 0);
  Database* db = open(dir_ + "same");
  ASSERT_EQ(db->create_index({"k", {"k"}, 0, 0, 1}), 0);
  ASSERT_EQ(db->append_values({Value::of_int(kInt, 7), Value::of_int(kInt, 1)}), 0);
  // Both files get an old write time; a write of the same key value must not change it.
  FILETIME old_time{0x12345678, 0x01C00000};
  auto age = [&](const char* name) {
    HANDLE h = CreateFileA((dir_ + name).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    SetFileTime(h, nullptr, nullptr, &old_time);
    CloseHandle(h);
  };
  auto written = [&](const char* name) {
    WIN32_FILE_ATTRIBUTE_DATA a{};
    GetFileAttributesExA((dir_ + name).c_str(), GetFileExInfoStandard, &a);
    return CompareFileTime(&a.ftLastWriteTime, &old_time) != 0;
  };
  age("same.VDB");
  age("k.VNX");
  ASSERT_EQ(db->write_field(0, Value::of_int(kLong, 7)), 0);
  EXPECT_FALSE(written("same.VDB"));
  EXPECT_FALSE(written("k.VNX"));
  ASSERT_EQ(db->write_field(0, Value::of_int(kInt, 8)), 0);
  EXPECT_TRUE(written("same.VDB"));
  EXPECT_TRUE(written("k.VNX"));
  tool_args_["same"] = "--index k";
}

TEST_F(Engine, TwoProcessesAppendingAtOnceLoseNothing) {
  ASSERT_EQ(create_database(dir_ + "shared", {{"tag", kInt, 0}, {"seq", kInt, 0}, {"m", kMemo, 0}}), 0);
  {
    Database* db = open(dir_ + "shared");
    ASSERT_EQ(db->create_index({"seq", {"seq", "tag"}, 0, 0, 1}), 0);
    close_database(db);
  }
  const int kEach = 250;
  std::string args = "\"" + dir_ + "shared\" ";
  kit::Process one(kit::bin_dir() + "db_appender.exe", args + "1 " + std::to_string(kEach) + " \"" + dir_ + "p1\" 600 seq");
  kit::Process two(kit::bin_dir() + "db_appender.exe", args + "2 " + std::to_string(kEach) + " \"" + dir_ + "p2\" 600 seq");
  DWORD code1 = 1, code2 = 1;
  ASSERT_TRUE(one.wait(60000, &code1));
  ASSERT_TRUE(two.wait(60000, &code2));
  EXPECT_EQ(code1, 0u);
  EXPECT_EQ(code2, 0u);
  OpenOptions o;
  o.indexes = {"seq"};
  Database* db = open(dir_ + "shared", o);
  ASSERT_NE(db, nullptr);
  ASSERT_EQ(count(db), 2 * kEach);
  std::vector<Row> rows;
  std::map<int32_t, int> serials;
  std::vector<std::vector<bool>> seen(3, std::vector<bool>(kEach + 1, false));
  for (int32_t at = 0; at < 2 * kEach; ++at) {
    db->go_to(at);
    int32_t s = 0;
    ASSERT_EQ(db->serial(&s), 0);
    ++serials[s];
    int32_t tag = static_cast<int32_t>(int_of(db, 0)), seq = static_cast<int32_t>(int_of(db, 1));
    ASSERT_TRUE(tag == 1 || tag == 2);
    ASSERT_TRUE(seq >= 1 && seq <= kEach);
    EXPECT_FALSE(seen[size_t(tag)][size_t(seq)]);
    seen[size_t(tag)][size_t(seq)] = true;
    EXPECT_EQ(text_of(db, 2), std::string(600, char('a' + seq % 26))) << "memo of " << tag << "/" << seq;
  }
  EXPECT_EQ(serials.size(), size_t(2 * kEach)) << "serials unique";
  EXPECT_EQ(serials.begin()->first, 1);
  EXPECT_EQ(serials.rbegin()->first, 2 * kEach);
  IndexReport report;
  RecordSource records;
  ASSERT_EQ(records_in_file(db->file(), db->data_start(), db->record_length(), &records), 0);
  ASSERT_EQ(check_index(db->index(0).tree, 2 * kEach, &records, &report), 0);
  EXPECT_TRUE(report.ok()) << (report.faults.empty() ? "" : report.faults[0].what);
  EXPECT_EQ(report.entries, 2 * kEach) << "every append indexed";
  tool_args_["shared"] = "--index seq";
}

// The last round holds the database exclusively (share mode 4): its files are written
// through memory, which a killed process must not lose either.
TEST_F(Engine, KilledWhileAppendingKeepsEveryReturnedAppend) {
  ASSERT_EQ(create_database(dir_ + "killed", {{"tag", kInt, 0}, {"seq", kInt, 0}, {"m", kMemo, 0}}), 0);
  for (int round = 0; round < 3; ++round) {
    const std::string progress = dir_ + "progress" + std::to_string(round);
    kit::Process p(kit::bin_dir() + "db_appender.exe",
                   "\"" + dir_ + "killed\" " + std::to_string(round) + " 1000000 \"" + progress + "\" " +
                       std::to_string(300 + 450 * round) + (round == 2 ? " - 4" : ""));
    int32_t returned = 0;
    auto read_progress = [&] {
      HANDLE h = CreateFileA(progress.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
      DWORD done = 0;
      int32_t v = 0;
      if (h != INVALID_HANDLE_VALUE) {
        ReadFile(h, &v, 4, &done, nullptr);
        CloseHandle(h);
      }
      return done == 4 ? v : 0;
    };
    ASSERT_TRUE(kit::drive::wait_until([&] { return read_progress() >= 50 + 40 * round; }, 20000));
    Sleep(static_cast<DWORD>(7 * round));
    p.kill();
    p.wait(5000);
    returned = read_progress();
    // The killed process's handles may close a moment after it ends: opens wait for them.
    set_lock_retry_time(5000);
    // The tool's check passes, or names what the kill left, and repair mends it.
    std::string killed = "\"" + dir_ + "killed\"";
    DWORD checked = tool("check " + killed);
    EXPECT_TRUE(checked == 0 || checked == 1) << checked;
    if (checked == 1) {
      EXPECT_EQ(tool("repair " + killed), 0u);
      EXPECT_EQ(tool("check " + killed), 0u);
    }
    Database* db = open(dir_ + "killed");
    ASSERT_NE(db, nullptr);
    int32_t c = count(db);
    std::vector<bool> seen(size_t(c) + 2, false);
    int32_t mine = 0;
    for (int32_t at = 0; at < c; ++at) {
      db->go_to(at);
      if (int_of(db, 0) != round) continue;
      int32_t seq = static_cast<int32_t>(int_of(db, 1));
      if (seq >= 1 && seq <= c) seen[size_t(seq)] = true;
      ++mine;
      std::string memo;
      ASSERT_EQ(db->read_stored(2, memo), 0) << "round " << round << " seq " << seq;
    }
    for (int32_t seq = 1; seq <= returned; ++seq)
      ASSERT_TRUE(seen[size_t(seq)]) << "round " << round << ": append " << seq << " had returned";
    EXPECT_GE(mine, returned);
    // The database stays usable: another append and value after the kill.
    ASSERT_EQ(db->append_values({Value::of_int(kInt, 99), Value::of_int(kInt, 0), Value::of_bytes(kText, "after")}), 0);
    EXPECT_EQ(text_of(db, 2), "after");
    close_database(db);
  }
}

TEST_F(Engine, MutatedFilesGiveErrorsNeverACrash) {
  ASSERT_EQ(create_database(dir_ + "base", {{"n", kInt, 0}, {"t", kText, 10}, {"m", kMemo, 0}, {"b", kBytes, 0}}), 0);
  {
    Database* db = open(dir_ + "base");
    for (int i = 0; i < 30; ++i) {
      ASSERT_EQ(db->append_values({Value::of_int(kInt, i), Value::of_bytes(kText, "t" + std::to_string(i)),
                                   Value::of_bytes(kText, std::string(size_t(i) * 97, 'm')),
                                   Value::of_bytes(kBytes, std::string(size_t(i % 4) * 300, '\x7F'))}),
                0);
      if (i % 5 == 0) {
        ASSERT_EQ(db->set_deleted(true), 0);
      }
    }
    close_database(db);
  }
  auto bytes_of = [&](const std::string& name) {
    std::string s(static_cast<size_t>(size_of(name)), '\0');
    DbFile f;
    EXPECT_EQ(f.open(dir_ + name, false, Share::kAll), 0);
    EXPECT_EQ(f.read_exact(0, s.data(), static_cast<uint32_t>(s.size()), -1), 0);
    return s;
  };
  const std::string vdb = bytes_of("base.VDB"), vdt = bytes_of("base.VDT");
  auto put = [&](const std::string& name, const std::string& content) {
    DeleteFileA((dir_ + name).c_str());
    DbFile f;
    ASSERT_EQ(f.open(dir_ + name, true, Share::kAll, true), 0);
    ASSERT_EQ(f.write_at(0, content.data(), static_cast<uint32_t>(content.size())), 0);
  };
  std::mt19937 rng(777);
  int opened = 0, refused = 0;
  for (int round = 0; round < 120; ++round) {
    std::string a = vdb, b = vdt;
    std::string& target = round % 3 == 2 ? b : a;
    for (int k = 1 + int(rng() % 6); k > 0; --k) {
      size_t at = rng() % 2 ? rng() % std::min<size_t>(target.size(), 700) : rng() % target.size();
      target[at] = static_cast<char>(rng() % 4 == 0 ? 0xFF : rng());
    }
    if (round % 7 == 6) a.resize(rng() % a.size());  // cut somewhere
    put("fz.VDB", a);
    put("fz.VDT", b);
    for (bool read_only : {true, false}) {
      OpenOptions o;
      o.read_only = read_only;
      o.share = 4;
      int32_t rc = 0;
      Database* db = open(dir_ + "fz", o, &rc);
      if (!db) {
        EXPECT_LT(rc, 0);
        ++refused;
        continue;
      }
      ++opened;
      int32_t c = 0;
      db->record_count(&c);
      for (int32_t r = 0; r < std::min(c, 40); ++r) {
        db->go_to(r);
        for (int32_t f = 0; f < db->field_count(); ++f) {
          Value v;
          db->read_field(f, v);
        }
      }
      if (!read_only) {
        db->go_first();
        db->write_field(2, Value::of_bytes(kText, std::string(700, 'w')));
        db->append_values({Value::of_int(kInt, 1)});
        db->pack();
      }
      close_database(db);
    }
    if (round % 40 == 0) {
      DWORD code = tool("check \"" + dir_ + "fz\"");
      EXPECT_TRUE(code == 0 || code == 1 || code == 2) << "round " << round << ": " << code;
      if (code == 1) {
        code = tool("repair \"" + dir_ + "fz\"");
        EXPECT_TRUE(code == 0 || code == 1 || code == 2) << "round " << round << ": repair " << code;
      }
    }
  }
  EXPECT_GT(opened, 0);
  EXPECT_GT(refused, 0);
  tool_args_["fz"] = "skip";
}

TEST_F(Engine, SeekTakesOneValuePerKeyPartAndCutsTexts) {
  ASSERT_EQ(create_database(dir_ + "s", {{"code", kText, 4}, {"n", kShort, 0}, {"ok", kBool, 0}}), 0);
  Database* db = open(dir_ + "s");
  bool found = false;
  EXPECT_EQ(db->seek({Value::of_bytes(kText, "x")}, &found), -69) << "no current index";
  ASSERT_EQ(db->create_index({"s", {"code", "n", "ok"}, 0, 0, 1}), 0);
  for (int i = 0; i < 6; ++i)
    ASSERT_EQ(db->append_values({Value::of_bytes(kText, i < 3 ? "ABCD" : "ABCE"), Value::of_int(kShort, i % 2),
                                 Value::of_bool(i >= 4)}),
              0);
  struct Case { std::vector<Value> key; int32_t code; bool found; int32_t record; const char* what; } cases[] = {
      {{Value::of_bytes(kText, "ABCDEFG"), Value::of_int(kInt, 1), Value::of_bool(false)}, 0, true, 1,
       "a text longer than the field is cut to it"},
      {{Value::of_bytes(kText, "ABCE"), Value::of_number(kDouble, 0.9), Value::of_bool(true)}, 0, true, 4,
       "a double converts to the short key part"},
      {{Value::of_bytes(kText, "ABC"), Value::of_int(kInt, 0), Value::of_bool(false)}, 0, false, -1, "a shorter text is zero-filled"},
      {{Value::of_bytes(kText, "ABCD"), Value::of_int(kInt, 0)}, -73, false, -1, "one value missing"},
      {{Value::of_bytes(kText, "ABCD"), Value::of_bytes(kText, "0"), Value::of_bool(false)}, -72, false, -1,
       "a text for a number"},
  };
  for (const Case& c : cases) {
    db->go_first();
    found = false;
    EXPECT_EQ(db->seek(c.key, &found), c.code) << c.what;
    EXPECT_EQ(found, c.found) << c.what;
    EXPECT_EQ(db->current(), c.found ? c.record : 0) << c.what;
  }
  // From the current record on: a second seek from past the first match finds the next one.
  db->go_to(1);
  ASSERT_EQ(db->seek({Value::of_bytes(kText, "ABCD"), Value::of_int(kShort, 0), Value::of_bool(false)}, &found), 0);
  EXPECT_TRUE(found);
  EXPECT_EQ(db->current(), 2);
  tool_args_["s"] = "--index s";
}

TEST_F(Engine, ShareModesKeepOtherOpensOut) {
  ASSERT_EQ(create_database(dir_ + "sh", {{"x", kInt, 0}, {"m", kMemo, 0}}), 0);
  // What another open (a second handle, as another process would hold) may do while the
  // database is open with each share mode, for reading and for writing (an open for writing
  // reads too, so deny-read keeps it out as well).
  struct Case { int32_t share; bool read_only; int32_t other_read, other_write; } cases[] = {
      {1, false, 0, 0},     {2, false, -12, -12}, {3, false, 0, -12},
      {4, false, -12, -12}, {3, true, 0, -12},    {1, true, 0, 0},
  };
  for (const Case& c : cases) {
    OpenOptions o;
    o.share = c.share;
    o.read_only = c.read_only;
    Database* db = open(dir_ + "sh", o);
    ASSERT_NE(db, nullptr);
    for (const char* file : {"sh.VDB", "sh.VDT"}) {
      DbFile other;
      EXPECT_EQ(other.open(dir_ + file, false, Share::kAll), c.other_read) << file << " share " << c.share;
      other.close();
      EXPECT_EQ(other.open(dir_ + file, true, Share::kAll), c.other_write) << file << " share " << c.share;
    }
    if (!c.read_only) EXPECT_EQ(db->append_values({Value::of_int(kInt, c.share), Value::of_bytes(kText, "m")}), 0);
    else EXPECT_NE(db->append_blank(), 0) << "a read-only open writes nothing";
    close_database(db);
  }
  Database* db = open(dir_ + "sh");
  int32_t c = 0;
  ASSERT_EQ(db->record_count(&c), 0);
  EXPECT_EQ(c, 4);
}
