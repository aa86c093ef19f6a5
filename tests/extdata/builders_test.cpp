// Texts the external data units build on their own: the Access and SQL Server connection
// strings and file data source, and the provider unit's cell normalisation.
#include <gtest/gtest.h>
#include <string>
#include "corelib/install.h"
#include "extdata/connect_strings.h"
#include "extdata/provider_table.h"

namespace {

TEST(ConnectStrings, Access) {
  struct Case { const char* path; const char* user; const char* password; const char* expected; };
  const Case cases[] = {
      {"C:\\data\\库.mdb", "", "",
       "ODBC;DBQ=C:\\data\\库.mdb;DefaultDir=C:\\data;Driver={Microsoft Access Driver (*.mdb)};"
       "FIL=MS Access;"},
      {"库.mdb", "admin", "secret",
       "ODBC;DBQ=库.mdb;Driver={Microsoft Access Driver (*.mdb)};FIL=MS Access;UID=admin;"
       "PWD=secret;"},
      {"D:\\x.mdb", "", "pw",
       "ODBC;DBQ=D:\\x.mdb;DefaultDir=D:;Driver={Microsoft Access Driver (*.mdb)};"
       "FIL=MS Access;PWD=pw;"},
      // The second byte of "乗" is the byte of "\": it is no folder separator.
      {"乗.mdb", "u", "",
       "ODBC;DBQ=乗.mdb;Driver={Microsoft Access Driver (*.mdb)};FIL=MS Access;UID=u;"},
      {"E:\\乗\\乗.mdb", "", "",
       "ODBC;DBQ=E:\\乗\\乗.mdb;DefaultDir=E:\\乗;Driver={Microsoft Access Driver (*.mdb)};"
       "FIL=MS Access;"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(extdata::access_connect_string(c.path, c.user, c.password), c.expected) << c.path;
}

TEST(ConnectStrings, SqlServer) {
  struct Case {
    const char *server, *user, *password, *database, *computer, *text, *file;
  };
  const Case cases[] = {
      {"srv", "sa", "pw", "sales", "PC1", ";DRIVER=SQL Server;SERVER=srv;UID=sa;PWD=pw;DATABASE=sales;WSID=PC1",
       "[ODBC]\r\nDRIVER=SQL Server\r\nSERVER=srv\r\nUID=sa\r\nDATABASE=sales\r\nWSID=PC1\r\n"},
      {"srv", "", "", "", "", ";DRIVER=SQL Server;SERVER=srv",
       "[ODBC]\r\nDRIVER=SQL Server\r\nSERVER=srv\r\n"},
      {"(local)", "", "pw", "库", "", ";DRIVER=SQL Server;SERVER=(local);PWD=pw;DATABASE=库",
       "[ODBC]\r\nDRIVER=SQL Server\r\nSERVER=(local)\r\nDATABASE=库\r\n"},
  };
  for (const Case& c : cases) {
    extdata::SqlServerConnect s =
        extdata::sql_server_connect(c.server, c.user, c.password, c.database, c.computer);
    EXPECT_EQ(s.text, c.text);
    EXPECT_EQ(s.dsn_file, c.file);
  }
  extdata::SqlServerConnect s = extdata::sql_server_connect("a", "", "", "", "");
  EXPECT_EQ(extdata::sql_server_connect_string("C:\\t\\~sqlsrv.dsn", s),
            "ODBC;FILEDSN=C:\\t\\~sqlsrv.dsn;DRIVER=SQL Server;SERVER=a;");
}

TEST(ConnectStrings, WorkstationIdAndCuts) {
  std::string id = extdata::workstation_id();
  EXPECT_FALSE(id.empty());
  EXPECT_LE(id.size(), 23u);
  EXPECT_EQ(extdata::cut_gbk("abcdef", 3), "abc");
  EXPECT_EQ(extdata::cut_gbk("ab汉字", 3), "ab");   // never half a character
  EXPECT_EQ(extdata::cut_gbk("ab汉字", 4), "ab汉");
  EXPECT_EQ(extdata::last_backslash("a\\b乗c"), 1u);
}

TEST(ProviderCells, WritesNormalisedByType) {
  corelib::install();  // the core library's date rules
  struct Case { int type; const char* text; const char* expected; };
  const Case cases[] = {
      {4, "42", "42"},         {4, " -17.9x", "-17"},       {4, "abc", "0"},
      {4, "1e12", "2147483647"},
      {5, "40000", "32767"},   {5, "-40000", "-32768"},     {5, "123", "123"},
      {-6, "-1", "0"},         {-6, "256", "255"},          {-6, "7", "7"},
      {9, "2024-02-29 13:45:10", "2024-02-29 13:45:10"},    {10, "2001年2月3日", "2001-02-03 00:00:00"},
      {11, "", "0100-01-01 00:00:00"},                      {11, "2024-13-45", "0100-01-01 00:00:00"},
      {-7, "1", "1"},  {-7, "真", "1"},  {-7, "TRUE", "1"},  {-7, "t", "1"},  {-7, "Zheng", "1"},
      {-7, "zhen", "1"}, {-7, "ZENG", "1"}, {-7, "zen", "1"}, {-7, "Z", "1"},
      {-7, "0", "0"},  {-7, "假", "0"},  {-7, "yes", "0"},   {-7, "", "0"},   {-7, "11", "0"},
      {12, " 原样 ", " 原样 "}, {8, "1.50", "1.50"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(extdata::normalise_cell(c.type, c.text), c.expected) << c.type << " " << c.text;
}

TEST(ProviderCells, SqlDateTexts) {
  struct Case { double value; const char* expected; };
  const Case cases[] = {
      {0.0, "1899-12-30 00:00:00"},      {2.5, "1900-01-01 12:00:00"},
      {-1.25, "1899-12-29 06:00:00"},    {-657434.0, "0100-01-01 00:00:00"},
      {45351.573032407, "2024-02-29 13:45:10"},
      {36526.999999999, "2000-01-02 00:00:00"},
  };
  for (const Case& c : cases) EXPECT_EQ(extdata::sql_date_text(c.value), c.expected) << c.value;
}

TEST(ProviderCells, KindsBySqlType) {
  using extdata::CellKind;
  struct Case { int type; CellKind kind; };
  const Case cases[] = {
      {4, CellKind::kInteger}, {5, CellKind::kShort},    {6, CellKind::kDouble},
      {8, CellKind::kDouble},  {7, CellKind::kFloat},    {9, CellKind::kDateTime},
      {10, CellKind::kDateTime}, {11, CellKind::kDateTime}, {-7, CellKind::kLogical},
      {-6, CellKind::kByte},   {-5, CellKind::kLong},    {12, CellKind::kText},
      {93, CellKind::kText},   {0, CellKind::kText},
  };
  for (const Case& c : cases) EXPECT_EQ(extdata::cell_kind(c.type), c.kind) << c.type;
}

}  // namespace
