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
#include "database/indexes.h"
#include "database/lock_retry.h"
#include "kit.h"
#include "scratch_dir.h"

namespace {

using namespace database;

class Engine : public ScratchDirTest {
 protected:
  void TearDown() override {
    close_all_databases();
    set_lock_retry_time(0);
    set_password_asker(nullptr);
    ScratchDirTest::TearDown();
  }
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
