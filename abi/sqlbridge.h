// The external-data provider module ("sqlbridge.vsx"): the records and call shapes shared by
// the runtime's external database units, which look every function up by its exported name,
// and the module that serves them over ODBC. Texts are GBK.
//
// Column value record, 24 bytes, filled by "ReadColByName"/"ReadColByIndex" and released
// with "EmptyVar":
//   OFFSET SIZE DESCRIPTION
//     0x00    4 owner mark (the provider's; kColumnOwned while it holds a block)
//     0x04    4 the provider's block (text or bytes), freed by "EmptyVar"
//     0x08    4 kind (ColumnKind)
//     0x0C    4 not read by the runtime
//     0x10    8 the value: 8 bytes, or a text pointer (zero-terminated), or a byte pointer
//               at 0x10 and its length at 0x14
//
// Parameter of "ExecuteSql", 8 bytes per argument in argument order:
//   OFFSET SIZE DESCRIPTION
//     0x00    4 pointer: a zero-terminated text, or the bytes of a byte set
//     0x04    4 -1 for a text, else the byte count
#pragma once
#include <cstddef>
#include <cstdint>

namespace sqlbridge {

inline constexpr char kModuleName[] = "sqlbridge";
inline constexpr char kModuleExtension[] = ".vsx";

enum ColumnKind : uint32_t {
  kKindEmpty = 0,     // NULL, no row, no such column: read as an empty text
  kKindByte = 1,      // 8-bit integer
  kKindShort = 2,     // 16-bit integer
  kKindInt = 3,       // 32-bit integer
  kKindFloat = 5,     // 32-bit float
  kKindDouble = 6,    // 64-bit float
  kKindBool = 7,      // 32-bit truth value
  kKindText = 8,      // pointer to a zero-terminated text
  kKindDateTime = 9,  // 64-bit date-time (days from 1899-12-30)
  kKindBytes = 10,    // pointer and length
};

inline constexpr uint32_t kColumnOwned = 0x42514C53;  // "SLQB": word 1 holds our block

#pragma pack(push, 1)
struct ColumnValue {
  uint32_t owner;   // kColumnOwned while `block` is the provider's
  uint32_t block;   // the provider's allocation behind a text or bytes value
  uint32_t kind;    // ColumnKind
  uint32_t spare;   // not read by the runtime
  uint32_t lo;      // value bits 0..31, or the text / bytes pointer
  uint32_t hi;      // value bits 32..63, or the byte count
};
struct SqlParam {
  uint32_t data;    // text or bytes pointer
  int32_t length;   // -1: zero-terminated text; else the byte count
};
#pragma pack(pop)
static_assert(sizeof(ColumnValue) == 24);
static_assert(offsetof(ColumnValue, kind) == 8);
static_assert(offsetof(ColumnValue, lo) == 16 && offsetof(ColumnValue, hi) == 20);
static_assert(sizeof(SqlParam) == 8 && offsetof(SqlParam, length) == 4);

inline constexpr int32_t kTextParam = -1;

// Call shapes of the exported functions (C calling convention: the caller removes the
// arguments, so a provider that takes fewer cannot unbalance the stack). Every value is 32
// bits; a connection is a handle the provider hands out (0 = none), a record set is named by
// a text the program chooses.
using Conn = uint32_t;
using OpenDatabaseFn = Conn(__cdecl*)(const char* connect, const char* default_db);
using NewOpenDatabaseFn = Conn(__cdecl*)(const char* connect, const char* default_db,
                                         int32_t prompt);
using ConnFn = int32_t(__cdecl*)(Conn);                      // Close, Begin/Rollback/Commit
using GetConnectStringFn = const char*(__cdecl*)(Conn);
using OpenTableFn = int32_t(__cdecl*)(Conn, const char* sql, const char* rs);
using RecordSetFn = int32_t(__cdecl*)(Conn, const char* rs);  // Requery, Close, Is*, Move*
using ReadColByNameFn = int32_t(__cdecl*)(Conn, const char* rs, const char* column,
                                          ColumnValue*);
using ReadColByIndexFn = int32_t(__cdecl*)(Conn, const char* rs, int32_t column, ColumnValue*);
using EmptyVarFn = void(__cdecl*)(ColumnValue*);
using ExecuteSqlFn = int32_t(__cdecl*)(Conn, const char* sql, const SqlParam* params,
                                       int32_t count);
using GetTabListFn = int32_t(__cdecl*)(Conn, char* buffer, int32_t size);

// The editable table behind the database provider unit: a handle (0 = none) opened on a
// connection; rows and columns are 0-based.
using Table = uint32_t;
using OpenTableToModiFn = Table(__cdecl*)(Conn, const char* sql);
using TableFn = int32_t(__cdecl*)(Conn, Table);                   // ColCount, RecCount, Append, Zap
using TableColFn = int32_t(__cdecl*)(Conn, Table, int32_t col);   // ColWidth, ColSQLType
using TableColNameFn = const char*(__cdecl*)(Conn, Table, int32_t col);
using TableRemoveFn = int32_t(__cdecl*)(Conn, Table, int32_t first, int32_t count);
using TableGetTextFn = const char*(__cdecl*)(Conn, Table, int32_t row, int32_t col);
using TableSetTextFn = int32_t(__cdecl*)(Conn, Table, int32_t row, int32_t col,
                                         const char* text);

}  // namespace sqlbridge
