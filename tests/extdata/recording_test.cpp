// What the external database unit hands the provider module, checked byte for byte with a
// recording provider placed beside this program as "sqlbridge.vsx". Built three times, each
// program in a folder of its own: with the full recording provider (PROVIDER_FULL), with an
// older one that lacks most functions (PROVIDER_OLD), and with no module at all
// (PROVIDER_NONE).
#include <windows.h>
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include "../corelib/call.h"
#include "extdata/connect_strings.h"
#include "unit_window.h"

namespace {

using calls::Bin;
using calls::Bool;
using calls::Double;
using calls::Int;
using calls::Omit;
using calls::Text;
using runtime::ArgRecord;
using namespace extdata_test;

enum Slot {
  kConnect = 539, kDisconnect, kConnectString, kBegin, kRollback, kCommit, kOpenSet, kRequery,
  kCloseSet, kBof, kEof, kFirst, kLast, kPrevious, kNext, kRead, kExecute,
  kConnectAccess = 573, kConnectSqlServer = 574,
};

// The provider's record of the calls since the last look ("" without a module).
std::string take_log() {
  HMODULE m = GetModuleHandleA("sqlbridge.vsx");
  auto take = m ? reinterpret_cast<const char*(__cdecl*)()>(GetProcAddress(m, "RecorderTake"))
                : nullptr;
  return take ? take() : "";
}

std::string dsn_path() {
  char t[MAX_PATH + 1];
  DWORD n = GetTempPathA(sizeof t, t);
  return std::string(t, n) + "~sqlsrv.dsn";
}

[[maybe_unused]] bool dsn_exists() { return GetFileAttributesA(dsn_path().c_str()) != INVALID_FILE_ATTRIBUTES; }

class Recorded : public UnitWindow {
 protected:
  void SetUp() override {
    UnitWindow::SetUp();
    take_log();
  }
  static ArgRecord call(int slot, std::initializer_list<ArgRecord> args) {
    std::vector<ArgRecord> all{db()};
    all.insert(all.end(), args);
    return calls::call(slot, all);
  }
};

#if defined(PROVIDER_FULL)

TEST_F(Recorded, ConnectPassesThePromptFlagOnlyWhenTrue) {
  EXPECT_EQ(call(kConnect, {Text("DSN=a"), Text("库"), Bool(true)}).lo, 1u);
  EXPECT_EQ(take_log(), "NewOpenDatabase 'DSN=a' '库' 1\n");
  // A second connect closes the first.
  EXPECT_EQ(call(kConnect, {Text("DSN=b"), Omit(), Bool(false)}).lo, 1u);
  EXPECT_EQ(take_log(), "CloseDatabase 7\nNewOpenDatabase 'DSN=b' null 0\n");
  call(kDisconnect, {});
  EXPECT_EQ(call(kConnect, {}).lo, 1u);
  EXPECT_EQ(take_log(), "CloseDatabase 7\nNewOpenDatabase null null 0\n");
  call(kDisconnect, {});
  EXPECT_EQ(call(kConnect, {Text("FAIL")}).lo, 0u);
  take_log();
  call(kDisconnect, {});  // nothing to close after a failed connect
  EXPECT_EQ(take_log(), "");
}

TEST_F(Recorded, AccessConnectionStrings) {
  struct Case {
    std::vector<ArgRecord> args;
    const char* expected;
  };
  const Case cases[] = {
      {{Text("C:\\数据\\库.mdb")},
       "NewOpenDatabase 'ODBC;DBQ=C:\\数据\\库.mdb;DefaultDir=C:\\数据;Driver={Microsoft Access "
       "Driver (*.mdb)};FIL=MS Access;' null 0\n"},
      {{Text("库.mdb"), Text(""), Text(""), Text("默认"), Bool(true)},
       "NewOpenDatabase 'ODBC;DBQ=库.mdb;Driver={Microsoft Access Driver (*.mdb)};FIL=MS "
       "Access;' '默认' 1\n"},
      {{Text("a\\b.mdb"), Text("用户"), Text("口令")},
       "NewOpenDatabase 'ODBC;DBQ=a\\b.mdb;DefaultDir=a;Driver={Microsoft Access Driver "
       "(*.mdb)};FIL=MS Access;UID=用户;PWD=口令;' null 0\n"},
  };
  for (const Case& c : cases) {
    std::vector<ArgRecord> all{db()};
    all.insert(all.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(calls::call(kConnectAccess, all).lo, 1u);
    std::string log = take_log();
    if (log.rfind("CloseDatabase 7\n", 0) == 0) log.erase(0, 16);
    EXPECT_EQ(log, c.expected);
  }
}

TEST_F(Recorded, SqlServerConnectionStringAndItsFile) {
  const std::string wsid = extdata::workstation_id();
  ASSERT_FALSE(wsid.empty());
  ASSERT_FALSE(dsn_exists());
  EXPECT_EQ(call(kConnectSqlServer, {Text("srv"), Text("sa"), Text("密码"), Text("销售"),
                                     Text("默认"), Bool(true)}).lo, 1u);
  EXPECT_EQ(take_log(),
            "NewOpenDatabase 'ODBC;FILEDSN=" + dsn_path() +
                ";DRIVER=SQL Server;SERVER=srv;UID=sa;PWD=密码;DATABASE=销售;WSID=" + wsid +
                ";' '默认' 1\n"
                "dsn [ODBC]\r\nDRIVER=SQL Server\r\nSERVER=srv\r\nUID=sa\r\nDATABASE=销售\r\nWSID=" +
                wsid + "\r\n\n");
  EXPECT_FALSE(dsn_exists());
  // A refused connect removes the file too; empty parts are left out of both texts.
  EXPECT_EQ(call(kConnectSqlServer, {Text("FAIL"), Text(""), Text("")}).lo, 0u);
  EXPECT_EQ(take_log(),
            "CloseDatabase 7\nNewOpenDatabase 'ODBC;FILEDSN=" + dsn_path() +
                ";DRIVER=SQL Server;SERVER=FAIL;WSID=" + wsid + ";' null 0\n"
                "dsn [ODBC]\r\nDRIVER=SQL Server\r\nSERVER=FAIL\r\nWSID=" + wsid + "\r\n\n");
  EXPECT_FALSE(dsn_exists());
}

TEST_F(Recorded, MethodsForwardTheirArguments) {
  ASSERT_EQ(call(kConnect, {Text("DSN=x")}).lo, 1u);
  take_log();
  EXPECT_EQ(calls::take_text(call(kConnectString, {})), "DSN=录音;UID=tester");
  EXPECT_EQ(call(kBegin, {}).lo, 1u);
  EXPECT_EQ(call(kCommit, {}).lo, 1u);
  EXPECT_EQ(call(kRollback, {}).lo, 0u);
  EXPECT_EQ(call(kOpenSet, {Text("select * from 表"), Text("集")}).lo, 1u);
  EXPECT_EQ(call(kOpenSet, {Text(""), Text("集")}).lo, 0u);  // never reaches the provider
  EXPECT_EQ(call(kRequery, {Text("集")}).lo, 1u);
  EXPECT_EQ(call(kCloseSet, {}).lo, 1u);
  EXPECT_EQ(call(kBof, {Text("集")}).lo, 0u);
  EXPECT_EQ(call(kEof, {Text("集")}).lo, 0u);
  EXPECT_EQ(call(kFirst, {Text("集")}).lo, 1u);
  EXPECT_EQ(call(kLast, {Text("集")}).lo, 1u);
  EXPECT_EQ(call(kPrevious, {Text("集")}).lo, 0u);
  EXPECT_EQ(call(kNext, {Text("集")}).lo, 1u);
  EXPECT_EQ(take_log(),
            "GetConnectString 7\nBeginTrans 7\nCommitTrans 7\nRollbackTrans 7\n"
            "OpenTable 7 'select * from 表' '集'\nRequery 7 '集'\nCloseTable 7 null\n"
            "IsBOF 7 '集'\nIsEOF 7 '集'\nMoveFirst 7 '集'\nMoveLast 7 '集'\nMovePrev 7 '集'\n"
            "MoveNext 7 '集'\n");
}

TEST_F(Recorded, ExecuteSqlParameters) {
  ASSERT_EQ(call(kConnect, {Text("DSN=x")}).lo, 1u);
  take_log();
  // Texts as (text, -1), byte sets as (bytes, length), anything else skipped.
  EXPECT_EQ(call(kExecute, {Text("insert ?"), Text("甲"), Int(5), Bin(std::string("\x00\xFF", 2)),
                            Double(1.5), Text(""), Bin("")}).lo, 1u);
  EXPECT_EQ(call(kExecute, {Text("FAIL")}).lo, 0u);
  EXPECT_EQ(call(kExecute, {Text("")}).lo, 0u);
  EXPECT_EQ(take_log(),
            "ExecuteSql 7 'insert ?' 4 text'甲' bytes2:00ff text'' bytes0:\n"
            "ExecuteSql 7 'FAIL' 0\n");
}

TEST_F(Recorded, ColumnValuesByTheKindTable) {
  ASSERT_EQ(call(kConnect, {Text("DSN=x")}).lo, 1u);
  take_log();
  // The recording provider puts a value of kind n into column n (0-based): number n + 1.
  struct Case { int kind; uint32_t type; uint32_t lo, hi; };
  const Case cases[] = {
      {1, runtime::kTypeByte, 0xFE, 0},          {2, runtime::kTypeShort, 0x8000, 0},
      {3, runtime::kTypeInt, 0xFFFFFFFE, 0},     {5, runtime::kTypeFloat, 0x3FC00000, 0},
      {6, runtime::kTypeDouble, 0, 0x40E64DD0},  {7, runtime::kTypeBool, 1, 0},
      {9, runtime::kTypeDateTime, 0, 0x40E64DD0},
  };
  for (const Case& c : cases) {
    ArgRecord r = call(kRead, {Text("集"), Int(c.kind + 1)});
    EXPECT_EQ(r.type, c.type) << c.kind;
    EXPECT_EQ(r.lo, c.lo) << c.kind;
    EXPECT_EQ(r.hi, c.hi) << c.kind;
  }
  EXPECT_EQ(calls::take_text(call(kRead, {Text("集"), Int(9)})), "文字");
  ArgRecord bytes = call(kRead, {Text("集"), Double(11.0)});  // any number counts from 1
  EXPECT_EQ(bytes.type, runtime::kTypeBin);
  EXPECT_EQ(calls::take_bin(bytes), std::string("\x01\x00\x02", 3));
  for (int other : {0, 4, 11, 99}) {
    ArgRecord r = call(kRead, {Text("集"), Int(other + 1)});
    EXPECT_EQ(r.type, runtime::kTypeText) << other;
    EXPECT_EQ(calls::take_text(r), std::nullopt) << other;
  }
  EXPECT_EQ(calls::take_text(call(kRead, {Text("集"), Text("列名")})), "按名");
  std::string log = take_log();
  // Every record read goes back to the provider.
  EXPECT_EQ(log.find("ReadColByIndex 7 '集' 1\nEmptyVar kind 1\n"), 0u) << log;
  EXPECT_NE(log.find("ReadColByIndex 7 '集' 10\nEmptyVar kind 10\n"), std::string::npos);
  EXPECT_NE(log.find("ReadColByName 7 '集' '列名'\nEmptyVar kind 8\n"), std::string::npos);
}

TEST_F(Recorded, ConnectionStringLookupWithoutAUnit) {
  char buffer[12];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_TRUE(extdata::choose_connection_string(buffer, sizeof buffer));
  // At most size - 1 bytes, never half a character, the rest zeros.
  EXPECT_EQ(std::string(buffer, sizeof buffer), std::string("DSN=录音;UI\0", 12));
  EXPECT_EQ(take_log(), "OpenDatabase null null\nGetConnectString 7\nCloseDatabase 7\n");
  char small[6];
  EXPECT_TRUE(extdata::choose_connection_string(small, sizeof small));
  EXPECT_EQ(std::string(small, sizeof small), std::string("DSN=\0\0", 6));
}

#elif defined(PROVIDER_OLD)

// An older provider: "OpenDatabase" without the prompt flag, and none of the record-set
// functions.
TEST_F(Recorded, OlderProviderFallsBackAndLackingFunctionsAreNeutral) {
  EXPECT_EQ(call(kConnect, {Text("DSN=a"), Text("库"), Bool(true)}).lo, 1u);
  EXPECT_EQ(take_log(), "OpenDatabase 'DSN=a' '库'\n");
  EXPECT_EQ(call(kBegin, {}).lo, 0u);
  EXPECT_EQ(call(kOpenSet, {Text("select 1"), Text("集")}).lo, 0u);
  EXPECT_EQ(call(kBof, {Text("集")}).lo, 1u);
  EXPECT_EQ(call(kEof, {Text("集")}).lo, 1u);
  EXPECT_EQ(call(kNext, {Text("集")}).lo, 0u);
  ArgRecord r = call(kRead, {Text("集"), Int(1)});
  EXPECT_EQ(r.type, runtime::kTypeText);
  EXPECT_EQ(calls::take_text(r), std::nullopt);
  EXPECT_EQ(call(kExecute, {Text("update x"), Text("甲")}).lo, 1u);
  EXPECT_EQ(take_log(), "ExecuteSql 7 'update x' 1 text'甲'\n");
}

#elif defined(PROVIDER_NONE)

// No module beside the program: every method answers its neutral value, and nothing is shown.
TEST_F(Recorded, MissingModuleGivesNeutralResults) {
  EXPECT_EQ(call(kConnect, {Text("DSN=a")}).lo, 0u);
  EXPECT_EQ(call(kConnectAccess, {Text("a.mdb")}).lo, 0u);
  EXPECT_EQ(call(kConnectSqlServer, {Text("srv")}).lo, 0u);
  EXPECT_FALSE(dsn_exists());
  EXPECT_EQ(calls::take_text(call(kConnectString, {})), std::nullopt);
  for (int slot : {kBegin, kRollback, kCommit}) EXPECT_EQ(call(slot, {}).lo, 0u) << slot;
  for (int slot : {kOpenSet, kRequery, kCloseSet, kFirst, kLast, kPrevious, kNext, kExecute})
    EXPECT_EQ(call(slot, {Text("x"), Text("y")}).lo, 0u) << slot;
  EXPECT_EQ(call(kBof, {Text("y")}).lo, 1u);
  EXPECT_EQ(call(kEof, {Text("y")}).lo, 1u);
  EXPECT_EQ(calls::take_text(call(kRead, {Text("y"), Text("c")})), std::nullopt);
  char buffer[4] = {'x', 'x', 'x', 'x'};
  EXPECT_FALSE(extdata::choose_connection_string(buffer, sizeof buffer));
  EXPECT_EQ(std::string(buffer, 4), std::string(4, '\0'));
  EXPECT_EQ(GetModuleHandleA("sqlbridge.vsx"), nullptr);
}

#endif

}  // namespace
