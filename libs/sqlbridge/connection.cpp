// Connections: connecting, transactions, record sets, statements with parameters, tables.
#include "connection.h"
#include <cstring>
#include "gbk.h"

namespace sqlbridge {

namespace {

std::string_view without_odbc_prefix(std::string_view s) {
  if (s.size() >= 5 && _strnicmp(s.data(), "ODBC;", 5) == 0) s.remove_prefix(5);
  return s;
}

bool has_space(std::string_view s) {
  for (char c : s)
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') return true;
  return false;
}

void set_autocommit(SQLHDBC dbc, bool on) {
  SQLSetConnectAttrW(dbc, SQL_ATTR_AUTOCOMMIT,
                     reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(
                         on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)),
                     SQL_IS_UINTEGER);
}

}  // namespace

bool Connection::open(const char* connect, const char* default_db, bool prompt) {
  env_ = Handle::allocate(SQL_HANDLE_ENV, nullptr);
  if (!env_) return false;
  SQLSetEnvAttr(env_.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  dbc_ = Handle::allocate(SQL_HANDLE_DBC, env_.get());
  if (!dbc_) return false;
  std::wstring in = to_wide(without_odbc_prefix(connect ? connect : ""));
  // Without a connection string the driver manager is asked to let the user choose.
  bool ask = prompt || !connect;
  std::vector<SQLWCHAR> out(4096);
  SQLSMALLINT out_len = 0;
  SQLRETURN r = SQLDriverConnectW(dbc_.get(), ask ? GetDesktopWindow() : nullptr, wide_arg(in),
                                  SQL_NTS, out.data(), static_cast<SQLSMALLINT>(out.size()),
                                  &out_len, ask ? SQL_DRIVER_COMPLETE : SQL_DRIVER_NOPROMPT);
  if (!ok(r)) return false;
  connected_ = true;
  out.back() = 0;
  connect_string_ = to_gbk(reinterpret_cast<const wchar_t*>(out.data()));
  if (connect_string_.empty()) connect_string_ = to_gbk(in);
  if (default_db && *default_db) {
    std::wstring db = to_wide(default_db);
    SQLSetConnectAttrW(dbc_.get(), SQL_ATTR_CURRENT_CATALOG, wide_arg(db), SQL_NTS);
  }
  return true;
}

Connection::~Connection() {
  sets_.clear();
  tables_.clear();
  if (connected_) {
    if (in_transaction_) SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK);
    SQLDisconnect(dbc_.get());
  }
}

bool Connection::begin() {
  if (in_transaction_) return false;
  set_autocommit(dbc_.get(), false);
  in_transaction_ = true;
  return true;
}

bool Connection::end(bool commit) {
  if (!in_transaction_) return false;
  bool done = ok(SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), commit ? SQL_COMMIT : SQL_ROLLBACK));
  set_autocommit(dbc_.get(), true);
  in_transaction_ = false;
  return done;
}

bool Connection::open_set(std::string_view sql, const std::string& name) {
  sets_.erase(name);
  auto set = std::make_unique<RecordSet>();
  // A bare name stands for the whole table.
  std::string text = has_space(sql) ? std::string(sql) : "select * from " + std::string(sql);
  if (!set->open(dbc_.get(), to_wide(text))) return false;
  sets_[name] = std::move(set);
  return true;
}

RecordSet* Connection::set(const std::string& name) {
  auto it = sets_.find(name);
  return it == sets_.end() ? nullptr : it->second.get();
}

bool Connection::close_set(const char* name) {
  if (!name) {
    sets_.clear();
    return true;
  }
  return sets_.erase(name) != 0;
}

bool Connection::execute(std::string_view sql, const SqlParam* params, int count) {
  Handle st = new_statement(dbc_.get(), false);
  if (!st || count < 0 || (count > 0 && !params)) return false;
  struct Bound {
    std::wstring text;
    SQLLEN ind;
  };
  std::vector<Bound> bound(count);
  for (int i = 0; i < count; ++i) {
    const SqlParam& p = params[i];
    const char* data = reinterpret_cast<const char*>(static_cast<uintptr_t>(p.data));
    Bound& b = bound[i];
    SQLRETURN r;
    if (p.length == kTextParam) {
      b.text = to_wide(data ? data : "");
      b.ind = static_cast<SQLLEN>(b.text.size() * sizeof(wchar_t));
      r = SQLBindParameter(st.get(), static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT,
                           SQL_C_WCHAR, SQL_WLONGVARCHAR, b.text.empty() ? 1 : b.text.size(), 0,
                           b.text.data(), b.ind, &b.ind);
    } else {
      static char none = 0;
      if (p.length < 0) return false;
      b.ind = p.length;
      r = SQLBindParameter(st.get(), static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT,
                           SQL_C_BINARY, SQL_LONGVARBINARY, p.length ? p.length : 1, 0,
                           data && p.length ? const_cast<char*>(data) : &none, b.ind, &b.ind);
    }
    if (!ok(r)) return false;
  }
  std::wstring text = to_wide(sql);
  SQLRETURN r = SQLExecDirectW(st.get(), wide_arg(text), SQL_NTS);
  return ok(r) || r == SQL_NO_DATA;  // no row touched is still a statement that ran
}

int Connection::table_names(char* buffer, int size) {
  if (!buffer || size < 1) return 0;
  std::memset(buffer, 0, size);
  Handle st = new_statement(dbc_.get(), false);
  std::wstring types = L"TABLE";
  if (!st || !ok(SQLTablesW(st.get(), nullptr, 0, nullptr, 0, nullptr, 0, wide_arg(types),
                            SQL_NTS)))
    return 0;
  int count = 0, used = 0;
  while (ok(SQLFetch(st.get()))) {
    Cell name;
    if (!read_cell(st.get(), 2, SQL_WVARCHAR, name) || name.data.empty()) continue;
    // Whole names only, each with its zero, and room for the closing zero.
    if (used + static_cast<int>(name.data.size()) + 2 > size) break;
    std::memcpy(buffer + used, name.data.data(), name.data.size());
    used += static_cast<int>(name.data.size()) + 1;
    ++count;
  }
  return count;
}

EditTable* Connection::open_table(std::string_view sql) {
  auto t = std::make_unique<EditTable>();
  if (!t->open(dbc_.get(), sql)) return nullptr;
  tables_.push_back(std::move(t));
  return tables_.back().get();
}

EditTable* Connection::table(Table handle) {
  for (auto& t : tables_)
    if (reinterpret_cast<uintptr_t>(t.get()) == handle) return t.get();
  return nullptr;
}

}  // namespace sqlbridge
