// The connection strings of the external database unit's Access and SQL Server connects, and
// the file data source that goes with the SQL Server one. Texts are GBK.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace extdata {

// Position of the last "\" of a GBK text that is a character of its own (not the second
// byte of a double-byte character), or npos.
size_t last_backslash(std::string_view gbk);

// The longest prefix of a GBK text of at most `n` bytes that does not end inside a
// double-byte character.
std::string_view cut_gbk(std::string_view gbk, size_t n);

// "ODBC;DBQ=" path [";DefaultDir=" folder] ";Driver={Microsoft Access Driver (*.mdb)};FIL=MS
// Access" [";UID=" user] [";PWD=" password] ";"; empty user and password add nothing.
std::string access_connect_string(std::string_view path, std::string_view user,
                                  std::string_view password);

struct SqlServerConnect {
  std::string text;      // ";DRIVER=SQL Server;SERVER=..." without the closing ";"
  std::string dsn_file;  // the file data source's content
};
// Empty user, password, database or computer name add nothing; the password never goes
// into the file.
SqlServerConnect sql_server_connect(std::string_view server, std::string_view user,
                                    std::string_view password, std::string_view database,
                                    std::string_view computer);
// "ODBC;FILEDSN=" + the file's path + the connection text + ";".
std::string sql_server_connect_string(std::string_view dsn_path, const SqlServerConnect& c);

// This computer's name as the platform gives it, at most 23 bytes (never cutting a
// double-byte character); empty when it has none.
std::string workstation_id();

}  // namespace extdata
