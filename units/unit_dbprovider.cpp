// Database provider unit: a never-shown unit that reads a table of a database of the
// embedded engine (file, open mode, password) through the reader the database subsystem
// registers, and offers its rows to the data sources that bind it. Open mode 1 is read-only;
// changes of the other modes stay in memory. Without a reader, or with a file that cannot be
// read, the table is empty.
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
    replace(std::move(t.columns), std::move(t.rows));
  }
};

void* __cdecl dbprovider_interface(int number) { return table_interface<DBProvider>(number, true); }

constexpr uint16_t kTypes[] = {kPropFileName, kPropPick, kPropText};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 11);

}  // namespace

const CoreUnitType kDBProviderUnitType{44, kProperties.data(), kProperties.size(), &dbprovider_interface};

}  // namespace units
