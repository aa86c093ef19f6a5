// One connection to a data source: the ODBC environment and connection, the connection
// string in use, transactions, the record sets by name, statements with parameters and the
// editable tables opened on it.
#pragma once
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>
#include "abi/sqlbridge.h"
#include "edit_table.h"
#include "odbc.h"
#include "record_set.h"

namespace sqlbridge {

class Connection {
 public:
  // Connects with a connection string (a leading "ODBC;" is dropped); with `prompt` the
  // driver may ask the user for what is missing. A non-empty `default_db` becomes the
  // current catalog. False when the connection cannot be made.
  bool open(const char* connect, const char* default_db, bool prompt);
  ~Connection();

  const std::string& connect_string() const { return connect_string_; }  // GBK

  bool begin();
  bool end(bool commit);

  // Record sets by name; opening a name already open replaces it.
  bool open_set(std::string_view sql, const std::string& name);
  RecordSet* set(const std::string& name);
  bool close_set(const char* name);  // null closes them all

  bool execute(std::string_view sql, const SqlParam* params, int count);
  int table_names(char* buffer, int size);  // names separated by zeros, then one more zero

  EditTable* open_table(std::string_view sql);
  EditTable* table(Table handle);

 private:
  Handle env_, dbc_;
  bool connected_ = false;
  bool in_transaction_ = false;
  std::string connect_string_;
  std::map<std::string, std::unique_ptr<RecordSet>> sets_;
  std::vector<std::unique_ptr<EditTable>> tables_;
};

}  // namespace sqlbridge
