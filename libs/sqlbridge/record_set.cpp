// Record sets: executing, moving the cursor and reading the current row's cells.
#include "record_set.h"
#include <cstring>
#include "gbk.h"

namespace sqlbridge {

namespace {

template <typename T>
uint64_t bits_of(T v) {
  uint64_t u = 0;
  std::memcpy(&u, &v, sizeof v);
  return u;
}

// Reads a variable-length value in pieces until the driver has handed over all of it; `unit`
// is the size of the terminator the driver puts after each piece (2 for UTF-16, 0 for bytes).
// False on a refused read; `null` set for a NULL value.
bool read_long(SQLHSTMT st, int column, SQLSMALLINT c_type, size_t unit, std::string& out,
               bool& null) {
  char piece[16384];
  const SQLLEN room = static_cast<SQLLEN>(sizeof piece - unit);
  out.clear();
  null = false;
  for (bool first = true;; first = false) {
    SQLLEN ind = 0;
    SQLRETURN r = SQLGetData(st, static_cast<SQLUSMALLINT>(column + 1), c_type, piece,
                             sizeof piece, &ind);
    if (r == SQL_NO_DATA) return !first;
    if (!ok(r)) return false;
    if (ind == SQL_NULL_DATA) {
      null = true;
      return true;
    }
    SQLLEN n = (ind == SQL_NO_TOTAL || ind > room) ? room : ind;
    out.append(piece, static_cast<size_t>(n));
    if (r == SQL_SUCCESS) return true;
  }
}

template <typename T>
bool read_fixed(SQLHSTMT st, int column, SQLSMALLINT c_type, T& v, bool& null) {
  SQLLEN ind = 0;
  if (!ok(SQLGetData(st, static_cast<SQLUSMALLINT>(column + 1), c_type, &v, sizeof v, &ind)))
    return false;
  null = ind == SQL_NULL_DATA;
  return true;
}

}  // namespace

ColumnKind kind_of(SQLSMALLINT t) {
  switch (t) {
    case SQL_TINYINT: return kKindByte;
    case SQL_SMALLINT: return kKindShort;
    case SQL_INTEGER: return kKindInt;
    case SQL_REAL: return kKindFloat;
    // No 64-bit integer kind exists: big integers and exact numbers read as doubles.
    case SQL_BIGINT: case SQL_FLOAT: case SQL_DOUBLE: case SQL_NUMERIC: case SQL_DECIMAL:
      return kKindDouble;
    case SQL_BIT: return kKindBool;
    case SQL_DATE: case SQL_TIME: case SQL_TIMESTAMP: case SQL_TYPE_DATE: case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
      return kKindDateTime;
    case SQL_BINARY: case SQL_VARBINARY: case SQL_LONGVARBINARY: return kKindBytes;
    default: return kKindText;
  }
}

bool describe_columns(SQLHSTMT st, std::vector<ColumnInfo>& out) {
  out.clear();
  SQLSMALLINT n = 0;
  if (!ok(SQLNumResultCols(st, &n)) || n <= 0) return false;
  for (SQLSMALLINT i = 1; i <= n; ++i) {
    SQLWCHAR name[256] = {};
    SQLSMALLINT name_len = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    if (!ok(SQLDescribeColW(st, i, name, 256, &name_len, &type, &size, &digits, &nullable)))
      return false;
    out.push_back({to_gbk(reinterpret_cast<wchar_t*>(name)), type, size});
  }
  return true;
}

bool read_cell(SQLHSTMT st, int column, SQLSMALLINT sql_type, Cell& out) {
  out = Cell{};
  bool null = false, done = false;
  ColumnKind kind = kind_of(sql_type);
  switch (kind) {
    case kKindByte: case kKindShort: case kKindInt: {
      SQLINTEGER v = 0;
      done = read_fixed(st, column, SQL_C_SLONG, v, null);
      if (kind == kKindByte) v &= 0xFF;
      if (kind == kKindShort) v = static_cast<int16_t>(v);
      out.bits = static_cast<uint32_t>(v);
      break;
    }
    case kKindFloat: {
      float v = 0;
      done = read_fixed(st, column, SQL_C_FLOAT, v, null);
      out.bits = bits_of(v);
      break;
    }
    case kKindDouble: {
      double v = 0;
      done = read_fixed(st, column, SQL_C_DOUBLE, v, null);
      out.bits = bits_of(v);
      break;
    }
    case kKindBool: {
      unsigned char v = 0;
      done = read_fixed(st, column, SQL_C_BIT, v, null);
      out.bits = v ? 1 : 0;
      break;
    }
    case kKindDateTime: {
      SQL_TIMESTAMP_STRUCT t{};
      done = read_fixed(st, column, SQL_C_TYPE_TIMESTAMP, t, null);
      if (sql_type == SQL_TIME || sql_type == SQL_TYPE_TIME) {  // a time of day alone
        t.year = 1899;
        t.month = 12;
        t.day = 30;
      }
      out.bits = bits_of(ole_date(t.year, t.month, t.day, t.hour, t.minute, t.second));
      break;
    }
    case kKindBytes:
      done = read_long(st, column, SQL_C_BINARY, 0, out.data, null);
      break;
    default: {
      std::string raw;
      done = read_long(st, column, SQL_C_WCHAR, sizeof(SQLWCHAR), raw, null);
      out.data = to_gbk(std::wstring_view(reinterpret_cast<const wchar_t*>(raw.data()),
                                          raw.size() / sizeof(wchar_t)));
      break;
    }
  }
  if (!done) return false;
  if (null) out = Cell{};  // NULL reads as the empty kind
  else out.kind = kind;
  return true;
}

bool RecordSet::open(SQLHDBC dbc, std::wstring sql) {
  dbc_ = dbc;
  sql_ = std::move(sql);
  return execute();
}

bool RecordSet::requery() { return dbc_ && execute(); }

bool RecordSet::execute() {
  stmt_.reset();
  columns_.clear();
  bof_ = eof_ = true;
  row_read_ = false;
  stmt_ = new_statement(dbc_, true);
  if (!stmt_) return false;
  SQLRETURN r = SQLExecDirectW(stmt_.get(), wide_arg(sql_), SQL_NTS);
  if (!ok(r) || !describe_columns(stmt_.get(), columns_)) {
    stmt_.reset();
    return false;
  }
  r = SQLFetchScroll(stmt_.get(), SQL_FETCH_NEXT, 0);
  if (r == SQL_NO_DATA) return true;  // an empty set: before-first and after-last at once
  if (!ok(r)) {
    stmt_.reset();
    return false;
  }
  bof_ = eof_ = false;
  return true;
}

bool RecordSet::move(SQLSMALLINT orientation) {
  if (!stmt_) return false;
  if (orientation == SQL_FETCH_NEXT && eof_) return false;
  if (orientation == SQL_FETCH_PRIOR && bof_) return false;
  SQLRETURN r = SQLFetchScroll(stmt_.get(), orientation, 0);
  if (r != SQL_NO_DATA && !ok(r)) return false;  // not offered by the cursor: stays put
  land(r, orientation);
  return ok(r);
}

void RecordSet::land(SQLRETURN r, SQLSMALLINT orientation) {
  row_read_ = false;
  if (ok(r)) {
    bof_ = eof_ = false;
    return;
  }
  switch (orientation) {
    case SQL_FETCH_NEXT: eof_ = true; break;
    case SQL_FETCH_PRIOR: bof_ = true; break;
    default: bof_ = eof_ = true;  // first or last found no row: the set is empty
  }
}

namespace {

// Equal ignoring the case of ASCII letters; the second byte of a GBK character is compared
// as it is, since it may fall in the letter range.
bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = a[i], y = b[i];
    if (x >= 0x81 && x <= 0xFE && i + 1 < a.size()) {
      if (x != y || a[i + 1] != b[i + 1]) return false;
      ++i;
      continue;
    }
    if (x >= 'A' && x <= 'Z') x += 32;
    if (y >= 'A' && y <= 'Z') y += 32;
    if (x != y) return false;
  }
  return true;
}

}  // namespace

int RecordSet::column_named(std::string_view name) const {
  for (size_t i = 0; i < columns_.size(); ++i)
    if (same_name(columns_[i].name, name)) return static_cast<int>(i);
  return -1;
}

const Cell* RecordSet::cell(int column) {
  if (!stmt_ || bof_ || eof_ || column < 0 || column >= column_count()) return nullptr;
  if (!row_read_) {
    // The whole row at once, in column order: drivers may allow each column to be read
    // only once per row and only left to right.
    row_.assign(columns_.size(), Cell{});
    for (size_t i = 0; i < columns_.size(); ++i)
      if (!read_cell(stmt_.get(), static_cast<int>(i), columns_[i].sql_type, row_[i]))
        row_[i] = Cell{};
    row_read_ = true;
  }
  return &row_[column];
}

}  // namespace sqlbridge
