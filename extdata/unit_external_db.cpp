// External database unit: a never-shown window that owns one provider connection; its
// methods are the core library's commands on it (extdata/database.h).
#include "extdata/extdata.h"
#include "units/framework.h"
#include "units/unit_base.h"

namespace extdata {

namespace {

constexpr char kClass[] = "OrvelExternalDatabase";
constexpr uint32_t kDataVersion = 1;

class ExternalDatabase : public units::Unit {
 public:
  Database& database() { return database_; }

  bool load(units::DataReader& d) override {
    if (d.empty()) return true;
    uint32_t version = 0;
    return d.u32(version) && version <= kDataVersion;
  }
  std::string save() const override {
    units::DataWriter w;
    w.u32(kDataVersion);
    return w.data();
  }
  bool create_window(const units::CreateArgs& a) override {
    framework::Window::register_class(kClass, LoadCursor(nullptr, IDC_ARROW), nullptr, CS_DBLCLKS);
    return create(kClass, "", a.style | WS_CHILD | WS_CLIPSIBLINGS, 0, a.left, a.top, a.width,
                  a.height, a.parent,
                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(a.control_id)));
  }

 protected:
  LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_DESTROY) database_.disconnect();
    return Unit::on_message(msg, wp, lp);
  }

 private:
  Database database_;
};

void* __cdecl external_database_interface(int number) {
  return units::standard_interface(number, &units::create_op<ExternalDatabase>, {});
}

}  // namespace

Database* database_of(uint32_t window, uint32_t unit) {
  units::WindowTemplate* w = units::find_window(window);
  units::Entry* e = w ? units::find_entry(*w, unit) : nullptr;
  auto* u = e ? dynamic_cast<ExternalDatabase*>(units::live_unit(*e)) : nullptr;
  return u ? &u->database() : nullptr;
}

const units::CoreUnitType kExternalDatabaseUnitType{46, nullptr, 0, &external_database_interface};

}  // namespace extdata
