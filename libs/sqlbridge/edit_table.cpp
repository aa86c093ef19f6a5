// Editable tables: the snapshot, and changes written through parameterised statements.
#include "edit_table.h"
#include <cctype>
#include <cstdio>
#include "gbk.h"

namespace sqlbridge {

namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

bool starts_with_word(std::string_view& s, std::string_view word) {
  if (s.size() < word.size() || _strnicmp(s.data(), word.data(), word.size()) != 0) return false;
  s.remove_prefix(word.size());
  std::string_view rest = trim(s);
  bool separated = rest.size() < s.size() || word == "*";
  s = rest;
  return separated;
}

// The table name of "select * from NAME" (a plain name, or one in double quotes or
// brackets), else empty.
std::string whole_table(std::string_view sql) {
  std::string_view s = trim(sql);
  if (!starts_with_word(s, "select") || !starts_with_word(s, "*") || !starts_with_word(s, "from"))
    return {};
  if (s.size() >= 2 && ((s.front() == '"' && s.back() == '"') ||
                        (s.front() == '[' && s.back() == ']')))
    s = s.substr(1, s.size() - 2);
  else
    for (unsigned char c : s)
      if (std::isspace(c) || c == ';' || c == ',' || c == '(') return {};
  return std::string(s);
}

// A bound text parameter that lives as long as the statement runs.
struct TextParam {
  std::wstring text;
  SQLLEN ind;
};

bool bind_texts(SQLHSTMT st, std::vector<TextParam>& params) {
  for (size_t i = 0; i < params.size(); ++i) {
    TextParam& p = params[i];
    SQLULEN size = p.text.empty() ? 1 : p.text.size();
    if (!ok(SQLBindParameter(st, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, SQL_C_WCHAR,
                             SQL_WVARCHAR, size, 0, p.text.data(),
                             static_cast<SQLLEN>(p.text.size() * sizeof(wchar_t)), &p.ind)))
      return false;
  }
  return true;
}

bool run(SQLHDBC dbc, const std::wstring& sql, std::vector<TextParam>& params) {
  Handle st = new_statement(dbc, false);
  if (!st || !bind_texts(st.get(), params)) return false;
  SQLRETURN r = SQLExecDirectW(st.get(), wide_arg(sql), SQL_NTS);
  return ok(r) || r == SQL_NO_DATA;
}

}  // namespace

bool EditTable::open(SQLHDBC dbc, std::string_view sql) {
  dbc_ = dbc;
  sql_ = to_wide(sql);
  std::string base = whole_table(sql);
  base_ = base.empty() ? std::wstring() : quote_identifier(dbc, to_wide(base));
  return reload();
}

bool EditTable::reload() {
  stale_ = true;  // until a whole reading succeeds
  Handle st = new_statement(dbc_, false);
  if (!st || !ok(SQLExecDirectW(st.get(), wide_arg(sql_), SQL_NTS)) ||
      !describe_columns(st.get(), columns_))
    return false;
  widths_.assign(columns_.size(), -1);
  for (size_t i = 0; i < columns_.size(); ++i) {
    SQLLEN width = 0;
    if (ok(SQLColAttributeW(st.get(), static_cast<SQLUSMALLINT>(i + 1), SQL_DESC_DISPLAY_SIZE,
                            nullptr, 0, nullptr, &width)))
      widths_[i] = width > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(width);
  }
  rows_.clear();
  for (;;) {
    SQLRETURN r = SQLFetch(st.get());
    if (r == SQL_NO_DATA) {
      stale_ = false;
      return true;
    }
    if (!ok(r)) return false;
    std::vector<std::optional<std::string>> row(columns_.size());
    for (size_t i = 0; i < columns_.size(); ++i) {
      // Every cell is kept as the text the driver gives for it.
      Cell cell;
      if (!read_cell(st.get(), static_cast<int>(i), SQL_WVARCHAR, cell)) return false;
      if (cell.kind != kKindEmpty) row[i] = std::move(cell.data);
    }
    rows_.push_back(std::move(row));
  }
}

const ColumnInfo* EditTable::column(int c) const {
  return c >= 0 && c < column_count() ? &columns_[c] : nullptr;
}

int EditTable::display_width(int c) const {
  return c >= 0 && c < column_count() ? widths_[c] : -1;
}

const char* EditTable::text(int row, int c) {
  if (!fresh() || row < 0 || row >= row_count() || c < 0 || c >= column_count()) return nullptr;
  const std::optional<std::string>& v = rows_[row][c];
  return v ? v->c_str() : "";
}

std::wstring EditTable::row_condition(const std::vector<std::optional<std::string>>& row) const {
  std::wstring where;
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (kind_of(columns_[i].sql_type) == kKindBytes) continue;  // raw bytes do not compare as text
    where += where.empty() ? L" where " : L" and ";
    where += quote_identifier(dbc_, to_wide(columns_[i].name));
    where += row[i] ? L" = ?" : L" is null";
  }
  return where;
}

bool EditTable::run_on_row(const std::wstring& sql,
                           const std::vector<std::optional<std::string>>& row,
                           const std::optional<std::string>* first_value) {
  std::vector<TextParam> params;
  if (first_value) {
    if (*first_value) params.push_back({to_wide(**first_value), 0});
    else params.push_back({L"", SQL_NULL_DATA});
  }
  for (size_t i = 0; i < columns_.size(); ++i)
    if (kind_of(columns_[i].sql_type) != kKindBytes && row[i])
      params.push_back({to_wide(*row[i]), 0});
  for (TextParam& p : params)
    if (p.ind != SQL_NULL_DATA) p.ind = static_cast<SQLLEN>(p.text.size() * sizeof(wchar_t));
  std::wstring where = row_condition(row);
  if (where.empty()) return false;  // nothing to tell the row by: never touch them all
  return run(dbc_, sql + where, params);
}

bool EditTable::append_blank() {
  if (base_.empty()) return false;
  std::vector<TextParam> none;
  if (!run(dbc_, L"insert into " + base_ + L" default values", none)) return false;
  stale_ = true;
  return true;
}

bool EditTable::zap() {
  if (base_.empty()) return false;
  std::vector<TextParam> none;
  if (!run(dbc_, L"delete from " + base_, none)) return false;
  stale_ = true;
  return true;
}

bool EditTable::remove(int first, int count) {
  if (base_.empty() || first < 0 || count < 0 || first > row_count() - count) return false;
  bool done = true;
  for (int i = first; i < first + count && done; ++i)
    done = run_on_row(L"delete from " + base_, rows_[i], nullptr);
  stale_ = true;
  return done;
}

bool EditTable::set_text(int row, int c, std::string_view text) {
  if (base_.empty() || row < 0 || row >= row_count() || c < 0 || c >= column_count())
    return false;  // row_count() has brought the rows up to date
  std::optional<std::string> value{std::string(text)};
  std::wstring sql = L"update " + base_ + L" set " +
                     quote_identifier(dbc_, to_wide(columns_[c].name)) + L" = ?";
  if (!run_on_row(sql, rows_[row], &value)) return false;
  rows_[row][c] = std::move(value);
  return true;
}

}  // namespace sqlbridge
