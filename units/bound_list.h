// A list unit bound to a data source (list box, combo box): its items are one column of the
// source's rows, in row order, and its current item is the source's current row. Picking an
// item moves the source's current row; a change of the source's data or row refills the
// list. Unbound (no source named, or no such source or column) the list keeps its own items.
#pragma once
#include <string>
#include <vector>
#include "units/data_binding.h"
#include "units/list_control.h"

namespace units {

struct BoundColumn {
  std::vector<std::string> values;
  int current = -1;
};

// The column named `column` of the data source named `source` in the window of `from`;
// false when either is missing.
inline bool read_bound_column(const Unit& from, const std::string& source,
                              const std::string& column, BoundColumn& out) {
  DataSourceOps* s = source.empty() ? nullptr : find_data_source(from, source);
  int c = s ? s->column_of(column) : -1;
  if (c < 0) return false;
  out.values.clear();
  for (int r = 0, n = s->rows(); r < n; ++r) {
    std::string v;
    s->cell(r, c, v);
    out.values.push_back(v);
  }
  out.current = s->current_row();
  return true;
}

// Moves the source's current row to `row` (when the source exists).
inline void move_bound_row(const Unit& from, const std::string& source, int row) {
  if (DataSourceOps* s = source.empty() ? nullptr : find_data_source(from, source))
    if (row >= 0) s->set_current_row(row);
}

}  // namespace units
