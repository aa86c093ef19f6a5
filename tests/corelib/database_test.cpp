// The database commands through the command entry, as compiled code calls them: field
// definitions as the array of field information blocks, conditions and value expressions as
// sub-statements (routines of this test that evaluate a C++ function per record), results as
// the commands give them, and the last error after each.
#include <windows.h>
#include <gtest/gtest.h>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>
#include "call.h"
#include "database/engine.h"
#include "database/errors.h"
#include "scratch.h"
#include "../kit/kit.h"

using namespace calls;
using namespace runtime;

namespace {

enum Slot {
  kLastError = 337, kLastErrorText = 338, kCreate = 339, kOpen = 340, kOpenClosing = 341,
  kSetCurrent = 342, kCurrentName = 343, kClose = 344, kCloseAll = 345, kCurrentPath = 346,
  kIsOpen = 347, kCount = 348, kFieldCount = 350, kFieldName = 351, kRenameField = 352,
  kFieldType = 353, kFieldSize = 354, kCreateIndex = 355, kSetIndex = 356, kIndexName = 357,
  kIndexCount = 359, kIndexNameOf = 360, kIndexFields = 361, kLockDb = 363, kUnlockDb = 364,
  kAverage = 370, kSum = 371, kMaximum = 372, kMinimum = 373, kLatest = 374, kEarliest = 375,
  kCountWhere = 376, kCopyStructure = 377, kCopyRecords = 378, kSortRecords = 379,
  kSortByFields = 380, kSortByFieldsDown = 381, kAppendFrom = 382, kAppendValues = 383,
  kAppendBlank = 384, kModify = 385, kWriteValues = 386, kDelete = 387, kIsDeleted = 388,
  kUndelete = 389, kPack = 390, kClear = 391, kRead = 392, kWrite = 393, kReadOf = 394,
  kWriteOf = 395, kAddBytes = 396, kAddMemo = 397, kSeek = 398, kFind = 399, kFirst = 400,
  kLast = 401, kSkip = 402, kRecordNumber = 403, kGoTo = 404, kSerial = 405,
  kSerialExists = 406, kGoToSerial = 407, kBeforeFirst = 408, kAfterLast = 409,
  kIsProtected = 567, kSetPassword = 568, kCopyPassword = 570,
};

uint32_t addr(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

// ---- Field definitions: an array of addresses of {name, type, size} blocks -------------------

struct FieldInfo {
  uint32_t name, type, size;
};
std::deque<std::string> g_names;
std::deque<FieldInfo> g_infos;
std::deque<std::vector<uint32_t>> g_arrays;

ArgRecord fields(std::initializer_list<std::tuple<const char*, int, int>> list) {
  std::vector<uint32_t> block = {1, static_cast<uint32_t>(list.size())};
  for (auto [name, type, size] : list) {
    g_names.emplace_back(name);
    g_infos.push_back({addr(g_names.back().c_str()), static_cast<uint32_t>(type), static_cast<uint32_t>(size)});
    block.push_back(addr(&g_infos.back()));
  }
  g_arrays.push_back(block);
  return {addr(g_arrays.back().data()), 0, 0x00010022u | kArrayBit};
}

ArgRecord texts(std::initializer_list<const char*> list) {
  std::vector<uint32_t> block = {1, static_cast<uint32_t>(list.size())};
  for (const char* t : list) {
    g_names.emplace_back(t);
    block.push_back(addr(g_names.back().c_str()));
  }
  g_arrays.push_back(block);
  return {addr(g_arrays.back().data()), 0, kTypeText | kArrayBit};
}

// ---- Sub-statements: a routine that evaluates a C++ function given as its context word ------

using Expression = std::function<ArgRecord()>;
std::deque<Expression> g_expressions;

extern "C" void __cdecl db_test_evaluate(Expression* e, ArgRecord* out) asm("db_test_evaluate");
void __cdecl db_test_evaluate(Expression* e, ArgRecord* out) { *out = (*e)(); }
extern "C" void db_test_substmt() asm("db_test_substmt");
asm(R"(
    .text
db_test_substmt:
    subl  $12, %esp
    movl  %esp, %ecx
    pushl %ecx
    pushl %eax
    call  db_test_evaluate
    addl  $8, %esp
    movl  (%esp), %eax
    movl  4(%esp), %edx
    movl  8(%esp), %ecx
    addl  $12, %esp
    ret
)");

ArgRecord expr(Expression e) {
  g_expressions.push_back(std::move(e));
  return {addr(reinterpret_cast<const void*>(&db_test_substmt)), addr(&g_expressions.back()), kTypeSubStmt};
}

// Field values of the record at hand, read with the read field command.
int32_t int_field(const char* name) { return int32_t(call(kRead, {Text(name)}).lo); }
double double_field(const char* name) { return as_double(call(kRead, {Text(name)})); }
std::string text_field(const char* name) { return take_text(call(kRead, {Text(name)})).value_or(""); }

ArgRecord where(std::function<bool()> test) { return expr([test] { return Bool(test()); }); }

int32_t last_error() { return int32_t(call(kLastError, {}).lo); }

// Visits every record from the first on.
void each_record(const std::function<void()>& visit) {
  call(kFirst, {});
  while (!call(kAfterLast, {}).lo && call(kCount, {}).lo) {
    visit();
    call(kSkip, {});
  }
}
bool ok(const ArgRecord& r) { return r.lo != 0; }

class DatabaseCommands : public ::testing::Test {
 protected:
  void SetUp() override { call(kCloseAll, {}); }
  void TearDown() override { call(kCloseAll, {}); }
  std::string path(const std::string& name) const { return folder_.path() + "\\" + name; }

  // 数据 (goods): n int, 名称 text 8, price double, when date-time, note memo, raw bytes.
  void make_goods() {
    ASSERT_TRUE(ok(call(kCreate, {Text(path("货物")), fields({{"n", 3, 0}, {"名称", 10, 8}, {"price", 6, 0},
                                                                  {"when", 8, 0}, {"note", 12, 0}, {"raw", 11, 0}})})));
    ASSERT_TRUE(ok(call(kOpen, {Text(path("货物")), Text("goods")})));
    const struct { int n; const char* name; double price, when; } rows[] = {
        {3, "苹果", 2.5, 46000}, {1, "梨", 9.0, 46002}, {2, "桃子", 4.0, 45990}, {5, "杏", 9.0, 46001},
    };
    for (const auto& r : rows)
      ASSERT_TRUE(ok(call(kAppendValues, {Int(r.n), Text(r.name), Double(r.price), Date(r.when)})))
          << last_error();
  }

  scratch::Folder folder_{"db_commands"};
};

}  // namespace

TEST_F(DatabaseCommands, CreateOpenFieldsAndNavigation) {
  make_goods();
  EXPECT_EQ(last_error(), 0);
  EXPECT_EQ(call(kCount, {}).lo, 4u);
  EXPECT_EQ(take_text(call(kCurrentName, {})), "goods");
  EXPECT_TRUE(ok(call(kIsOpen, {Text("goods")})));
  EXPECT_NE(take_text(call(kCurrentPath, {})).value_or("").find("货物.VDB"), std::string::npos);

  EXPECT_EQ(call(kFieldCount, {}).lo, 6u);
  struct { ArgRecord field; const char* name; uint32_t type, size; } info[] = {
      {Text("N"), "n", 3, 4}, {Int(2), "名称", 10, 8}, {Double(3.9), "price", 6, 8}, {Text("when"), "when", 8, 8},
      {Int(5), "note", 12, 4}, {Text("raw"), "raw", 11, 4},
  };
  for (const auto& i : info) {
    EXPECT_EQ(take_text(call(kFieldName, {i.field})), i.name);
    EXPECT_EQ(call(kFieldType, {i.field}).lo, i.type) << i.name;
    EXPECT_EQ(call(kFieldSize, {i.field}).lo, i.size) << i.name;
  }
  EXPECT_EQ(take_text(call(kFieldName, {Int(7)})), std::nullopt);
  EXPECT_EQ(last_error(), -61);

  // Navigation: 1-based numbers, skip past either end fails, serials.
  call(kFirst, {});
  EXPECT_EQ(call(kRecordNumber, {}).lo, 1u);
  EXPECT_EQ(int_field("n"), 3);
  EXPECT_EQ(text_field("名称"), "苹果");
  EXPECT_TRUE(ok(call(kSkip, {Int(-1)})));  // lands before the first record
  EXPECT_TRUE(ok(call(kBeforeFirst, {})));
  EXPECT_EQ(call(kRecordNumber, {}).lo, 0u);
  EXPECT_FALSE(ok(call(kSkip, {Int(-1)})));  // a second time fails
  EXPECT_EQ(last_error(), -25);
  EXPECT_TRUE(ok(call(kGoTo, {Int(3)})));
  EXPECT_EQ(int_field("n"), 2);
  EXPECT_TRUE(ok(call(kSkip, {})));
  EXPECT_EQ(call(kSerial, {}).lo, 4u);
  EXPECT_TRUE(ok(call(kSkip, {Int(5)})));  // lands after the last record
  EXPECT_TRUE(ok(call(kAfterLast, {})));
  EXPECT_EQ(call(kRecordNumber, {}).lo, 5u);
  EXPECT_FALSE(ok(call(kSkip, {})));
  EXPECT_EQ(last_error(), -26);
  EXPECT_TRUE(ok(call(kSerialExists, {Int(2)})));
  EXPECT_FALSE(ok(call(kSerialExists, {Int(9)})));
  EXPECT_TRUE(ok(call(kGoToSerial, {Int(2)})));
  EXPECT_EQ(text_field("名称"), "梨");

  // Memo and byte-set fields grow by adding.
  EXPECT_TRUE(ok(call(kAddMemo, {Text("note"), Text("第一"), Text("，第二")})));
  EXPECT_TRUE(ok(call(kAddMemo, {Text("note"), Text("。")})));
  EXPECT_EQ(text_field("note"), "第一，第二。");
  EXPECT_TRUE(ok(call(kAddBytes, {Text("raw"), Bin(std::string(600, 'x')), Bin("yz")})));
  EXPECT_EQ(take_bin(call(kRead, {Text("raw")})), std::string(600, 'x') + "yz");
  EXPECT_FALSE(ok(call(kAddMemo, {Text("raw"), Text("a")})));
  EXPECT_EQ(last_error(), -70);

  // A failed open leaves its code and text as the last error; the current database stays.
  EXPECT_FALSE(ok(call(kOpen, {Text(path("没有"))})));
  int32_t code = last_error();
  EXPECT_LT(code, 0);
  EXPECT_EQ(take_text(call(kLastErrorText, {})), database::error_text(code));
  EXPECT_EQ(take_text(call(kCurrentName, {})), "goods");
  call(kClose, {});
  EXPECT_EQ(call(kCount, {}).lo, 0u);
  EXPECT_EQ(last_error(), -67);
  EXPECT_FALSE(ok(call(kIsOpen, {Text("goods")})));
}

TEST_F(DatabaseCommands, WriteFieldTypeRulesAndValuesInFieldOrder) {
  make_goods();
  call(kFirst, {});
  EXPECT_FALSE(ok(call(kWrite, {Text("n"), Text("12")})));
  EXPECT_EQ(last_error(), -72);
  EXPECT_TRUE(ok(call(kWrite, {Text("n"), Float(7.75f)})));  // numbers convert
  EXPECT_EQ(int_field("n"), 7);
  EXPECT_TRUE(ok(call(kWrite, {Text("price"), Int(12)})));
  EXPECT_EQ(double_field("price"), 12.0);
  EXPECT_TRUE(ok(call(kWrite, {Int(2), Omit()})));  // an omitted value writes the empty one
  EXPECT_EQ(text_field("名称"), "");

  // Another open database's fields, by its name.
  ASSERT_TRUE(ok(call(kCreate, {Text(path("小表")), fields({{"k", 1, 0}})})));
  ASSERT_TRUE(ok(call(kOpen, {Text(path("小表"))})));
  EXPECT_TRUE(ok(call(kAppendBlank, {})));
  EXPECT_TRUE(ok(call(kWriteOf, {Text("price"), Text("goods"), Double(0.5)})));
  EXPECT_EQ(as_double(call(kReadOf, {Text("price"), Text("goods")})), 0.5);
  EXPECT_EQ(call(kRead, {Text("k")}).lo, 0u);
  EXPECT_TRUE(ok(call(kSetCurrent, {Text("goods")})));

  // Write values: in field order, as many as given; a mismatch stops with -72.
  EXPECT_TRUE(ok(call(kWriteValues, {Int(40), Text("李子")})));
  EXPECT_EQ(int_field("n"), 40);
  EXPECT_EQ(text_field("名称"), "李子");
  EXPECT_FALSE(ok(call(kWriteValues, {Text("x")})));
  EXPECT_EQ(last_error(), -72);
  EXPECT_FALSE(ok(call(kAppendValues, {Int(1), Int(2)})));
  EXPECT_EQ(call(kCount, {}).lo, 4u) << "a refused append adds nothing";
}

TEST_F(DatabaseCommands, AggregatesOverConditions) {
  make_goods();
  call(kGoTo, {Int(2)});
  ArgRecord price = expr([] { return Double(double_field("price")); });
  ArgRecord when = expr([] { return Date(double_field("when")); });
  EXPECT_EQ(as_double(call(kSum, {price})), 24.5);
  EXPECT_EQ(as_double(call(kAverage, {price})), 24.5 / 4);
  EXPECT_EQ(call(kRecordNumber, {}).lo, 2u) << "sums and averages put the current record back";
  EXPECT_EQ(as_double(call(kAverage, {price, where([] { return int_field("n") == 2; })})), 4.0);
  EXPECT_EQ(as_double(call(kAverage, {price, where([] { return false; })})), 0.0);
  EXPECT_EQ(call(kCountWhere, {where([] { return false; })}).lo, 0u);
  EXPECT_EQ(call(kCountWhere, {where([] { return double_field("price") > 3; })}).lo, 3u);

  // The extremes leave the current record on the first record that holds them.
  EXPECT_EQ(as_double(call(kMaximum, {price})), 9.0);
  EXPECT_EQ(call(kRecordNumber, {}).lo, 2u);
  EXPECT_EQ(as_double(call(kMinimum, {price})), 2.5);
  EXPECT_EQ(call(kRecordNumber, {}).lo, 1u);
  EXPECT_EQ(as_double(call(kLatest, {when})), 46002.0);
  EXPECT_EQ(call(kRecordNumber, {}).lo, 2u);
  EXPECT_EQ(as_double(call(kEarliest, {when})), 45990.0);
  EXPECT_EQ(call(kRecordNumber, {}).lo, 3u);
}

TEST_F(DatabaseCommands, DeleteModifyFindPackAndAppendFromAnother) {
  make_goods();
  EXPECT_TRUE(ok(call(kDelete, {where([] { return double_field("price") == 9.0; })})));
  call(kGoTo, {Int(2)});
  EXPECT_TRUE(ok(call(kIsDeleted, {})));
  EXPECT_TRUE(ok(call(kUndelete, {})));  // the current record only
  EXPECT_FALSE(ok(call(kIsDeleted, {})));

  // Modify by condition: every record it holds for, each value evaluated for that record.
  EXPECT_TRUE(ok(call(kModify, {where([] { return int_field("n") < 3; }), Text("price"),
                                expr([] { return Double(double_field("price") * 10); })})));
  std::vector<double> prices;
  each_record([&] { prices.push_back(double_field("price")); });
  EXPECT_EQ(prices, (std::vector<double>{2.5, 90.0, 40.0, 9.0}));
  EXPECT_FALSE(ok(call(kModify, {Omit(), Text("没有"), Int(1)})));
  EXPECT_EQ(last_error(), -61);

  // Find from the current record on.
  call(kFirst, {});
  EXPECT_TRUE(ok(call(kFind, {where([] { return double_field("price") > 30; })})));
  EXPECT_EQ(call(kRecordNumber, {}).lo, 2u);

  // Pack drops the one still deleted (杏).
  EXPECT_TRUE(ok(call(kPack, {})));
  EXPECT_EQ(call(kCount, {}).lo, 3u);

  // Append from another database: fields by name, missing ones empty.
  ASSERT_TRUE(ok(call(kCreate, {Text(path("进货")), fields({{"名称", 10, 20}, {"n", 6, 0}, {"extra", 3, 0}})})));
  ASSERT_TRUE(ok(call(kOpen, {Text(path("进货")), Text("incoming")})));
  ASSERT_TRUE(ok(call(kAppendValues, {Text("很长的名字在这里"), Double(8.9), Int(1)})));
  ASSERT_TRUE(ok(call(kAppendValues, {Text("枣"), Double(11), Int(2)})));
  EXPECT_TRUE(ok(call(kSetCurrent, {Text("goods")})));
  EXPECT_TRUE(ok(call(kAppendFrom, {Text("incoming"), where([] {
    return call(kReadOf, {Text("extra"), Text("incoming")}).lo == 2; })})));
  EXPECT_EQ(call(kCount, {}).lo, 4u);
  call(kLast, {});
  EXPECT_EQ(int_field("n"), 11);
  EXPECT_EQ(text_field("名称"), "枣");
  EXPECT_EQ(double_field("price"), 0.0);
  EXPECT_TRUE(ok(call(kClear, {})));
  EXPECT_EQ(call(kCount, {}).lo, 0u);
}

TEST_F(DatabaseCommands, CopiesRenumberAndSortsOrder) {
  make_goods();
  call(kGoTo, {Int(2)});
  call(kDelete, {});
  call(kGoTo, {Int(3)});
  // Copy records with a condition and chosen fields (an unknown name is skipped).
  EXPECT_TRUE(ok(call(kCopyRecords, {Text(path("副本")), where([] { return int_field("n") != 2; }),
                                     Text("名称"), Text("没有"), Text("n")})));
  EXPECT_EQ(call(kRecordNumber, {}).lo, 3u) << "the current record is put back";
  EXPECT_FALSE(ok(call(kCopyRecords, {Text(path("副本"))}))) << "an existing file is not overwritten";
  ASSERT_TRUE(ok(call(kOpen, {Text(path("副本")), Text("copy")})));
  EXPECT_EQ(call(kFieldCount, {}).lo, 2u);
  EXPECT_EQ(take_text(call(kFieldName, {Int(1)})), "名称");
  std::vector<std::string> names;
  std::vector<uint32_t> serials, deleted;
  each_record([&] {
    names.push_back(text_field("名称"));
    serials.push_back(call(kSerial, {}).lo);
    deleted.push_back(call(kIsDeleted, {}).lo);
  });
  EXPECT_EQ(names, (std::vector<std::string>{"苹果", "梨", "杏"}));
  EXPECT_EQ(serials, (std::vector<uint32_t>{1, 2, 3}));
  EXPECT_EQ(deleted, (std::vector<uint32_t>{0, 1, 0})) << "the deleted mark is kept";

  // Sort by an expression, descending, all fields, memo values copied.
  call(kSetCurrent, {Text("goods")});
  call(kFirst, {});
  call(kAddMemo, {Text("note"), Text("备注")});
  EXPECT_TRUE(ok(call(kSortRecords, {Text(path("排序")), expr([] { return Int(int_field("n")); }), Bool(false)})));
  ASSERT_TRUE(ok(call(kOpen, {Text(path("排序"))})));
  std::vector<int32_t> order;
  each_record([&] { order.push_back(int_field("n")); });
  EXPECT_EQ(order, (std::vector<int32_t>{5, 3, 2, 1}));
  call(kGoTo, {Int(2)});
  EXPECT_EQ(text_field("note"), "备注");

  // Sort by key fields: price ascending, then name.
  call(kSetCurrent, {Text("goods")});
  EXPECT_TRUE(ok(call(kSortByFields, {Text(path("按键")), texts({"price", "名称"})})));
  EXPECT_TRUE(ok(call(kSortByFieldsDown, {Text(path("按键降")), Text("n"), Omit(), Text("n")})));
  EXPECT_FALSE(ok(call(kSortByFields, {Text(path("不行")), Text("note")})));
  EXPECT_EQ(last_error(), -71);
  ASSERT_TRUE(ok(call(kOpen, {Text(path("按键"))})));
  std::vector<std::string> by_key;
  each_record([&] { by_key.push_back(text_field("名称")); });
  EXPECT_EQ(by_key, (std::vector<std::string>{"苹果", "桃子", "梨", "杏"}));
  ASSERT_TRUE(ok(call(kOpen, {Text(path("按键降"))})));
  EXPECT_EQ(call(kFieldCount, {}).lo, 1u);
  call(kFirst, {});
  EXPECT_EQ(int_field("n"), 5);
}

TEST_F(DatabaseCommands, IndexesSeekLocksAndPasswords) {
  make_goods();
  EXPECT_TRUE(ok(call(kCreateIndex, {Text(path("按号")), Int(0), Int(0), Int(1), Text("n")})));
  EXPECT_EQ(call(kIndexCount, {}).lo, 1u);
  EXPECT_EQ(take_text(call(kIndexNameOf, {Int(1)})), "按号");
  EXPECT_EQ(take_array(call(kIndexFields, {Int(1)}), true), (std::vector<std::optional<std::string>>{"n"}));
  EXPECT_TRUE(ok(call(kSetIndex, {Text("按号")})));
  EXPECT_EQ(take_text(call(kIndexName, {})), "按号");
  call(kFirst, {});  // a seek finds records from the current one on
  EXPECT_TRUE(ok(call(kSeek, {Int(2)})));
  EXPECT_EQ(text_field("名称"), "桃子");
  EXPECT_FALSE(ok(call(kSeek, {Int(1)}))) << "key 1 lies before the current record";
  EXPECT_EQ(text_field("名称"), "桃子") << "not found: the current record stays";
  call(kFirst, {});
  EXPECT_TRUE(ok(call(kSeek, {Double(1.0)})));
  EXPECT_EQ(text_field("名称"), "梨");
  EXPECT_FALSE(ok(call(kSeek, {Int(4)})));
  EXPECT_FALSE(ok(call(kSeek, {Int(1), Int(2)})));
  EXPECT_EQ(last_error(), -73);
  EXPECT_FALSE(ok(call(kSetIndex, {Text("没有")})));
  EXPECT_EQ(last_error(), -68);

  EXPECT_TRUE(ok(call(kLockDb, {})));
  EXPECT_TRUE(ok(call(kRenameField, {Text("price"), Text("价格")}))) << last_error();
  EXPECT_TRUE(ok(call(kUnlockDb, {})));
  EXPECT_FALSE(ok(call(kRenameField, {Text("价格"), Text("price")})));
  EXPECT_EQ(last_error(), -74) << "renaming needs exclusive access";

  // A password: the copy of a protected database keeps its cipher and digest.
  EXPECT_FALSE(ok(call(kIsProtected, {Text("goods")})));
  EXPECT_TRUE(ok(call(kSetPassword, {Text("芝麻开门")})));
  EXPECT_TRUE(ok(call(kIsProtected, {Text("goods")})));
  EXPECT_TRUE(ok(call(kCopyStructure, {Text(path("结构"))})));
  call(kClose, {Text("goods")});
  EXPECT_FALSE(ok(call(kOpen, {Text(path("结构")), Omit(), Omit(), Omit(), Omit(), Text("错的")})));
  EXPECT_EQ(last_error(), -78);
  ASSERT_TRUE(ok(call(kOpen, {Text(path("结构")), Omit(), Omit(), Omit(), Omit(), Text("芝麻开门")})));
  EXPECT_EQ(call(kCount, {}).lo, 0u);
  EXPECT_EQ(call(kFieldCount, {}).lo, 6u);
  ASSERT_TRUE(ok(call(kCreate, {Text(path("空的")), fields({{"a", 3, 0}})})));
  ASSERT_TRUE(ok(call(kOpenClosing, {Text(path("空的"))})));
  EXPECT_FALSE(ok(call(kIsOpen, {Text("结构")}))) << "the previous current database was closed";
}

// A condition that raises a run-time error in the middle of a modify ends the program through
// the error dialog; the files it leaves pass the database tool's check.
TEST_F(DatabaseCommands, ExpressionRaisingMidScanLeavesConsistentFiles) {
  kit::Ending e = kit::run_to_end(kit::bin_dir() + "corelib_probe.exe", "db-raise " + folder_.path(), 1);
  EXPECT_EQ(e.exit_code, static_cast<DWORD>(-1));
  ASSERT_FALSE(e.dialogs.empty());
  EXPECT_NE(e.dialogs[0].text.find("“参考”命令已不再支持"), std::string::npos) << e.dialogs[0].text;
  std::string base = folder_.path() + "\\表";
  EXPECT_EQ(kit::run(kit::bin_dir() + "..\\..\\bin\\vdbtool.exe",
                     "check \"" + base + "\" --index \"" + base + "_n\"", 20000), 0u);
  // The records before the 20th took the new value, the rest kept theirs; the index agrees.
  ASSERT_TRUE(ok(call(kOpen, {Text(base), Omit(), Omit(), Omit(), Omit(), Omit(), Text(base + "_n")})));
  EXPECT_EQ(call(kCountWhere, {where([] { return int_field("n") == 1000; })}).lo, 19u);
  call(kSetIndex, {Text("表_n")});
  call(kFirst, {});
  EXPECT_TRUE(ok(call(kSeek, {Int(1000)})));
  EXPECT_TRUE(ok(call(kSeek, {Int(25)})));
}
