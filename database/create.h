// Creating a database: checks the field definitions, writes the database file with its
// header and descriptors, and the auxiliary file when a field holds memo or byte-set values.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace database {

struct FieldDef {
  std::string name;   // GBK; an empty name ends the list
  int32_t type = 0;   // FieldType
  int32_t size = 0;   // declared size of a text field
};

// 0, or the error code of the first failing check (-3, -16..-20, file errors, -50, -2).
int32_t create_database(const std::string& file, const std::vector<FieldDef>& fields);

// Now as a date-time (days since 1899-12-30, local time).
double date_time_now();

}  // namespace database
