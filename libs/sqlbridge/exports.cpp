// The functions the runtime looks up by name. A connection handle is the address of a live
// Connection, checked against the set of live ones before any use; nothing thrown inside
// leaves a function: every failure becomes the function's neutral answer.
#include <cstring>
#include <new>
#include <set>
#include <string>
#include "abi/sqlbridge.h"
#include "connection.h"

using namespace sqlbridge;

namespace {

std::set<Connection*>& live() {
  static std::set<Connection*> connections;
  return connections;
}

Connection* find(Conn conn) {
  auto* c = reinterpret_cast<Connection*>(static_cast<uintptr_t>(conn));
  return live().count(c) ? c : nullptr;
}

RecordSet* find_set(Conn conn, const char* rs) {
  Connection* c = find(conn);
  return c && rs ? c->set(rs) : nullptr;
}

// Runs `body`, answering `fallback` when it throws.
template <typename R, typename F>
R guarded(R fallback, F body) {
  try {
    return body();
  } catch (...) {
    return fallback;
  }
}

Conn open_database(const char* connect, const char* default_db, bool prompt) {
  return guarded<Conn>(0, [&] {
    auto* c = new Connection;
    if (!c->open(connect, default_db, prompt)) {
      delete c;
      return Conn(0);
    }
    live().insert(c);
    return static_cast<Conn>(reinterpret_cast<uintptr_t>(c));
  });
}

int32_t move(Conn conn, const char* rs, SQLSMALLINT orientation) {
  return guarded<int32_t>(0, [&] {
    RecordSet* s = find_set(conn, rs);
    return s && s->move(orientation) ? 1 : 0;
  });
}

void fill(ColumnValue* out, const Cell* cell) {
  std::memset(out, 0, sizeof *out);
  if (!cell || cell->kind == kKindEmpty) return;
  out->kind = cell->kind;
  if (cell->kind != kKindText && cell->kind != kKindBytes) {
    out->lo = static_cast<uint32_t>(cell->bits);
    out->hi = static_cast<uint32_t>(cell->bits >> 32);
    return;
  }
  char* block = new char[cell->data.size() + 1];
  std::memcpy(block, cell->data.data(), cell->data.size());
  block[cell->data.size()] = 0;
  out->owner = kColumnOwned;
  out->block = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(block));
  out->lo = out->block;
  out->hi = cell->kind == kKindBytes ? static_cast<uint32_t>(cell->data.size()) : 0;
}

int32_t read_column(Conn conn, const char* rs, ColumnValue* out, int column,
                    const char* name) {
  if (!out) return 0;
  return guarded<int32_t>(0, [&] {
    fill(out, nullptr);
    RecordSet* s = find_set(conn, rs);
    if (!s) return 0;
    const Cell* cell = s->cell(name ? s->column_named(name) : column);
    fill(out, cell);
    return cell ? 1 : 0;
  });
}

EditTable* find_table(Conn conn, Table t) {
  Connection* c = find(conn);
  return c ? c->table(t) : nullptr;
}

}  // namespace

extern "C" {

Conn __cdecl OpenDatabase(const char* connect, const char* default_db) {
  return open_database(connect, default_db, false);
}

Conn __cdecl NewOpenDatabase(const char* connect, const char* default_db, int32_t prompt) {
  return open_database(connect, default_db, prompt != 0);
}

int32_t __cdecl CloseDatabase(Conn conn) {
  Connection* c = find(conn);
  if (!c) return 0;
  live().erase(c);
  guarded<int>(0, [&] {
    delete c;
    return 0;
  });
  return 1;
}

const char* __cdecl GetConnectString(Conn conn) {
  Connection* c = find(conn);
  return c ? c->connect_string().c_str() : nullptr;
}

int32_t __cdecl BeginTrans(Conn conn) {
  return guarded<int32_t>(0, [&] { return find(conn) && find(conn)->begin() ? 1 : 0; });
}
int32_t __cdecl RollbackTrans(Conn conn) {
  return guarded<int32_t>(0, [&] { return find(conn) && find(conn)->end(false) ? 1 : 0; });
}
int32_t __cdecl CommitTrans(Conn conn) {
  return guarded<int32_t>(0, [&] { return find(conn) && find(conn)->end(true) ? 1 : 0; });
}

int32_t __cdecl OpenTable(Conn conn, const char* sql, const char* rs) {
  return guarded<int32_t>(0, [&] {
    Connection* c = find(conn);
    return c && sql && *sql && rs && c->open_set(sql, rs) ? 1 : 0;
  });
}

int32_t __cdecl Requery(Conn conn, const char* rs) {
  return guarded<int32_t>(0, [&] {
    RecordSet* s = find_set(conn, rs);
    return s && s->requery() ? 1 : 0;
  });
}

int32_t __cdecl CloseTable(Conn conn, const char* rs) {
  return guarded<int32_t>(0, [&] {
    Connection* c = find(conn);
    return c && c->close_set(rs) ? 1 : 0;
  });
}

int32_t __cdecl IsBOF(Conn conn, const char* rs) {
  RecordSet* s = find_set(conn, rs);
  return !s || s->bof() ? 1 : 0;
}
int32_t __cdecl IsEOF(Conn conn, const char* rs) {
  RecordSet* s = find_set(conn, rs);
  return !s || s->eof() ? 1 : 0;
}
int32_t __cdecl MoveFirst(Conn conn, const char* rs) { return move(conn, rs, SQL_FETCH_FIRST); }
int32_t __cdecl MoveLast(Conn conn, const char* rs) { return move(conn, rs, SQL_FETCH_LAST); }
int32_t __cdecl MovePrev(Conn conn, const char* rs) { return move(conn, rs, SQL_FETCH_PRIOR); }
int32_t __cdecl MoveNext(Conn conn, const char* rs) { return move(conn, rs, SQL_FETCH_NEXT); }

int32_t __cdecl ReadColByName(Conn conn, const char* rs, const char* column, ColumnValue* out) {
  return read_column(conn, rs, out, -1, column ? column : "");
}

int32_t __cdecl ReadColByIndex(Conn conn, const char* rs, int32_t column, ColumnValue* out) {
  return read_column(conn, rs, out, column, nullptr);
}

void __cdecl EmptyVar(ColumnValue* v) {
  if (!v) return;
  if (v->owner == kColumnOwned) delete[] reinterpret_cast<char*>(static_cast<uintptr_t>(v->block));
  std::memset(v, 0, sizeof *v);
}

int32_t __cdecl ExecuteSql(Conn conn, const char* sql, const SqlParam* params, int32_t count) {
  return guarded<int32_t>(0, [&] {
    Connection* c = find(conn);
    return c && sql && *sql && c->execute(sql, params, count) ? 1 : 0;
  });
}

int32_t __cdecl GetTabList(Conn conn, char* buffer, int32_t size) {
  return guarded<int32_t>(0, [&] {
    Connection* c = find(conn);
    return c ? c->table_names(buffer, size) : 0;
  });
}

Table __cdecl OpenTableToModi(Conn conn, const char* sql) {
  return guarded<Table>(0, [&] {
    Connection* c = find(conn);
    EditTable* t = c && sql && *sql ? c->open_table(sql) : nullptr;
    return static_cast<Table>(reinterpret_cast<uintptr_t>(t));
  });
}

int32_t __cdecl BDGetColCount(Conn conn, Table t) {
  EditTable* e = find_table(conn, t);
  return e ? e->column_count() : 0;
}
int32_t __cdecl BDGetRecCount(Conn conn, Table t) {
  return guarded<int32_t>(0, [&] {
    EditTable* e = find_table(conn, t);
    return e ? e->row_count() : 0;
  });
}
int32_t __cdecl BDGetColWidth(Conn conn, Table t, int32_t col) {
  EditTable* e = find_table(conn, t);
  return e ? e->display_width(col) : 0;
}
int32_t __cdecl BDGetColSQLType(Conn conn, Table t, int32_t col) {
  EditTable* e = find_table(conn, t);
  const ColumnInfo* c = e ? e->column(col) : nullptr;
  if (!c) return 0;
  // The table unit knows date and time columns by their older codes 9..11.
  switch (c->sql_type) {
    case SQL_TYPE_DATE: return SQL_DATE;
    case SQL_TYPE_TIME: return SQL_TIME;
    case SQL_TYPE_TIMESTAMP: return SQL_TIMESTAMP;
    default: return c->sql_type;
  }
}
const char* __cdecl BDGetColName(Conn conn, Table t, int32_t col) {
  EditTable* e = find_table(conn, t);
  const ColumnInfo* c = e ? e->column(col) : nullptr;
  return c ? c->name.c_str() : nullptr;
}
const char* __cdecl BDGetColText(Conn conn, Table t, int32_t row, int32_t col) {
  return guarded<const char*>(nullptr, [&] {
    EditTable* e = find_table(conn, t);
    return e ? e->text(row, col) : nullptr;
  });
}
int32_t __cdecl BDAppendBlank(Conn conn, Table t) {
  return guarded<int32_t>(0, [&] {
    EditTable* e = find_table(conn, t);
    return e && e->append_blank() ? 1 : 0;
  });
}
int32_t __cdecl BDZap(Conn conn, Table t) {
  return guarded<int32_t>(0, [&] {
    EditTable* e = find_table(conn, t);
    return e && e->zap() ? 1 : 0;
  });
}
int32_t __cdecl BDRemove(Conn conn, Table t, int32_t first, int32_t count) {
  return guarded<int32_t>(0, [&] {
    EditTable* e = find_table(conn, t);
    return e && e->remove(first, count) ? 1 : 0;
  });
}
int32_t __cdecl BDSetColText(Conn conn, Table t, int32_t row, int32_t col, const char* text) {
  return guarded<int32_t>(0, [&] {
    EditTable* e = find_table(conn, t);
    return e && e->set_text(row, col, text ? text : "") ? 1 : 0;
  });
}

}  // extern "C"
