// A provider unit that holds its table in memory (the general provider, and the database
// provider with the rows it read): cells as texts, column names, and every change told to
// the data sources that bind it.
#pragma once
#include <string>
#include <vector>
#include "units/data_binding.h"
#include "units/stored_unit.h"

namespace units {

class TableProvider : public StoredUnit, public DataProvider {
 public:
  using StoredUnit::StoredUnit;
  int rows() override { return static_cast<int>(cells_.size()); }
  int columns() override { return static_cast<int>(names_.size()); }
  std::string column_name(int c) override {
    if (c < 0 || c >= columns()) return {};
    return names_[c].empty() ? std::to_string(c + 1) : names_[c];
  }
  bool cell(int r, int c, std::string& out) override {
    if (!inside(r, c)) return false;
    out = cells_[r][c];
    return true;
  }
  bool set_cell(int r, int c, const std::string& v) override {
    if (!inside(r, c) || read_only()) return false;
    cells_[r][c] = v;
    provider_changed(*this);
    return true;
  }
  int add_row() override {
    if (read_only() || !room_for_row()) return -1;
    cells_.emplace_back(names_.size());
    resized();
    provider_changed(*this);
    return rows() - 1;
  }
  bool remove_row(int r) override {
    if (r < 0 || r >= rows() || read_only()) return false;
    cells_.erase(cells_.begin() + r);
    resized();
    provider_changed(*this);
    return true;
  }
  bool set_column_name(int c, const std::string& name) override {
    if (c < 0 || c >= columns()) return false;
    names_[c] = name;
    provider_changed(*this);
    return true;
  }

 protected:
  virtual bool read_only() const { return false; }
  virtual bool room_for_row() { return true; }
  // After rows were added or removed.
  virtual void resized() {}
  // A table of `rows` x `columns`, keeping the cells that still fit.
  void resize(int rows, int columns) {
    rows = rows < 0 ? 0 : rows;
    columns = columns < 0 ? 0 : columns;
    names_.resize(columns);
    cells_.resize(rows);
    for (auto& row : cells_) row.resize(columns);
  }
  void replace(std::vector<std::string> names, std::vector<std::vector<std::string>> rows) {
    names_ = std::move(names);
    cells_ = std::move(rows);
    for (auto& row : cells_) row.resize(names_.size());
  }

 private:
  bool inside(int r, int c) const {
    return r >= 0 && c >= 0 && r < static_cast<int>(cells_.size()) && c < static_cast<int>(names_.size());
  }
  std::vector<std::string> names_;
  std::vector<std::vector<std::string>> cells_;
};

}  // namespace units
