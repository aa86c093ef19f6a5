// The CSV reader of the tool's import.
#include "vdbtool/csv.h"

namespace vdbtool {

bool parse_csv(const std::string& text, std::vector<std::vector<std::string>>* rows, std::string* why) {
  rows->clear();
  size_t i = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  if (i >= text.size()) return true;
  std::vector<std::string> row;
  std::string cell;
  bool quoted = false, was_quoted = false;
  unsigned line = 1, quote_line = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (quoted) {
      if (c == '"') {
        if (i + 1 < text.size() && text[i + 1] == '"') cell += '"', ++i;
        else quoted = false;
      } else {
        if (c == '\n') ++line;
        cell += c;
      }
    } else if (c == '"' && cell.empty() && !was_quoted) {
      quoted = was_quoted = true;
      quote_line = line;
    } else if (c == ',') {
      row.push_back(std::move(cell));
      cell.clear();
      was_quoted = false;
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      continue;
    } else if (c == '\n') {
      row.push_back(std::move(cell));
      rows->push_back(std::move(row));
      row.clear();
      cell.clear();
      was_quoted = false;
      ++line;
    } else {
      cell += c;
    }
  }
  if (quoted) {
    *why = "a quote opened on line " + std::to_string(quote_line) + " is never closed";
    return false;
  }
  if (!cell.empty() || !row.empty() || was_quoted) {
    row.push_back(std::move(cell));
    rows->push_back(std::move(row));
  }
  return true;
}

}  // namespace vdbtool
