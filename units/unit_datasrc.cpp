// Data source unit: a never-shown unit that binds the provider named by its property and
// keeps a current row; reads go to the provider, writes too unless it is read-only (adding
// and removing rows each have their own switch). Every change, and every move of the current
// row, is told to the units bound to it.
#include "units/data_binding.h"
#include "units/media_units.h"
#include "units/stored_unit.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int { kProvider = 0, kReadOnly = 1, kAllowAdd = 2, kAllowRemove = 3 };

constexpr Field kFields[] = {{Kind::kText}, {Kind::kBool}, {Kind::kBool, 1}, {Kind::kBool, 1}};

constexpr char kClass[] = "OrvelDataSource";

class DataSrc : public StoredUnit, public DataSourceOps {
 public:
  DataSrc() : StoredUnit(kFields, std::size(kFields), 1) {}
  bool create_window(const CreateArgs& a) override { return create_private(kClass, a); }

  int rows() override { return p() ? p()->rows() : 0; }
  int columns() override { return p() ? p()->columns() : 0; }
  std::string column_name(int c) override { return p() ? p()->column_name(c) : std::string(); }
  bool cell(int r, int c, std::string& out) override { return p() && p()->cell(r, c, out); }
  // The provider tells the change back through `provider_changed`.
  bool set_cell(int r, int c, const std::string& v) override {
    return !flag(kReadOnly) && p() && p()->set_cell(r, c, v);
  }
  int add_row() override {
    if (flag(kReadOnly) || !flag(kAllowAdd) || !p()) return -1;
    int r = p()->add_row();
    if (r >= 0) set_current_row(r);
    return r;
  }
  bool remove_row(int r) override {
    if (flag(kReadOnly) || !flag(kAllowRemove) || !p() || !p()->remove_row(r)) return false;
    if (current_ >= rows()) set_current_row(rows() - 1);
    return true;
  }
  int current_row() override {
    int n = rows();
    if (n == 0) return -1;
    return current_ < 0 ? 0 : current_ >= n ? n - 1 : current_;
  }
  bool set_current_row(int r) override {
    if (r < 0 || r >= rows()) return false;
    if (r != current_) {
      current_ = r;
      notify_bound(*this, unit_name(*this));
    }
    return true;
  }
  std::string provider_name() const override { return str(kProvider); }

 protected:
  int apply(int index) override {
    if (index == kProvider) {
      current_ = 0;
      notify_bound(*this, unit_name(*this));
    }
    return 0;
  }

 private:
  DataProvider* p() { return find_provider(*this, str(kProvider)); }
  int current_ = 0;
};

void* __cdecl datasrc_interface(int number) { return table_interface<DataSrc>(number, true); }

constexpr uint16_t kTypes[] = {kPropText19, kPropBool, kPropBool, kPropBool};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 12);

}  // namespace

const CoreUnitType kDataSrcUnitType{42, kProperties.data(), kProperties.size(), &datasrc_interface};

}  // namespace units
