// Building the Access and SQL Server connection strings and the SQL Server file data source.
#include "extdata/connect_strings.h"
#include <windows.h>

namespace extdata {

namespace {

constexpr size_t kWorkstationLength = 23;

bool lead_byte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

}  // namespace

std::string_view cut_gbk(std::string_view s, size_t n) {
  size_t i = 0;
  while (i < s.size()) {
    size_t step = lead_byte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
    if (i + step > n) break;
    i += step;
  }
  return s.substr(0, i);
}

size_t last_backslash(std::string_view s) {
  size_t found = std::string_view::npos;
  for (size_t i = 0; i < s.size(); ++i) {
    if (lead_byte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) {
      ++i;
      continue;
    }
    if (s[i] == '\\') found = i;
  }
  return found;
}

std::string access_connect_string(std::string_view path, std::string_view user,
                                  std::string_view password) {
  std::string s = "ODBC;DBQ=";
  s += path;
  size_t slash = last_backslash(path);
  if (slash != std::string_view::npos) (s += ";DefaultDir=") += path.substr(0, slash);
  s += ";Driver={Microsoft Access Driver (*.mdb)};FIL=MS Access";
  if (!user.empty()) (s += ";UID=") += user;
  if (!password.empty()) (s += ";PWD=") += password;
  return s + ";";
}

SqlServerConnect sql_server_connect(std::string_view server, std::string_view user,
                                    std::string_view password, std::string_view database,
                                    std::string_view computer) {
  SqlServerConnect c;
  (c.text = ";DRIVER=SQL Server;SERVER=") += server;
  (c.dsn_file = "[ODBC]\r\nDRIVER=SQL Server\r\nSERVER=") += server;
  if (!user.empty()) {
    (c.text += ";UID=") += user;
    (c.dsn_file += "\r\nUID=") += user;
  }
  if (!password.empty()) (c.text += ";PWD=") += password;
  if (!database.empty()) {
    (c.text += ";DATABASE=") += database;
    (c.dsn_file += "\r\nDATABASE=") += database;
  }
  if (!computer.empty()) {
    (c.text += ";WSID=") += computer;
    (c.dsn_file += "\r\nWSID=") += computer;
  }
  c.dsn_file += "\r\n";
  return c;
}

std::string sql_server_connect_string(std::string_view dsn_path, const SqlServerConnect& c) {
  std::string s = "ODBC;FILEDSN=";
  s += dsn_path;
  return s + c.text + ";";
}

std::string workstation_id() {
  char name[MAX_COMPUTERNAME_LENGTH + 64];
  DWORD n = sizeof name;
  if (!GetComputerNameA(name, &n)) return {};
  return std::string(cut_gbk(std::string_view(name, n), kWorkstationLength));
}

}  // namespace extdata
