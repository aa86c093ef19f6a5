// The database provider unit's table over the provider module's editable-table functions.
#include "extdata/provider_table.h"
#include <cmath>
#include <cstdlib>
#include <cstring>
#include "extdata/provider.h"
#include "runtime/civil_dates.h"
#include "runtime/crt.h"

namespace extdata {

using namespace sqlbridge;

namespace {

DateRules g_dates;

constexpr double kYear100 = -657434.0;
constexpr int kMinWidth = 3, kMaxWidth = 100, kWidthPadding = 27;

bool same_ascii(std::string_view a, std::string_view b) {
  return a.size() == b.size() && _strnicmp(a.data(), b.data(), a.size()) == 0;
}

// The integer a text starts with (spaces, sign, digits, a fraction dropped), clamped to
// [lo, hi]; 0 when it starts with none.
int64_t integer_of(std::string_view text, int64_t lo, int64_t hi) {
  std::string s(text);
  double v = std::strtod(s.c_str(), nullptr);
  if (std::isnan(v)) return 0;
  v = std::trunc(v);
  return v < lo ? lo : v > hi ? hi : static_cast<int64_t>(v);
}

bool truthy(std::string_view t) {
  static constexpr const char* kTrue[] = {"1",    "真",   "true", "t", "zheng",
                                          "zhen", "zeng", "zen",  "z"};
  for (const char* word : kTrue)
    if (same_ascii(t, word)) return true;
  return false;
}

// Civil date of a day count from 1899-12-30 (proleptic Gregorian).
void civil(int64_t days, int& y, int& m, int& d) { runtime::civil_from_days(days + runtime::kOleEpochDay, y, m, d); }

}  // namespace

CellKind cell_kind(int32_t t) {
  switch (t) {
    case 4: return CellKind::kInteger;
    case 5: return CellKind::kShort;
    case 6: case 8: return CellKind::kDouble;
    case 7: return CellKind::kFloat;
    case 9: case 10: case 11: return CellKind::kDateTime;
    case -7: return CellKind::kLogical;
    case -6: return CellKind::kByte;
    case -5: return CellKind::kLong;
    default: return CellKind::kText;
  }
}

void set_date_rules(const DateRules& rules) { g_dates = rules; }

std::string sql_date_text(double v) {
  // Negative days carry their time forward from midnight, like positive ones.
  double whole = std::trunc(v);
  int64_t seconds = std::llround(std::fabs(v - whole) * 86400.0);
  int64_t days = static_cast<int64_t>(whole);
  if (seconds >= 86400) {  // rounded up to midnight: the next calendar day
    seconds -= 86400;
    ++days;
  }
  int y, m, d;
  civil(days, y, m, d);
  return runtime::crt_format("%04d-%02d-%02d %02d:%02d:%02d", y, m, d,
                             static_cast<int>(seconds / 3600),
                             static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
}

std::string normalise_cell(int32_t sql_type, std::string_view text) {
  switch (sql_type) {
    case 4: return std::to_string(integer_of(text, INT32_MIN, INT32_MAX));
    case 5: return std::to_string(integer_of(text, -32768, 32767));
    case -6: return std::to_string(integer_of(text, 0, 255));
    case 9: case 10: case 11: {
      double v = kYear100;
      if (!g_dates.read || !g_dates.read(text, &v)) v = kYear100;
      return sql_date_text(v);
    }
    case -7: return truthy(text) ? "1" : "0";
    default: return std::string(text);
  }
}

bool ProviderTable::open(const std::string& connect, const std::string& source, HFONT font) {
  if (connect.empty() || source.empty()) return false;
  close();
  if (auto open = provider<NewOpenDatabaseFn>("NewOpenDatabase"))
    conn_ = open(connect.c_str(), nullptr, 1);
  else if (auto old = provider<OpenDatabaseFn>("OpenDatabase"))
    conn_ = old(connect.c_str(), nullptr);
  if (!conn_) return false;
  bool is_sql = source.size() >= 7 && same_ascii(std::string_view(source).substr(0, 7), "select ");
  std::string sql = is_sql ? source : "select * from " + source;
  auto modi = provider<OpenTableToModiFn>("OpenTableToModi");
  table_ = modi ? modi(conn_, sql.c_str()) : 0;
  if (!table_) {
    close();
    return false;
  }
  // Pixel widths: the width in characters, within 3..100, times one character of the font.
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  auto width = provider<TableColFn>("BDGetColWidth");
  for (int c = 0, n = column_count(); c < n; ++c) {
    int chars = width ? width(conn_, table_, c) : 0;
    chars = chars < kMinWidth ? kMinWidth : chars > kMaxWidth ? kMaxWidth : chars;
    widths_.push_back(chars * tm.tmAveCharWidth + kWidthPadding);
  }
  return true;
}

void ProviderTable::close() {
  if (conn_)
    if (auto close = provider<ConnFn>("CloseDatabase")) close(conn_);
  conn_ = 0;
  table_ = 0;
  widths_.clear();
}

int ProviderTable::column_count() const {
  auto f = provider<TableFn>("BDGetColCount");
  return table_ && f ? f(conn_, table_) : 0;
}

std::string ProviderTable::column_title(int column) const {
  auto f = provider<TableColNameFn>("BDGetColName");
  const char* s = table_ && f ? f(conn_, table_, column) : nullptr;
  return s ? s : "";
}

int32_t ProviderTable::sql_type(int column) const {
  auto f = provider<TableColFn>("BDGetColSQLType");
  return table_ && f ? f(conn_, table_, column) : 0;
}

CellKind ProviderTable::column_kind(int column) const { return cell_kind(sql_type(column)); }

int ProviderTable::row_count() const {
  auto f = provider<TableFn>("BDGetRecCount");
  return table_ && f ? f(conn_, table_) : 0;
}

bool ProviderTable::append_blank() {
  auto f = provider<TableFn>("BDAppendBlank");
  return table_ && f && f(conn_, table_) != 0;
}

bool ProviderTable::zap() {
  auto f = provider<TableFn>("BDZap");
  return table_ && f && f(conn_, table_) != 0;
}

bool ProviderTable::remove(int first, int count) {
  auto f = provider<TableRemoveFn>("BDRemove");
  return table_ && f && f(conn_, table_, first, count) != 0;
}

bool ProviderTable::resize(int rows) {
  if (rows < 0 || !zap()) return false;
  for (int i = 0; i < rows; ++i)
    if (!append_blank()) return false;
  return true;
}

std::string ProviderTable::cell_text(int row, int column) const {
  auto f = provider<TableGetTextFn>("BDGetColText");
  const char* s = table_ && f ? f(conn_, table_, row, column) : nullptr;
  std::string text = s ? s : "";
  switch (column_kind(column)) {
    case CellKind::kLogical: return !text.empty() && text[0] != '0' ? "真" : "假";
    case CellKind::kDateTime: {
      double v;
      if (g_dates.read && g_dates.text && g_dates.read(text, &v)) return g_dates.text(v);
      return text;
    }
    default: return text;
  }
}

bool ProviderTable::set_cell(int row, int column, std::string_view text) {
  auto f = provider<TableSetTextFn>("BDSetColText");
  if (!table_ || !f) return false;
  std::string value = normalise_cell(sql_type(column), text);
  return f(conn_, table_, row, column, value.c_str()) != 0;
}

}  // namespace extdata
