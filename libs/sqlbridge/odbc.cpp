// Statements, identifier quoting and date values shared by the provider's parts.
#include "odbc.h"

namespace sqlbridge {

Handle new_statement(SQLHDBC dbc, bool scrollable) {
  Handle st = Handle::allocate(SQL_HANDLE_STMT, dbc);
  if (st && scrollable)  // a driver without static cursors keeps its forward-only one
    SQLSetStmtAttr(st.get(), SQL_ATTR_CURSOR_TYPE,
                   reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(SQL_CURSOR_STATIC)), 0);
  return st;
}

std::wstring quote_identifier(SQLHDBC dbc, const std::wstring& name) {
  SQLWCHAR quote[8] = {};
  SQLSMALLINT len = 0;
  std::wstring q = L"\"";
  if (ok(SQLGetInfoW(dbc, SQL_IDENTIFIER_QUOTE_CHAR, quote, sizeof quote, &len)))
    q = quote[0] == L' ' ? L"" : std::wstring(reinterpret_cast<wchar_t*>(quote));
  std::wstring out = q;
  for (wchar_t c : name) {
    out += c;
    if (!q.empty() && c == q[0]) out += c;  // a quote inside the name is doubled
  }
  return out + q;
}

namespace {

// Days from 0000-03-01 style civil count (proleptic Gregorian).
long days_from_civil(long y, long m, long d) {
  y -= m <= 2;
  long era = (y >= 0 ? y : y - 399) / 400;
  long yoe = y - era * 400;
  long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe;
}

}  // namespace

double ole_date(int year, int month, int day, int hour, int minute, int second) {
  double days = static_cast<double>(days_from_civil(year, month, day) -
                                    days_from_civil(1899, 12, 30));
  double time = (hour * 3600 + minute * 60 + second) / 86400.0;
  return days >= 0 ? days + time : days - time;
}

}  // namespace sqlbridge
