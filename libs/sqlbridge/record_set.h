// A named record set: one executed query with a cursor that moves first, last, next and
// previous, the before-first and after-last tests, and the current row's columns read once
// per row into typed cells.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>
#include "abi/sqlbridge.h"
#include "odbc.h"

namespace sqlbridge {

// One column read from the current row: its kind, its 8 value bytes, and the bytes of a text
// (GBK, without the terminating zero) or raw value.
struct Cell {
  ColumnKind kind = kKindEmpty;
  uint64_t bits = 0;
  std::string data;
};

struct ColumnInfo {
  std::string name;      // GBK
  SQLSMALLINT sql_type;  // ODBC SQL type code
  SQLULEN size;          // column size reported by the driver
};

// The columns of the result set on `st`, or false when it has none.
bool describe_columns(SQLHSTMT st, std::vector<ColumnInfo>& out);
// Column `column` (0-based) of the row `st` is on, as a cell of the kind its SQL type asks
// for; texts in full whatever their length. False when the driver refuses the read.
bool read_cell(SQLHSTMT st, int column, SQLSMALLINT sql_type, Cell& out);
// The kind a column of this SQL type reads as.
ColumnKind kind_of(SQLSMALLINT sql_type);

class RecordSet {
 public:
  // Runs `sql` on `dbc` and stands on its first row (or before-first and after-last at once
  // when it has none). False when the driver refuses the text or it returns no result set.
  bool open(SQLHDBC dbc, std::wstring sql);
  bool requery();

  bool bof() const { return bof_; }
  bool eof() const { return eof_; }
  // Moves by FETCH orientation; true when the cursor stands on a row afterwards.
  bool move(SQLSMALLINT orientation);

  int column_count() const { return static_cast<int>(columns_.size()); }
  // 0-based number of the column named `name` (compared ignoring ASCII case), or -1.
  int column_named(std::string_view name) const;
  // The cell of the current row, or null off the rows or past the last column.
  const Cell* cell(int column);

 private:
  bool execute();
  void land(SQLRETURN r, SQLSMALLINT orientation);  // sets bof/eof after a fetch
  SQLHDBC dbc_ = nullptr;
  std::wstring sql_;
  Handle stmt_;
  std::vector<ColumnInfo> columns_;
  std::vector<Cell> row_;  // the current row, read on the first column read
  bool row_read_ = false;
  bool bof_ = true, eof_ = true;
};

}  // namespace sqlbridge
