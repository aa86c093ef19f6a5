// Database provider unit: a never-shown window holding a connection string (property 8)
// and a table name or SQL text (property 9); at run time it opens that table through the
// provider module as soon as both are set, for the table units bound to it.
#include "extdata/extdata.h"
#include "units/framework.h"
#include "units/unit_base.h"

namespace extdata {

namespace {

constexpr char kClass[] = "OrvelDatabaseProvider";
constexpr uint32_t kDataVersion = 1;

// Property indices (property number - 8).
enum Property : int { kConnectString = 0, kSource = 1 };

class ProviderUnit : public units::Unit {
 public:
  ProviderTable& table() { return table_; }

  // Version, connection string, table name or SQL.
  bool load(units::DataReader& d) override {
    if (d.empty()) return true;
    uint32_t version = 0;
    if (!d.u32(version) || version > kDataVersion) return false;
    d.bytes(connect_) && d.bytes(source_);
    return true;
  }
  std::string save() const override {
    units::DataWriter w;
    w.u32(kDataVersion);
    w.bytes(connect_);
    w.bytes(source_);
    return w.data();
  }
  bool create_window(const units::CreateArgs& a) override {
    framework::Window::register_class(kClass, LoadCursor(nullptr, IDC_ARROW), nullptr, CS_DBLCLKS);
    if (!create(kClass, "", a.style | WS_CHILD | WS_CLIPSIBLINGS, 0, a.left, a.top, a.width,
                a.height, a.parent,
                reinterpret_cast<HMENU>(static_cast<UINT_PTR>(a.control_id))))
      return false;
    reopen();
    return true;
  }
  int set_property(int index, const units::PropData& v) override {
    if (index != kConnectString && index != kSource) return 0;
    (index == kConnectString ? connect_ : source_) = text_in(v);
    reopen();
    return 0;
  }
  bool get_property(int index, units::PropData& out) override {
    if (index != kConnectString && index != kSource) return false;
    out = text_out(index == kConnectString ? connect_ : source_);
    return true;
  }
  void convert_texts(units::TextRoutine routine, void* user) override {
    convert_one(routine, user, connect_, false);
    convert_one(routine, user, source_, false);
  }

 protected:
  LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_DESTROY) table_.close();
    return Unit::on_message(msg, wp, lp);
  }

 private:
  // A failure to open is not reported: the table stays closed.
  void reopen() {
    table_.close();
    if (!connect_.empty() && !source_.empty()) table_.open(connect_, source_);
  }
  std::string connect_, source_;
  ProviderTable table_;
};

void* __cdecl provider_interface(int number) {
  return units::standard_interface(number, &units::create_op<ProviderUnit>, {9});
}

constexpr uint16_t kTypes[] = {units::kPropText21, units::kPropText22};
constexpr auto kProperties = units::with_common(kTypes);

}  // namespace

ProviderTable* provider_table_of(uint32_t window, uint32_t unit) {
  units::WindowTemplate* w = units::find_window(window);
  units::Entry* e = w ? units::find_entry(*w, unit) : nullptr;
  auto* u = e ? dynamic_cast<ProviderUnit*>(units::live_unit(*e)) : nullptr;
  return u ? &u->table() : nullptr;
}

const units::CoreUnitType kProviderUnitType{47, kProperties.data(), kProperties.size(),
                                            &provider_interface};

}  // namespace extdata
