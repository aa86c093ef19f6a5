// The external database and database provider units against a real ODBC driver: the SQLite
// driver of the host, reached through the platform's driver manager, on database files in a
// scratch folder. Every call goes through the core library's command slots or the unit's
// properties, and the provider module "sqlbridge.vsx" beside this program.
#include <windows.h>
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include "../corelib/call.h"
#include "unit_window.h"

namespace {

using calls::Bin;
using calls::Bool;
using calls::Int;
using calls::Omit;
using calls::Text;
using runtime::ArgRecord;
using namespace extdata_test;

enum Slot {
  kConnect = 539, kDisconnect, kConnectString, kBegin, kRollback, kCommit, kOpenSet, kRequery,
  kCloseSet, kBof, kEof, kFirst, kLast, kPrevious, kNext, kRead, kExecute,
};

// The folder (a host path) where the tests keep their database files.
std::string scratch() {
  char buf[1024];
  DWORD n = GetEnvironmentVariableA("ORVEL_ODBC_SCRATCH", buf, sizeof buf);
  return n && n < sizeof buf ? std::string(buf, n) : std::string();
}

std::string sqlite(const std::string& file) {
  return "DRIVER=SQLite3;Database=" + scratch() + "/" + file;
}

class RealDriver : public UnitWindow {
 protected:
  void SetUp() override {
    ASSERT_FALSE(scratch().empty()) << "ORVEL_ODBC_SCRATCH is not set";
    UnitWindow::SetUp();
  }
  static bool yes(int slot, std::initializer_list<ArgRecord> args) {
    std::vector<ArgRecord> all{db()};
    all.insert(all.end(), args);
    return calls::call(slot, all).lo != 0;
  }
  // Connects to a fresh table `t` of `file` with the given columns.
  void fresh(const std::string& file, const std::string& columns) {
    ASSERT_TRUE(yes(kConnect, {Text(sqlite(file))}));
    ASSERT_TRUE(yes(kExecute, {Text("drop table if exists t")}));
    ASSERT_TRUE(yes(kExecute, {Text("create table t(" + columns + ")")}));
  }
  static ArgRecord read(const std::string& set, ArgRecord column) {
    return calls::call(kRead, {db(), Text(set), column});
  }
  static std::string read_text(const std::string& set, ArgRecord column) {
    ArgRecord r = read(set, column);
    EXPECT_EQ(r.type, runtime::kTypeText);
    return calls::take_text(r).value_or("");
  }
  static int read_int(const std::string& set, const std::string& column) {
    ArgRecord r = read(set, Text(column));
    EXPECT_EQ(r.type, runtime::kTypeInt) << column;
    return static_cast<int32_t>(r.lo);
  }
  static int count(const std::string& where = "") {
    EXPECT_TRUE(yes(kOpenSet, {Text("select count(*) as n from t" + where), Text("count")}));
    return read_int("count", "n");
  }
};

std::string long_gbk_text() {
  std::string s = "a";  // an odd start: double-byte characters straddle every even boundary
  while (s.size() < 70000) s += "汉字ab中";
  return s;
}

double ole_date(int y, int mo, int d, int h, int mi, int s) {
  SYSTEMTIME t{static_cast<WORD>(y), static_cast<WORD>(mo), 0, static_cast<WORD>(d),
               static_cast<WORD>(h), static_cast<WORD>(mi), static_cast<WORD>(s), 0};
  FILETIME f;
  SystemTimeToFileTime(&t, &f);
  uint64_t ticks = (static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
  return static_cast<double>(ticks) / 864000000000.0 - 109205.0;  // 1601-01-01 is day -109205
}

TEST_F(RealDriver, ColumnsOfEveryKindByNameAndNumber) {
  fresh("kinds.db",
        "id integer, name varchar(300), note text, data blob, price double, ratio real, "
        "flag bit, born timestamp, small smallint, tiny tinyint");
  const std::string note = long_gbk_text();
  const std::string bytes("\x00\x01\xFF\x5C\x00", 5);
  ASSERT_TRUE(yes(kExecute, {Text("insert into t values(1, ?, ?, ?, 12.5, 0.25, 1, "
                                  "'2024-02-29 13:45:10', -300, 200)"),
                             Text("张三"), Int(99), Text(note), Bin(bytes)}));
  ASSERT_TRUE(yes(kExecute, {Text("insert into t(id) values(2)")}));
  ASSERT_TRUE(yes(kOpenSet, {Text("select * from t order by id"), Text("rs")}));

  struct Case { const char* name; int number; uint32_t type; };
  const Case cases[] = {
      {"id", 1, runtime::kTypeInt},       {"name", 2, runtime::kTypeText},
      {"note", 3, runtime::kTypeText},    {"data", 4, runtime::kTypeBin},
      // This driver reports REAL columns as SQL_DOUBLE (the float kind is checked with the
      // recording provider).
      {"price", 5, runtime::kTypeDouble}, {"ratio", 6, runtime::kTypeDouble},
      {"flag", 7, runtime::kTypeBool},    {"born", 8, runtime::kTypeDateTime},
      {"small", 9, runtime::kTypeShort},  {"tiny", 10, runtime::kTypeByte},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (ArgRecord column : {Text(c.name), Int(c.number)}) {
      ArgRecord r = read("rs", column);
      ASSERT_EQ(r.type, c.type);
      switch (c.number) {
        case 1: EXPECT_EQ(r.lo, 1u); break;
        case 2: EXPECT_EQ(calls::take_text(r), "张三"); break;
        case 3: EXPECT_EQ(calls::take_text(r), note); break;
        case 4: EXPECT_EQ(calls::take_bin(r), bytes); break;
        case 5: EXPECT_EQ(calls::as_double(r), 12.5); break;
        case 6: EXPECT_EQ(calls::as_double(r), 0.25); break;
        case 7: EXPECT_EQ(r.lo, 1u); break;
        case 8: EXPECT_NEAR(calls::as_double(r), ole_date(2024, 2, 29, 13, 45, 10), 1e-9); break;
        case 9: EXPECT_EQ(static_cast<int16_t>(r.lo), -300); break;
        case 10: EXPECT_EQ(r.lo, 200u); break;
      }
    }
  }
  // Column names ignore case; a name or number that is not there reads as an empty text.
  EXPECT_EQ(read_text("rs", Text("NAME")), "张三");
  for (ArgRecord missing : {Text("nothing"), Int(0), Int(11), Int(-3), Omit()})
    EXPECT_EQ(read_text("rs", missing), "");
  EXPECT_EQ(read_text("no such set", Int(1)), "");

  // The second row: NULL in every column but the first reads as an empty text.
  ASSERT_TRUE(yes(kNext, {Text("rs")}));
  EXPECT_EQ(read_int("rs", "id"), 2);
  for (int n = 2; n <= 10; ++n) EXPECT_EQ(read_text("rs", Int(n)), "") << n;
}

TEST_F(RealDriver, MovesAndEndTests) {
  fresh("moves.db", "id integer");
  ASSERT_TRUE(yes(kExecute, {Text("insert into t values(1)")}));
  ASSERT_TRUE(yes(kExecute, {Text("insert into t values(2)")}));
  ASSERT_TRUE(yes(kExecute, {Text("insert into t values(3)")}));
  ASSERT_TRUE(yes(kOpenSet, {Text("select id from t order by id"), Text("rs")}));
  const ArgRecord rs = Text("rs");
  auto at = [&] { return read_int("rs", "id"); };
  auto ends = [&] { return std::make_pair(yes(kBof, {rs}), yes(kEof, {rs})); };

  EXPECT_EQ(ends(), std::make_pair(false, false));
  EXPECT_EQ(at(), 1);
  EXPECT_TRUE(yes(kNext, {rs}));
  EXPECT_EQ(at(), 2);
  EXPECT_TRUE(yes(kLast, {rs}));
  EXPECT_EQ(at(), 3);
  EXPECT_FALSE(yes(kNext, {rs}));  // past the last row: the end test says so
  EXPECT_EQ(ends(), std::make_pair(false, true));
  EXPECT_EQ(read_text("rs", Int(1)), "");
  EXPECT_FALSE(yes(kNext, {rs}));
  EXPECT_TRUE(yes(kPrevious, {rs}));
  EXPECT_EQ(at(), 3);
  EXPECT_TRUE(yes(kFirst, {rs}));
  EXPECT_EQ(at(), 1);
  EXPECT_FALSE(yes(kPrevious, {rs}));  // before the first row
  EXPECT_EQ(ends(), std::make_pair(true, false));
  EXPECT_EQ(read_text("rs", Int(1)), "");
  EXPECT_TRUE(yes(kNext, {rs}));
  EXPECT_EQ(at(), 1);

  // Requery sees rows added since; closing forgets the set.
  ASSERT_TRUE(yes(kExecute, {Text("insert into t values(4)")}));
  EXPECT_TRUE(yes(kRequery, {rs}));
  EXPECT_TRUE(yes(kLast, {rs}));
  EXPECT_EQ(at(), 4);
  EXPECT_TRUE(yes(kCloseSet, {rs}));
  EXPECT_FALSE(yes(kCloseSet, {rs}));
  EXPECT_EQ(ends(), std::make_pair(true, true));
  EXPECT_FALSE(yes(kNext, {rs}));

  // An empty set stands before the first and after the last row at once.
  ASSERT_TRUE(yes(kOpenSet, {Text("select id from t where id > 100"), rs}));
  EXPECT_EQ(ends(), std::make_pair(true, true));
  EXPECT_FALSE(yes(kFirst, {rs}));
  EXPECT_FALSE(yes(kLast, {rs}));
  // A bare table name opens the whole table; closing with no name closes every set.
  ASSERT_TRUE(yes(kOpenSet, {Text("t"), Text("whole")}));
  EXPECT_EQ(read_int("whole", "id"), 1);
  EXPECT_TRUE(yes(kCloseSet, {}));
  EXPECT_TRUE(yes(kEof, {Text("whole")}));
}

TEST_F(RealDriver, TransactionsRollBackAndCommit) {
  fresh("trans.db", "id integer");
  EXPECT_FALSE(yes(kCommit, {}));  // no transaction to end
  EXPECT_FALSE(yes(kRollback, {}));
  ASSERT_TRUE(yes(kBegin, {}));
  EXPECT_FALSE(yes(kBegin, {}));
  ASSERT_TRUE(yes(kExecute, {Text("insert into t values(1)")}));
  EXPECT_EQ(count(), 1);  // seen inside the transaction
  ASSERT_TRUE(yes(kRollback, {}));
  EXPECT_EQ(count(), 0);
  ASSERT_TRUE(yes(kBegin, {}));
  ASSERT_TRUE(yes(kExecute, {Text("insert into t values(2)")}));
  ASSERT_TRUE(yes(kCommit, {}));
  EXPECT_EQ(count(), 1);
  // Committed work survives a new connection; autocommit is back after the transaction.
  ASSERT_TRUE(yes(kExecute, {Text("insert into t values(3)")}));
  calls::call(kDisconnect, {db()});
  // Again with a default database and the prompt flag: a complete string asks nothing.
  ASSERT_TRUE(yes(kConnect, {Text(sqlite("trans.db")), Text("main"), Bool(true)}));
  EXPECT_EQ(count(), 2);
}

TEST_F(RealDriver, BadInputGivesNeutralResults) {
  // Not connected yet: every method answers its neutral value.
  EXPECT_FALSE(yes(kExecute, {Text("create table x(a)")}));
  EXPECT_FALSE(yes(kOpenSet, {Text("select 1"), Text("rs")}));
  EXPECT_TRUE(yes(kBof, {Text("rs")}));
  EXPECT_EQ(calls::take_text(calls::call(kConnectString, {db()})), std::nullopt);

  EXPECT_FALSE(yes(kConnect, {Text("DSN=没有这个数据源")}));
  EXPECT_FALSE(yes(kConnect, {}));  // no string: the driver manager here has no dialog to offer
  EXPECT_FALSE(yes(kConnect, {Text("DSN=没有这个数据源"), Omit(), Bool(true)}));
  EXPECT_FALSE(yes(kConnect, {Text("DRIVER=No Such Driver;Database=x")}));
  fresh("bad.db", "id integer");
  EXPECT_FALSE(yes(kExecute, {Text("insert into nowhere values(1)")}));
  EXPECT_FALSE(yes(kExecute, {Text("selec * frm t")}));
  EXPECT_FALSE(yes(kExecute, {Text("")}));
  EXPECT_FALSE(yes(kOpenSet, {Text("select * from t where"), Text("rs")}));
  EXPECT_FALSE(yes(kOpenSet, {Text(""), Text("rs")}));
  EXPECT_FALSE(yes(kFirst, {Text("rs")}));  // the failed open left no set
  // An update that touches no row still ran.
  EXPECT_TRUE(yes(kExecute, {Text("update t set id = 5 where id = 99")}));

  // A reference to no external database unit: neutral answers.
  ArgRecord stranger{kWindow, kProvider, kProviderType};
  EXPECT_EQ(calls::call(kConnect, {stranger, Text(sqlite("bad.db"))}).lo, 0u);
  EXPECT_EQ(calls::call(kEof, {stranger, Text("rs")}).lo, 1u);
  ArgRecord r = calls::call(kRead, {stranger, Text("rs"), Int(1)});
  EXPECT_EQ(r.type, runtime::kTypeText);
  EXPECT_EQ(calls::take_text(r), std::nullopt);
  EXPECT_EQ(calls::call(kConnect, {ArgRecord{0x52999999, kDatabase, kDatabaseType}}).lo, 0u);
}

TEST_F(RealDriver, EmptyParametersAreEmptyValuesNotNull) {
  fresh("empty.db", "name text, data blob");
  ASSERT_TRUE(yes(kExecute, {Text("insert into t values(?, ?)"), Text(""), Bin("")}));
  ASSERT_TRUE(yes(kExecute, {Text("insert into t values(null, null)")}));
  EXPECT_EQ(count(" where name = '' and length(data) = 0"), 1);
  EXPECT_EQ(count(" where name is null and data is null"), 1);
  // The unit reads both as empty values of the column's kind.
  ASSERT_TRUE(yes(kOpenSet, {Text("select data from t order by rowid"), Text("rs")}));
  ArgRecord r = read("rs", Int(1));
  EXPECT_EQ(r.type, runtime::kTypeBin);
  EXPECT_EQ(calls::take_bin(r), std::nullopt);  // an empty byte set is a null block
}

TEST_F(RealDriver, GbkTextsCrossBothWays) {
  // The file name stays ASCII: the host's driver manager narrows connection strings to its
  // own locale, which is not the program's.
  fresh("gbk.db", "name text");
  ASSERT_TRUE(yes(kExecute, {Text("insert into t values('字面的汉字')")}));
  ASSERT_TRUE(yes(kExecute, {Text("insert into t values(?)"), Text("参数的汉字乗")}));
  // Stored as characters: the driver counts 5 and 6 of them, not the GBK bytes.
  ASSERT_TRUE(yes(kOpenSet, {Text("select length(name) as n, name from t order by rowid"),
                             Text("rs")}));
  EXPECT_EQ(read_int("rs", "n"), 5);
  EXPECT_EQ(read_text("rs", Text("name")), "字面的汉字");
  ASSERT_TRUE(yes(kNext, {Text("rs")}));
  EXPECT_EQ(read_int("rs", "n"), 6);
  EXPECT_EQ(read_text("rs", Int(2)), "参数的汉字乗");
  // A GBK literal finds the row a GBK parameter wrote.
  EXPECT_EQ(count(" where name = '参数的汉字乗'"), 1);
  // The connection string in use is the one the driver completed.
  std::string in_use = calls::take_text(calls::call(kConnectString, {db()})).value_or("");
  EXPECT_NE(in_use.find("Database=" + scratch() + "/gbk.db"), std::string::npos) << in_use;
}

}  // namespace

namespace {

// The table list no unit method asks for, called as any program would: by name.
TEST_F(RealDriver, TableListFromTheProvider) {
  fresh("tables.db", "id integer");
  ASSERT_TRUE(yes(kExecute, {Text("drop table if exists 第二")}));
  ASSERT_TRUE(yes(kExecute, {Text("create table 第二(x)")}));
  HMODULE module = GetModuleHandleA("sqlbridge.vsx");
  ASSERT_NE(module, nullptr);
  auto open = reinterpret_cast<sqlbridge::OpenDatabaseFn>(GetProcAddress(module, "OpenDatabase"));
  auto list = reinterpret_cast<sqlbridge::GetTabListFn>(GetProcAddress(module, "GetTabList"));
  auto close = reinterpret_cast<sqlbridge::ConnFn>(GetProcAddress(module, "CloseDatabase"));
  ASSERT_TRUE(open && list && close);
  sqlbridge::Conn conn = open(sqlite("tables.db").c_str(), nullptr);
  ASSERT_NE(conn, 0u);
  char buffer[64];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(list(conn, buffer, sizeof buffer), 2);
  std::string names(buffer, sizeof buffer);
  EXPECT_EQ(names.substr(0, 10), std::string("t\0第二\0\0\0", 10)) << names;
  EXPECT_EQ(names.find_first_not_of('\0', 8), std::string::npos);  // the rest zero-filled
  // Only whole names fit, and the closing zero always does.
  EXPECT_EQ(list(conn, buffer, 5), 1);
  EXPECT_EQ(std::string(buffer, 5), std::string("t\0\0\0\0", 5));
  EXPECT_EQ(list(conn, buffer, 0), 0);
  EXPECT_EQ(list(0x1234, buffer, sizeof buffer), 0);  // not a connection
  EXPECT_EQ(close(conn), 1);
  EXPECT_EQ(close(conn), 0);
}

}  // namespace
