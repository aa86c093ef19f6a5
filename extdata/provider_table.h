// The database provider unit's table: one table or query of an external database opened
// through the provider module, with its column pixel widths, rows, cells shown by the
// column's SQL type and cell writes normalised by that type before they reach the provider.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>
#include "abi/sqlbridge.h"

namespace extdata {

// How a cell of a column shows and takes its value, by the column's ODBC SQL type.
enum class CellKind { kInteger, kShort, kDouble, kFloat, kDateTime, kLogical, kByte, kLong, kText };
CellKind cell_kind(int32_t sql_type);

// The date rules of the core library: reading a date-time text and its date text. Installed
// by the core library; without them no text reads as a date.
struct DateRules {
  bool (*read)(std::string_view text, double* value) = nullptr;
  std::string (*text)(double value) = nullptr;
};
void set_date_rules(const DateRules& rules);

// A cell text made ready for a column of `sql_type`: integers in decimal (short and byte
// columns clamped to their range), dates as "YYYY-MM-DD hh:mm:ss" (an unreadable text is the
// first day of the year 100), logicals as "1" or "0".
std::string normalise_cell(int32_t sql_type, std::string_view text);
// "%Y-%m-%d %H:%M:%S" of a date-time value.
std::string sql_date_text(double value);

class ProviderTable {
 public:
  ProviderTable() = default;
  ~ProviderTable() { close(); }
  ProviderTable(const ProviderTable&) = delete;
  ProviderTable& operator=(const ProviderTable&) = delete;

  // Connects and opens `source`: SQL when it begins with "select " (any case), else a table
  // name. Both must be non-empty. `font` sizes the column widths (null: the GUI font).
  bool open(const std::string& connect, const std::string& source, HFONT font = nullptr);
  void close();
  bool is_open() const { return table_ != 0; }

  int column_count() const;
  const std::vector<int>& column_widths() const { return widths_; }  // pixels
  std::string column_title(int column) const;
  CellKind column_kind(int column) const;

  int row_count() const;
  bool append_blank();
  bool zap();
  bool remove(int first, int count);
  bool resize(int rows);  // all rows removed, then `rows` blank ones appended

  std::string cell_text(int row, int column) const;  // as shown
  bool set_cell(int row, int column, std::string_view text);

 private:
  int32_t sql_type(int column) const;
  sqlbridge::Conn conn_ = 0;
  sqlbridge::Table table_ = 0;
  std::vector<int> widths_;
};

}  // namespace extdata
