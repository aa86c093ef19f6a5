// The database provider unit against the real driver: opening by table name or SQL, column
// titles and pixel widths, rows, cells shown by their column's type, and cell writes
// normalised by type before they reach the database.
#include <windows.h>
#include <gtest/gtest.h>
#include <string>
#include "../corelib/call.h"
#include <random>
#include "runtime/heap.h"
#include "units/events.h"
#include "unit_window.h"

namespace {

using calls::Int;
using calls::Text;
using runtime::ArgRecord;
using namespace extdata_test;

constexpr int kConnect = 539, kOpenSet = 545, kFirst = 550, kNext = 553, kRead = 554,
              kExecute = 555;

std::string database() {
  char buf[1024];
  DWORD n = GetEnvironmentVariableA("ORVEL_ODBC_SCRATCH", buf, sizeof buf);
  // A file per test, so that tests running side by side never share one.
  std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  return "DRIVER=SQLite3;Database=" + std::string(buf, n < sizeof buf ? n : 0) + "/provider_" +
         test + ".db";
}

class ProviderUnit : public UnitWindow {
 protected:
  void SetUp() override {
    UnitWindow::SetUp();
    ASSERT_NE(calls::call(kConnect, {db(), Text(database())}).lo, 0u);
    ASSERT_TRUE(run("drop table if exists t"));
    ASSERT_TRUE(run("create table t(id integer, name varchar(300), small smallint, "
                    "tiny tinyint, flag bit, born timestamp, price double)"));
    ASSERT_TRUE(run("insert into t values(1, '甲', 1, 2, 1, '2024-02-29 13:45:10', 1.5)"));
    ASSERT_TRUE(run("insert into t values(2, '乙', 3, 4, 0, null, null)"));
  }
  static bool run(const std::string& sql) {
    return calls::call(kExecute, {db(), Text(sql)}).lo != 0;
  }
  // Opens the provider unit by writing its two properties.
  extdata::ProviderTable* open(const std::string& connect, const std::string& source) {
    units::write_property(kWindow, kProvider, 8, -1,
                          static_cast<uint32_t>(reinterpret_cast<uintptr_t>(connect.c_str())), 0);
    units::write_property(kWindow, kProvider, 9, -1,
                          static_cast<uint32_t>(reinterpret_cast<uintptr_t>(source.c_str())), 0);
    return extdata::provider_table_of(kWindow, kProvider);
  }
  // Column `column` of row `id` as the database holds it, as text.
  static std::string stored(int id, const std::string& column) {
    std::string sql = "select cast(" + column + " as text) as v from t where id = " +
                      std::to_string(id);
    EXPECT_NE(calls::call(kOpenSet, {db(), Text(sql), Text("check")}).lo, 0u);
    return calls::take_text(calls::call(kRead, {db(), Text("check"), Text("v")})).value_or("");
  }
};

int char_width() {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return tm.tmAveCharWidth;
}

TEST_F(ProviderUnit, ColumnsRowsAndCellsOfATable) {
  extdata::ProviderTable* table = open(database(), "t");
  ASSERT_NE(table, nullptr);
  ASSERT_TRUE(table->is_open());
  ASSERT_EQ(table->column_count(), 7);
  EXPECT_EQ(table->column_title(1), "name");
  EXPECT_EQ(table->column_kind(0), extdata::CellKind::kInteger);
  EXPECT_EQ(table->column_kind(2), extdata::CellKind::kShort);
  EXPECT_EQ(table->column_kind(3), extdata::CellKind::kByte);
  EXPECT_EQ(table->column_kind(4), extdata::CellKind::kLogical);
  EXPECT_EQ(table->column_kind(5), extdata::CellKind::kDateTime);
  EXPECT_EQ(table->column_kind(6), extdata::CellKind::kDouble);
  // Widths in characters within 3..100, times one character of the font, plus 27.
  const std::vector<int>& widths = table->column_widths();
  ASSERT_EQ(widths.size(), 7u);
  EXPECT_EQ(widths[1], 100 * char_width() + 27);  // varchar(300)
  EXPECT_EQ(widths[4], 3 * char_width() + 27);    // a bit shows in 1 character
  for (int w : widths) {
    EXPECT_GE(w, 3 * char_width() + 27);
    EXPECT_LE(w, 100 * char_width() + 27);
  }

  ASSERT_EQ(table->row_count(), 2);
  EXPECT_EQ(table->cell_text(0, 1), "甲");
  EXPECT_EQ(table->cell_text(0, 4), "真");
  EXPECT_EQ(table->cell_text(1, 4), "假");
  EXPECT_EQ(table->cell_text(0, 5), "2024年2月29日13时45分10秒");
  EXPECT_EQ(table->cell_text(1, 6), "");  // NULL
  EXPECT_EQ(table->cell_text(5, 0), "");  // no such row

  // Writes are normalised by the column's type and reach the database.
  struct Case { int column; const char* name; const char* written; const char* stored; };
  const Case cases[] = {
      {0, "id", "12.7abc", "12"},
      {2, "small", "99999", "32767"},
      {2, "small", "-40000", "-32768"},
      {3, "tiny", "-5", "0"},
      {3, "tiny", "300", "255"},
      {4, "flag", "Zhen", "1"},
      {4, "flag", "真", "1"},
      {4, "flag", "no", "0"},
      {5, "born", "2024/3/1", "2024-03-01 00:00:00"},
      {5, "born", "不是日期", "0100-01-01 00:00:00"},
      {1, "name", "  丙 ", "  丙 "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " <- " + c.written);
    ASSERT_TRUE(table->set_cell(1, c.column, c.written));
    int id = c.column == 0 ? 12 : 2;
    EXPECT_EQ(stored(id, c.name), c.stored);
    if (c.column == 0) {
      ASSERT_TRUE(table->set_cell(1, 0, "2"));  // back, so row 2 is found
    }
  }
  EXPECT_FALSE(table->set_cell(9, 1, "x"));

  // Rows: append, remove, resize.
  ASSERT_TRUE(table->append_blank());
  EXPECT_EQ(table->row_count(), 3);
  ASSERT_TRUE(table->remove(0, 1));
  EXPECT_EQ(table->row_count(), 2);
  EXPECT_EQ(table->cell_text(0, 0), "2");
  EXPECT_FALSE(table->remove(1, 5));
  ASSERT_TRUE(table->resize(4));
  EXPECT_EQ(table->row_count(), 4);
  EXPECT_EQ(stored(2, "name"), "");  // the old rows are gone
  ASSERT_TRUE(table->zap());
  EXPECT_EQ(table->row_count(), 0);
}

TEST_F(ProviderUnit, SqlSourcesAndRefusals) {
  // "select " in any case opens the text as SQL; a query that is not a whole table is read only.
  extdata::ProviderTable* table = open(database(), "SeLeCt name from t order by id desc");
  ASSERT_NE(table, nullptr);
  ASSERT_TRUE(table->is_open());
  EXPECT_EQ(table->column_count(), 1);
  EXPECT_EQ(table->cell_text(0, 0), "乙");
  EXPECT_FALSE(table->set_cell(0, 0, "x"));
  EXPECT_FALSE(table->append_blank());

  // Both texts are needed; a table that does not exist or a data source that cannot be
  // reached leaves the unit closed.
  EXPECT_FALSE(open(database(), "")->is_open());
  EXPECT_FALSE(open("", "t")->is_open());
  EXPECT_FALSE(open(database(), "no_table")->is_open());
  EXPECT_FALSE(open("DSN=没有", "t")->is_open());
  EXPECT_EQ(open("DSN=没有", "t")->row_count(), 0);
  EXPECT_EQ(open("DSN=没有", "t")->cell_text(0, 0), "");

  // The properties read back as written.
  open(database(), "t");
  auto* text = reinterpret_cast<char*>(
      static_cast<uintptr_t>(units::read_property(kWindow, kProvider, 9, -1)));
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "t");
  runtime::free_block(text);
}

TEST(ExternalDataUnits, StoredDataReadBackAndHostileDataRefused) {
  units::install();
  extdata::install();
  units::hold_events();  // these units belong to no window record: no events
  HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  auto make = [&](uint32_t type, const std::string& data) {
    auto create = reinterpret_cast<units::CreateOp>(
        units::type_operation(units::core_type_entry(type), units::kCreate));
    return create ? create(reinterpret_cast<const uint8_t*>(data.data()),
                           static_cast<uint32_t>(data.size()), 0, parent, 100, nullptr, 0, 0, 10,
                           10, kWindow, 0x16019100, 0, 0)
                  : nullptr;
  };
  auto saved = [](void* unit, uint32_t type) {
    auto get_all = reinterpret_cast<void*(__cdecl*)(void*, uint32_t*)>(
        units::type_operation(units::core_type_entry(type), units::kGetAllData));
    uint32_t length = 0;
    void* block = get_all(unit, &length);
    std::string out(static_cast<char*>(block), length);
    runtime::free_block(block);
    return out;
  };
  auto destroy = [](void* u) { DestroyWindow(static_cast<framework::Window*>(u)->handle()); };

  // Data as stored comes back as it went in; a newer version is refused.
  const std::string data = provider_data("DSN=甲", "表");
  void* provider = make(47, data);
  ASSERT_NE(provider, nullptr);
  EXPECT_EQ(saved(provider, 47), data);
  destroy(provider);
  void* database = make(46, "");
  ASSERT_NE(database, nullptr);
  EXPECT_EQ(saved(database, 46), std::string("\x01\0\0\0", 4));
  destroy(database);
  EXPECT_EQ(make(46, std::string("\x02\0\0\0", 4)), nullptr);
  EXPECT_EQ(make(47, std::string("\x02\0\0\0", 4)), nullptr);

  // Random and cut data: a unit or none, never a read past the end.
  std::mt19937 rng(11);
  int made = 0, refused = 0;
  for (uint32_t type : {46u, 47u}) {
    for (int i = 0; i < 60; ++i) {
      std::string bytes(rng() % 64, '\0');
      for (char& b : bytes) b = static_cast<char>(rng());
      if (i % 2 == 0 && bytes.size() >= 4) bytes[0] = 1, bytes[1] = bytes[2] = bytes[3] = 0;
      if (void* u = make(type, bytes)) {
        ++made;
        destroy(u);
      } else {
        ++refused;
      }
    }
  }
  EXPECT_GT(made, 0);
  EXPECT_GT(refused, 0);
  DestroyWindow(parent);
  units::release_events();
}

}  // namespace
