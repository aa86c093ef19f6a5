// A provider module for tests that records what the runtime hands it: every call as one line
// of text (texts as received, GBK), the file data source named by a FILEDSN connection string
// as it is at the moment of the connect, and the column value records it fills and gets back.
// Built twice: in full, and as an older provider with only the first entries (no
// "NewOpenDatabase", no end tests, no column reads).
#include <windows.h>
#include <cstdio>
#include <cstring>
#include <string>
#include "abi/sqlbridge.h"

using namespace sqlbridge;

namespace {

std::string g_log;
constexpr Conn kConn = 7;

void note(const std::string& line) { g_log += line + "\n"; }
std::string text(const char* s) { return s ? std::string("'") + s + "'" : "null"; }

// The file a "FILEDSN=" part names, as it is now (or "<no file>").
std::string dsn_file_of(const char* connect) {
  if (!connect) return "";
  const char* p = std::strstr(connect, "FILEDSN=");
  if (!p) return "";
  p += 8;
  const char* end = std::strchr(p, ';');
  std::string path = end ? std::string(p, end) : std::string(p);
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "dsn <no file>";
  char buf[4096];
  DWORD n = 0;
  ReadFile(h, buf, sizeof buf, &n, nullptr);
  CloseHandle(h);
  return "dsn " + std::string(buf, n);
}

Conn connect(const std::string& what, const char* connect) {
  note(what);
  std::string dsn = dsn_file_of(connect);
  if (!dsn.empty()) note(dsn);
  // A connection string holding "FAIL" is refused.
  return connect && std::strstr(connect, "FAIL") ? 0 : kConn;
}

}  // namespace

extern "C" {

// The test's view of the log: copies it and empties it.
const char* __cdecl RecorderTake() {
  static std::string taken;
  taken = g_log;
  g_log.clear();
  return taken.c_str();
}

Conn __cdecl OpenDatabase(const char* c, const char* db) {
  return connect("OpenDatabase " + text(c) + " " + text(db), c);
}

int32_t __cdecl CloseDatabase(Conn conn) {
  note("CloseDatabase " + std::to_string(conn));
  return 1;
}

const char* __cdecl GetConnectString(Conn conn) {
  note("GetConnectString " + std::to_string(conn));
  return "DSN=录音;UID=tester";
}

int32_t __cdecl ExecuteSql(Conn conn, const char* sql, const SqlParam* params, int32_t count) {
  std::string line = "ExecuteSql " + std::to_string(conn) + " " + text(sql) + " " +
                     std::to_string(count);
  for (int32_t i = 0; i < count; ++i) {
    const char* p = reinterpret_cast<const char*>(static_cast<uintptr_t>(params[i].data));
    if (params[i].length == kTextParam) {
      line += " text" + text(p);
    } else {
      line += " bytes" + std::to_string(params[i].length) + ":";
      char hex[4];
      for (int32_t k = 0; k < params[i].length; ++k) {
        std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(p[k]));
        line += hex;
      }
    }
  }
  note(line);
  return std::strstr(sql, "FAIL") ? 0 : 1;
}

#ifndef OLD_PROVIDER

Conn __cdecl NewOpenDatabase(const char* c, const char* db, int32_t prompt) {
  return connect("NewOpenDatabase " + text(c) + " " + text(db) + " " + std::to_string(prompt), c);
}

int32_t __cdecl BeginTrans(Conn conn) { note("BeginTrans " + std::to_string(conn)); return 1; }
int32_t __cdecl CommitTrans(Conn conn) { note("CommitTrans " + std::to_string(conn)); return 1; }
int32_t __cdecl RollbackTrans(Conn conn) { note("RollbackTrans " + std::to_string(conn)); return 0; }

int32_t __cdecl OpenTable(Conn conn, const char* sql, const char* rs) {
  note("OpenTable " + std::to_string(conn) + " " + text(sql) + " " + text(rs));
  return 1;
}

#define RECORD_SET_CALL(name, answer)                                   \
  int32_t __cdecl name(Conn conn, const char* rs) {                     \
    note(#name " " + std::to_string(conn) + " " + text(rs));            \
    return answer;                                                      \
  }
RECORD_SET_CALL(Requery, 1)
RECORD_SET_CALL(CloseTable, 1)
RECORD_SET_CALL(IsBOF, 0)
RECORD_SET_CALL(IsEOF, 0)
RECORD_SET_CALL(MoveFirst, 1)
RECORD_SET_CALL(MoveLast, 1)
RECORD_SET_CALL(MovePrev, 0)
RECORD_SET_CALL(MoveNext, 1)

// Column n (0-based) holds a value of kind n: the kind table's rows, including kinds it
// does not know (0, 4 and above 10).
int32_t __cdecl ReadColByIndex(Conn conn, const char* rs, int32_t column, ColumnValue* v) {
  note("ReadColByIndex " + std::to_string(conn) + " " + text(rs) + " " + std::to_string(column));
  std::memset(v, 0, sizeof *v);
  v->kind = static_cast<uint32_t>(column);
  v->owner = 0x5A5A5A5A;
  static const char kText[] = "文字";
  static const char kBytes[] = "\x01\x00\x02";
  double d = 45678.5;
  float f = 1.5f;
  switch (column) {
    case kKindByte: v->lo = 0x1FE; break;           // only the low byte counts
    case kKindShort: v->lo = 0x18000; break;        // only the low 16 bits count
    case kKindInt: v->lo = 0xFFFFFFFE; break;
    case kKindFloat: std::memcpy(&v->lo, &f, 4); break;
    case kKindDouble: case kKindDateTime: std::memcpy(&v->lo, &d, 8); break;
    case kKindBool: v->lo = 5; break;
    case kKindText: v->lo = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(kText)); break;
    case kKindBytes:
      v->lo = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(kBytes));
      v->hi = 3;
      break;
    default: v->lo = 0x12345678; break;
  }
  return 1;
}

int32_t __cdecl ReadColByName(Conn conn, const char* rs, const char* column, ColumnValue* v) {
  note("ReadColByName " + std::to_string(conn) + " " + text(rs) + " " + text(column));
  std::memset(v, 0, sizeof *v);
  v->kind = kKindText;
  static const char kName[] = "按名";
  v->lo = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(kName));
  return 1;
}

void __cdecl EmptyVar(ColumnValue* v) {
  note("EmptyVar kind " + std::to_string(v->kind));
  std::memset(v, 0, sizeof *v);
}

#endif  // OLD_PROVIDER

}  // extern "C"
