// Database provider unit: a never-shown unit that reads the records of a database of the
// embedded engine (file, open mode, password) through the reader the core library installs,
// and offers them to the data sources that bind it. Open mode 1 is read-only; in the other
// modes a changed cell, a new row and a removed row are written back to the database first
// and shown only when it took them. Without a reader, or with a file that cannot be read,
// the table is empty.
#include "units/media_units.h"
#include "units/table_provider.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int { kFile = 0, kMode = 1, kPassword = 2 };

// Open modes: 0 read and write, 1 read only, 2 exclusive.
constexpr Field kFields[] = {{Kind::kText}, {Kind::kPick, 0, 2}, {Kind::kText}};

constexpr char kClass[] = "OrvelDbProvider";

class DBProvider : public TableProvider {
 public:
  DBProvider() : TableProvider(kFields, std::size(kFields), 1) {}
  bool create_window(const CreateArgs& a) override {
    if (!create_private(kClass, a)) return false;
    read();
    return true;
  }
  bool set_cell(int r, int c, const std::string& v) override {
    if (read_only() || r < 0 || r >= rows() || c < 0 || c >= columns() || records_[r] < 0)
      return false;
    return write({TableEdit::kSetCell, records_[r], c, v}, nullptr) && TableProvider::set_cell(r, c, v);
  }
  int add_row() override {
    int32_t record = 0;
    if (read_only() || !write({TableEdit::kAppend, 0, 0, {}}, &record)) return -1;
    int r = TableProvider::add_row();
    if (r >= 0) records_.push_back(record);
    return r;
  }
  bool remove_row(int r) override {
    if (read_only() || r < 0 || r >= rows() || records_[r] < 0 ||
        !write({TableEdit::kDelete, records_[r], 0, {}}, nullptr))
      return false;
    records_.erase(records_.begin() + r);
    return TableProvider::remove_row(r);
  }

 protected:
  bool read_only() const override { return num(kMode) == 1; }
  int apply(int) override {
    read();
    provider_changed(*this);
    return 0;
  }

 private:
  void read() {
    TableRows t;
    TableReader reader = table_reader();
    if (str(kFile).empty() || !reader || !reader(str(kFile), num(kMode), str(kPassword), t)) t = {};
    // Rows whose record the reader does not name cannot be written back.
    if (t.records.size() != t.rows.size()) t.records.assign(t.rows.size(), -1);
    records_ = std::move(t.records);
    replace(std::move(t.columns), std::move(t.rows));
  }
  bool write(const TableEdit& edit, int32_t* appended) {
    TableWriter writer = table_writer();
    return writer && !str(kFile).empty() && writer(str(kFile), num(kMode), str(kPassword), edit, appended);
  }
  std::vector<int32_t> records_;  // each row's record number
};

void* __cdecl dbprovider_interface(int number) { return table_interface<DBProvider>(number, true); }

constexpr uint16_t kTypes[] = {kPropFileName, kPropPick, kPropText};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 11);

}  // namespace

const CoreUnitType kDBProviderUnitType{44, kProperties.data(), kProperties.size(), &dbprovider_interface};

}  // namespace units
