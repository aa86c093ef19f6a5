// General provider unit: a never-shown unit holding a table of texts in memory, as many rows
// and columns as its two properties say (a write keeps the cells that still fit); the data
// sources that bind it show and edit it.
#include "units/media_units.h"
#include "units/table_provider.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int { kRows = 0, kColumns = 1 };

// Counts beyond these are clamped: at most 64 columns and 2^20 cells (a cell is an empty text
// of 24 bytes before it holds anything, so the largest empty table takes 24 MiB).
constexpr int32_t kMaxColumns = 64, kMaxCells = 1 << 20;

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
    clamp_counts();  // rows first limited by the columns they have
    resize(num(kRows), num(kColumns));
    provider_changed(*this);
    return 0;
  }
  void resized() override { set_num(kRows, rows()); }
  bool room_for_row() override { return (rows() + 1) * (columns() > 0 ? columns() : 1) <= kMaxCells; }

 private:
  void clamp_counts() {
    set_num(kColumns, num(kColumns) < 0 ? 0 : num(kColumns) > kMaxColumns ? kMaxColumns : num(kColumns));
    int32_t max_rows = kMaxCells / (num(kColumns) > 0 ? num(kColumns) : 1);
    set_num(kRows, num(kRows) < 0 ? 0 : num(kRows) > max_rows ? max_rows : num(kRows));
  }
};

void* __cdecl nprovider_interface(int number) { return table_interface<NProvider>(number, false); }

constexpr uint16_t kTypes[] = {kPropInt, kPropInt};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 10);

}  // namespace

const CoreUnitType kNProviderUnitType{43, kProperties.data(), kProperties.size(), &nprovider_interface};

}  // namespace units
