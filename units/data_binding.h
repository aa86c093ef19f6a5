// The data-binding model of the data units: a provider holds rows and columns of values, a
// data source binds one provider by its unit name and keeps a current row, and bound units
// (grid, picture box) name a data source and show its data. Units find each other by name
// within their window at each use, so no unit keeps a pointer to another.
#pragma once
#include <string>
#include <vector>
#include "units/unit_base.h"

namespace units {

// Rows and columns of values (texts; a picture column holds picture data).
class DataProvider {
 public:
  virtual ~DataProvider() = default;
  virtual int rows() = 0;
  virtual int columns() = 0;
  virtual std::string column_name(int column) = 0;
  // False for a row or column outside the table.
  virtual bool cell(int row, int column, std::string& out) = 0;
  virtual bool set_cell(int row, int column, const std::string& value) = 0;
  // The new row's index, or -1 when rows cannot be added.
  virtual int add_row() = 0;
  virtual bool remove_row(int row) = 0;
  virtual bool set_column_name(int, const std::string&) { return false; }
};

// The data source unit: its provider's table (writes refused when it is read-only) and a
// current row. Every change is told to the units bound to it.
class DataSourceOps : public DataProvider {
 public:
  virtual int current_row() = 0;  // -1 when the table is empty
  virtual bool set_current_row(int row) = 0;
  // The unit name of the provider it binds.
  virtual std::string provider_name() const = 0;
  // The column of a name (or of a 1-based number written as text), or -1.
  int column_of(const std::string& name);
};

// The loader's message to every unit once all units of the window are made: bound units
// created before their source (units are made from the last entry back) bind then.
inline constexpr unsigned kLoadingComplete = 0x806F;

// A unit bound to a data source by the source's unit name.
class DataBound {
 public:
  virtual ~DataBound() = default;
  virtual std::string data_source() const = 0;
  // The source's data or current row changed.
  virtual void data_changed() = 0;
};

// The live provider unit named `name` in the window of `from` (a unit of a provider type),
// or null.
DataProvider* find_provider(const Unit& from, const std::string& name);
// The live data source unit named `name` in the window of `from`, or null.
DataSourceOps* find_data_source(const Unit& from, const std::string& name);
// The name of a unit's template entry.
std::string unit_name(const Unit& u);
// Tells every unit of the window bound to the data source named `source` that its data
// changed.
void notify_bound(const Unit& from, const std::string& source);
// A provider's table changed: every data source of the window that binds it tells its
// bound units.
void provider_changed(const Unit& provider);
// The value in `column` of the current row of data source `source`; false when the source,
// the row or the column is missing.
bool bound_value(const Unit& from, const std::string& source, const std::string& column,
                 std::string& out);

// The rows of a database for the database provider: read by the reader the core library
// installs (this folder cannot reach the database engine itself).
struct TableRows {
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;
  std::vector<int32_t> records;  // each row's record number in the database
};
// (database file, open mode, password, out) -> false when the database cannot be read.
using TableReader = bool (*)(const std::string& file, int mode, const std::string& password,
                             TableRows& out);
void set_table_reader(TableReader reader);
TableReader table_reader();

// A change the database provider writes back: a cell's text into a record's field (converted
// to the field's type), a new blank record, or a record marked deleted.
struct TableEdit {
  enum Kind { kSetCell, kAppend, kDelete } kind;
  int32_t record = 0;
  int32_t column = 0;
  std::string text;
};
// (database file, open mode, password, edit, the appended record's number) -> false when the
// database refused it (a text that is not a value of the field's type, a lock held, ...).
using TableWriter = bool (*)(const std::string& file, int mode, const std::string& password,
                             const TableEdit& edit, int32_t* appended);
void set_table_writer(TableWriter writer);
TableWriter table_writer();

}  // namespace units
