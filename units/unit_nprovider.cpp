// General provider unit: a never-shown unit holding a table of texts in memory, as many rows
// and columns as its two properties say (a write keeps the cells that still fit); the data
// sources that bind it show and edit it.
#include "units/media_units.h"
#include "units/table_provider.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int { kRows = 0, kColumns = 1 };

// Counts beyond these are clamped: a table the size of the limits is already 64 Mi cells.
constexpr int32_t kMaxRows = 1 << 20, kMaxColumns = 64;

constexpr Field kFields[] = {{Kind::kInt, 0}, {Kind::kInt, 1}};

constexpr char kClass[] = "OrvelProvider";

class NProvider : public TableProvider {
 public:
  NProvider() : TableProvider(kFields, std::size(kFields), 1) {}
  bool create_window(const CreateArgs& a) override {
    clamp_counts();
    resize(num(kRows), num(kColumns));
    return create_private(kClass, a);
  }

 protected:
  int apply(int) override {
    clamp_counts();
    resize(num(kRows), num(kColumns));
    provider_changed(*this);
    return 0;
  }
  void resized() override { set_num(kRows, rows()); }

 private:
  void clamp_counts() {
    set_num(kRows, num(kRows) < 0 ? 0 : num(kRows) > kMaxRows ? kMaxRows : num(kRows));
    set_num(kColumns, num(kColumns) < 0 ? 0 : num(kColumns) > kMaxColumns ? kMaxColumns : num(kColumns));
  }
};

void* __cdecl nprovider_interface(int number) { return table_interface<NProvider>(number, false); }

constexpr uint16_t kTypes[] = {kPropInt, kPropInt};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 10);

}  // namespace

const CoreUnitType kNProviderUnitType{43, kProperties.data(), kProperties.size(), &nprovider_interface};

}  // namespace units
