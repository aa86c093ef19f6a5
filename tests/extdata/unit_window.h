// A window built in memory holding an external database unit and a database provider unit,
// loaded for a test, with the unit references that the core library's unit methods take.
#pragma once
#include <windows.h>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include "abi/unit_type.h"
#include "abi/values.h"
#include "corelib/install.h"
#include "extdata/extdata.h"
#include "runtime/runtime.h"
#include "units/framework.h"
#include "units/unit_data.h"
#include "units/window_unit.h"

namespace extdata_test {

constexpr uint32_t kWindow = 0x52019001, kOwn = 0x06019000;
constexpr uint32_t kDatabase = 0x16019002, kProvider = 0x16019003;
constexpr uint32_t kDatabaseType = units::core_type(46), kProviderType = units::core_type(47);

inline units::Entry entry(uint32_t id, uint32_t type, std::string data = {}) {
  units::Entry e;
  e.id = id;
  e.type = type;
  e.left = e.top = 10;
  e.width = e.height = 30;
  e.flags = 1;
  e.data = std::move(data);
  return e;
}

// Provider unit data: version 1, connection string, table name or SQL.
inline std::string provider_data(const std::string& connect, const std::string& source) {
  units::DataWriter w;
  w.u32(1);
  w.bytes(connect);
  w.bytes(source);
  return w.data();
}

class UnitWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    units::install();
    extdata::install();
    corelib::install();
    window_ = std::make_unique<units::WindowTemplate>();
    window_->id = kWindow;
    units::Entry own = entry(kOwn, units::kWindowType);
    own.width = 400;
    own.height = 300;
    window_->entries = {own, entry(kDatabase, kDatabaseType),
                        entry(kProvider, kProviderType, provider_data_)};
    runtime::rt().templates.push_back(window_.get());
    ASSERT_TRUE(units::load_window(*window_, false, nullptr));
  }
  void TearDown() override {
    if (units::WindowUnit* w = units::live_window(*window_)) DestroyWindow(w->handle());
    runtime::rt().templates.clear();
  }
  static runtime::ArgRecord db() { return {kWindow, kDatabase, kDatabaseType}; }

  std::string provider_data_;  // set before SetUp to open the provider unit at creation
  std::unique_ptr<units::WindowTemplate> window_;
};

}  // namespace extdata_test
