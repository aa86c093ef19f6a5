// External database unit methods, forwarded to the provider module by name.
#include "extdata/database.h"
#include <windows.h>
#include <cstring>
#include "extdata/connect_strings.h"
#include "extdata/provider.h"
#include "runtime/args.h"

namespace extdata {

using namespace sqlbridge;

namespace {

constexpr char kDsnName[] = "~sqlsrv.dsn";

std::string temp_folder() {
  char t[MAX_PATH + 1];
  DWORD n = GetTempPathA(sizeof t, t);
  return n && n < sizeof t ? std::string(t, n) : std::string();
}

// Writes the whole file; false when it could not be written.
bool write_file(const std::string& path, const std::string& content) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(h);
  return ok && written == content.size();
}

}  // namespace

bool Database::call_connect(const char* connect, const char* default_db, bool prompt) {
  disconnect();
  if (auto open = provider<NewOpenDatabaseFn>("NewOpenDatabase"))
    conn_ = open(connect, default_db, prompt ? 1 : 0);
  else if (auto old = provider<OpenDatabaseFn>("OpenDatabase"))
    conn_ = old(connect, default_db);
  return conn_ != 0;
}

bool Database::connect(const char* connect, const char* default_db, bool prompt) {
  return call_connect(connect, default_db, prompt);
}

bool Database::connect_access(const std::string& path, const std::string& user,
                              const std::string& password, const char* default_db,
                              bool prompt) {
  std::string s = access_connect_string(path, user, password);
  return call_connect(s.c_str(), default_db, prompt);
}

bool Database::connect_sql_server(const std::string& server, const std::string& user,
                                  const std::string& password, const std::string& database,
                                  const char* default_db, bool prompt) {
  SqlServerConnect c = sql_server_connect(server, user, password, database, workstation_id());
  std::string dsn = temp_folder() + kDsnName;
  write_file(dsn, c.dsn_file);
  std::string s = sql_server_connect_string(dsn, c);
  bool done = call_connect(s.c_str(), default_db, prompt);
  DeleteFileA(dsn.c_str());
  return done;
}

void Database::disconnect() {
  if (!conn_) return;
  if (auto close = provider<ConnFn>("CloseDatabase")) close(conn_);
  conn_ = 0;
}

std::string Database::connect_string() const {
  auto get = provider<GetConnectStringFn>("GetConnectString");
  const char* s = get ? get(conn_) : nullptr;
  return s ? s : "";
}

bool Database::conn_call(const char* function) {
  auto f = provider<ConnFn>(function);
  return f && f(conn_) != 0;
}

bool Database::begin_transaction() { return conn_call("BeginTrans"); }
bool Database::rollback_transaction() { return conn_call("RollbackTrans"); }
bool Database::commit_transaction() { return conn_call("CommitTrans"); }

bool Database::set_call(const char* function, const char* name, bool fallback) {
  auto f = provider<RecordSetFn>(function);
  return f ? f(conn_, name) != 0 : fallback;
}

bool Database::open_set(const char* sql, const char* name) {
  if (!sql || !*sql) return false;
  auto open = provider<OpenTableFn>("OpenTable");
  return open && open(conn_, sql, name) != 0;
}

bool Database::requery(const char* name) { return set_call("Requery", name, false); }
bool Database::close_set(const char* name) { return set_call("CloseTable", name, false); }
bool Database::before_first(const char* name) { return set_call("IsBOF", name, true); }
bool Database::after_last(const char* name) { return set_call("IsEOF", name, true); }

bool Database::move(const char* name, Move how) {
  static constexpr const char* kNames[] = {"MoveFirst", "MoveLast", "MovePrev", "MoveNext"};
  return set_call(kNames[static_cast<int>(how)], name, false);
}

void column_to_value(const ColumnValue& v, runtime::ResultRecord* out) {
  const auto* p = reinterpret_cast<const char*>(static_cast<uintptr_t>(v.lo));
  switch (v.kind) {
    case kKindByte: *out = {v.lo & 0xFF, 0, runtime::kTypeByte}; break;
    case kKindShort: *out = {v.lo & 0xFFFF, 0, runtime::kTypeShort}; break;
    case kKindInt: *out = {v.lo, 0, runtime::kTypeInt}; break;
    case kKindFloat: *out = {v.lo, 0, runtime::kTypeFloat}; break;
    case kKindDouble: *out = {v.lo, v.hi, runtime::kTypeDouble}; break;
    case kKindBool: *out = {v.lo ? 1u : 0u, 0, runtime::kTypeBool}; break;
    case kKindDateTime: *out = {v.lo, v.hi, runtime::kTypeDateTime}; break;
    case kKindText:
      runtime::set_text(out, p ? std::string_view(p) : std::string_view());
      out->type = runtime::kTypeText;
      break;
    case kKindBytes:
      runtime::set_bin(out, p ? std::string_view(p, v.hi) : std::string_view());
      out->type = runtime::kTypeBin;
      break;
    default:
      runtime::set_text(out, {});
      out->type = runtime::kTypeText;
  }
}

namespace {

template <typename Fn, typename Which>
void read_by(const char* function, Conn conn, const char* set, Which which,
             runtime::ResultRecord* out) {
  ColumnValue v{};
  if (auto read = provider<Fn>(function)) {
    read(conn, set, which, &v);
    column_to_value(v, out);
    if (auto empty = provider<EmptyVarFn>("EmptyVar")) empty(&v);
    return;
  }
  column_to_value(v, out);
}

}  // namespace

void Database::read_column(const char* set, const char* column, runtime::ResultRecord* out) {
  read_by<ReadColByNameFn>("ReadColByName", conn_, set, column, out);
}

void Database::read_column(const char* set, int32_t column, runtime::ResultRecord* out) {
  read_by<ReadColByIndexFn>("ReadColByIndex", conn_, set, column, out);
}

bool Database::execute(const char* sql, const std::vector<SqlParam>& params) {
  if (!sql || !*sql) return false;
  auto run = provider<ExecuteSqlFn>("ExecuteSql");
  return run && run(conn_, sql, params.empty() ? nullptr : params.data(),
                    static_cast<int32_t>(params.size())) != 0;
}

bool choose_connection_string(char* buffer, int size) {
  if (!buffer || size < 1) return false;
  std::memset(buffer, 0, size);
  auto open = provider<OpenDatabaseFn>("OpenDatabase");
  Conn conn = open ? open(nullptr, nullptr) : 0;
  if (!conn) return false;
  auto get = provider<GetConnectStringFn>("GetConnectString");
  const char* s = get ? get(conn) : nullptr;
  if (s) {
    std::string_view text = cut_gbk(s, static_cast<size_t>(size - 1));
    std::memcpy(buffer, text.data(), text.size());
  }
  if (auto close = provider<ConnFn>("CloseDatabase")) close(conn);
  return s && *s;
}

}  // namespace extdata
