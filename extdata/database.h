// The external database unit's state and methods: one provider connection, connects (plain,
// Access, SQL Server), transactions, record sets by name with their moves and end tests,
// column reads converted to values, and SQL with text and byte-set parameters. Every call
// goes to the provider module by name; a missing module or function gives the neutral
// answer (false, empty, or true for the two end tests) with no message.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "abi/sqlbridge.h"
#include "abi/values.h"

namespace extdata {

class Database {
 public:
  Database() = default;
  ~Database() { disconnect(); }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Closes any connection first; null texts are passed on as null.
  bool connect(const char* connect, const char* default_db, bool prompt);
  bool connect_access(const std::string& path, const std::string& user,
                      const std::string& password, const char* default_db, bool prompt);
  // The file data source "~sqlsrv.dsn" in the temporary folder exists only while the
  // provider connects: it is deleted whether the connect succeeded or not.
  bool connect_sql_server(const std::string& server, const std::string& user,
                          const std::string& password, const std::string& database,
                          const char* default_db, bool prompt);
  void disconnect();
  bool connected() const { return conn_ != 0; }

  std::string connect_string() const;
  bool begin_transaction();
  bool rollback_transaction();
  bool commit_transaction();

  bool open_set(const char* sql, const char* name);  // an empty SQL text fails at once
  bool requery(const char* name);
  bool close_set(const char* name);                  // null closes them all
  bool before_first(const char* name);
  bool after_last(const char* name);
  enum class Move { kFirst, kLast, kPrevious, kNext };
  bool move(const char* name, Move how);

  // Column by name or by 0-based number, as a value by the kind table (texts and bytes
  // copied into new runtime blocks); an empty text when there is nothing to read.
  void read_column(const char* set, const char* column, runtime::ResultRecord* out);
  void read_column(const char* set, int32_t column, runtime::ResultRecord* out);

  bool execute(const char* sql, const std::vector<sqlbridge::SqlParam>& params);

 private:
  bool call_connect(const char* connect, const char* default_db, bool prompt);
  bool conn_call(const char* function);
  bool set_call(const char* function, const char* name, bool fallback);
  sqlbridge::Conn conn_ = 0;
};

// The record filled by a column read, made into a value by the kind table.
void column_to_value(const sqlbridge::ColumnValue& v, runtime::ResultRecord* out);

// Asks the provider for a data source chosen by the user and copies its connection string
// into `buffer` (zero-filled first, at most size - 1 bytes); false when there is none.
bool choose_connection_string(char* buffer, int size);

}  // namespace extdata
