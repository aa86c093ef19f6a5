// The editable table behind the database provider unit: a snapshot of a query's rows as
// texts, with column titles, SQL types and display widths. When the query is a whole table
// ("select * from NAME"), rows can be appended, removed and emptied and cells written; each
// change goes to the database first, and the snapshot is read again when next looked at (so
// many appends in a row cost one reading).
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include "odbc.h"
#include "record_set.h"

namespace sqlbridge {

class EditTable {
 public:
  // Runs `sql` (GBK) and reads every row. False when the driver refuses it.
  bool open(SQLHDBC dbc, std::string_view sql);

  int column_count() const { return static_cast<int>(columns_.size()); }
  int row_count() { return fresh() ? static_cast<int>(rows_.size()) : 0; }
  const ColumnInfo* column(int c) const;
  int display_width(int c) const;  // characters, as the driver reports them; -1 for none
  // The cell's text (empty for NULL), or null outside the table.
  const char* text(int row, int c);

  bool append_blank();
  bool zap();
  bool remove(int first, int count);
  bool set_text(int row, int c, std::string_view text);

 private:
  bool reload();
  bool fresh() { return !stale_ || reload(); }
  // Runs `sql` with the row's values as the parameters of its row condition.
  bool run_on_row(const std::wstring& sql, const std::vector<std::optional<std::string>>& row,
                  const std::optional<std::string>* first_value);
  std::wstring row_condition(const std::vector<std::optional<std::string>>& row) const;

  SQLHDBC dbc_ = nullptr;
  std::wstring sql_;
  std::wstring base_;  // the quoted table name when the query is a whole table, else empty
  std::vector<ColumnInfo> columns_;
  std::vector<int> widths_;
  std::vector<std::vector<std::optional<std::string>>> rows_;  // GBK texts, nullopt = NULL
  bool stale_ = false;  // the database changed since the rows were read
};

}  // namespace sqlbridge
