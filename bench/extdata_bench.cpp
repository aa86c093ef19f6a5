// Reading 100 000 rows of 5 columns: through the external database unit's column reads (core
// slots 545, 549, 553, 554, as compiled code calls them) next to a plain ODBC fetch loop in C
// on the same table, in the same run. Prints rows per second and the ratio.
// Run with the tests' ODBC set-up: build/tests/extdata/odbc-run build/bin/extdata_bench.exe
#include <windows.h>
#include <sql.h>
#include <sqlext.h>
#include <cstdio>
#include <memory>
#include <string>
#include "call.h"
#include "abi/unit_type.h"
#include "corelib/install.h"
#include "extdata/extdata.h"
#include "runtime/runtime.h"
#include "units/framework.h"
#include "units/window_unit.h"

namespace {

constexpr int kRows = 100000;
constexpr uint32_t kWindow = 0x5201A001, kOwn = 0x0601A000, kUnit = 0x1601A002;
constexpr uint32_t kUnitType = units::core_type(46);
constexpr int kConnect = 539, kOpenSet = 545, kEof = 549, kNext = 553, kRead = 554,
              kExecute = 555;

double seconds_since(LARGE_INTEGER start) {
  LARGE_INTEGER now, f;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&f);
  return static_cast<double>(now.QuadPart - start.QuadPart) / f.QuadPart;
}

LARGE_INTEGER now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t;
}

units::Entry entry(uint32_t id, uint32_t type) {
  units::Entry e;
  e.id = id;
  e.type = type;
  e.width = e.height = 100;
  return e;
}

bool yes(int slot, std::initializer_list<runtime::ArgRecord> args) {
  std::vector<runtime::ArgRecord> all{{kWindow, kUnit, kUnitType}};
  all.insert(all.end(), args);
  return calls::call(slot, all).lo != 0;
}

// The unit's way: open the set, then per row five column reads by number and a move.
double through_unit(const std::string& connect, long* checksum) {
  if (!yes(kConnect, {calls::Text(connect)})) return -1;
  LARGE_INTEGER start = now();
  if (!yes(kOpenSet, {calls::Text("select * from t order by id"), calls::Text("rs")})) return -1;
  const runtime::ArgRecord rs = calls::Text("rs");
  const runtime::ArgRecord numbers[5] = {calls::Int(1), calls::Int(2), calls::Int(3),
                                         calls::Int(4), calls::Int(5)};
  int rows = 0;
  while (!yes(kEof, {rs})) {
    for (const runtime::ArgRecord& n : numbers) {
      runtime::ArgRecord v = calls::call(kRead, {{kWindow, kUnit, kUnitType}, rs, n});
      if (v.type == runtime::kTypeText) calls::free_result(v);
      else if (v.type == runtime::kTypeInt) *checksum += static_cast<int32_t>(v.lo);
    }
    ++rows;
    yes(kNext, {rs});
  }
  double s = seconds_since(start);
  return rows == kRows ? s : -1;
}

// A plain ODBC loop: fetch, then each column with SQLGetData into a local buffer.
double plain_odbc(const std::string& connect, long* checksum) {
  SQLHENV env;
  SQLHDBC dbc;
  SQLHSTMT st;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  // The wide entries: this platform's driver manager offers no narrow connect.
  std::wstring wide(connect.begin(), connect.end());
  if (!SQL_SUCCEEDED(SQLDriverConnectW(dbc, nullptr, (SQLWCHAR*)wide.c_str(), SQL_NTS,
                                       nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
    return -1;
  LARGE_INTEGER start = now();
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
  SQLExecDirectW(st, (SQLWCHAR*)L"select * from t order by id", SQL_NTS);
  int rows = 0;
  while (SQL_SUCCEEDED(SQLFetch(st))) {
    SQLINTEGER id = 0, qty = 0;
    double price = 0;
    char name[256], note[256];
    SQLLEN ind;
    SQLGetData(st, 1, SQL_C_SLONG, &id, 0, &ind);
    SQLGetData(st, 2, SQL_C_CHAR, name, sizeof name, &ind);
    SQLGetData(st, 3, SQL_C_DOUBLE, &price, 0, &ind);
    SQLGetData(st, 4, SQL_C_SLONG, &qty, 0, &ind);
    SQLGetData(st, 5, SQL_C_CHAR, note, sizeof note, &ind);
    *checksum += id + qty;
    ++rows;
  }
  double s = seconds_since(start);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return rows == kRows ? s : -1;
}

}  // namespace

int main() {
  char dir[1024];
  DWORD n = GetEnvironmentVariableA("ORVEL_ODBC_SCRATCH", dir, sizeof dir);
  if (n == 0 || n >= sizeof dir) {
    std::printf("ORVEL_ODBC_SCRATCH is not set: run through build/tests/extdata/odbc-run\n");
    return 2;
  }
  const std::string connect = "DRIVER=SQLite3;Database=" + std::string(dir, n) + "/bench.db";

  units::install();
  extdata::install();
  corelib::install();
  auto window = std::make_unique<units::WindowTemplate>();
  window->id = kWindow;
  window->entries = {entry(kOwn, units::kWindowType), entry(kUnit, kUnitType)};
  runtime::rt().templates.push_back(window.get());
  if (!units::load_window(*window, false, nullptr)) {
    std::printf("the window did not load (is DISPLAY set?)\n");
    return 2;
  }

  // The table, made by the unit in one statement.
  if (!yes(kConnect, {calls::Text(connect)}) || !yes(kExecute, {calls::Text("drop table if exists t")}) ||
      !yes(kExecute, {calls::Text("create table t(id integer, name varchar(40), price double, "
                                  "qty integer, note varchar(60))")}) ||
      !yes(kExecute, {calls::Text("insert into t with recursive c(x) as (select 1 union all "
                                  "select x + 1 from c where x < 100000) select x, '名称' || x, "
                                  "x * 1.5, x % 100, 'a note of some length ' || x from c")})) {
    std::printf("the table could not be made (no provider module or driver?)\n");
    return 2;
  }

  long unit_sum = 0, plain_sum = 0;
  double unit_s = through_unit(connect, &unit_sum);
  double plain_s = plain_odbc(connect, &plain_sum);
  if (unit_s <= 0 || plain_s <= 0 || unit_sum != plain_sum) {
    std::printf("a read failed (unit %.3f s, plain %.3f s, sums %ld / %ld)\n", unit_s, plain_s,
                unit_sum, plain_sum);
    return 1;
  }
  std::printf("%d rows x 5 columns\n", kRows);
  std::printf("  unit column reads (slots 549, 553, 554): %8.3f s  %10.0f rows/s\n", unit_s,
              kRows / unit_s);
  std::printf("  plain ODBC fetch loop                  : %8.3f s  %10.0f rows/s\n", plain_s,
              kRows / plain_s);
  std::printf("  ratio (unit time / plain time)         : %8.2f\n", unit_s / plain_s);
  DestroyWindow(units::live_window(*window)->handle());
  return 0;
}
