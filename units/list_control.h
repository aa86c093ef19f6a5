// The item messages of the system list box and combo box, as one table each, so that the
// list units fill and read either control the same way: items with their 32-bit values,
// and the current selection.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

namespace units {

struct ListMessages {
  UINT count, text_length, text, add, reset, get_value, set_value, get_current, set_current;
  UINT find_exact;
};
extern const ListMessages kListBoxMessages, kComboBoxMessages;

// Replaces the control's items with `items`, each with its value (missing values are 0).
void fill_list(HWND h, const ListMessages& m, const std::vector<std::string>& items,
               const std::vector<int32_t>& values);
// The control's items, in its order, and their values.
std::vector<std::string> list_items(HWND h, const ListMessages& m);
std::vector<int32_t> list_values(HWND h, const ListMessages& m);
// The current selection, -1 for none; selecting an index outside the items selects none.
int32_t list_current(HWND h, const ListMessages& m);
void set_list_current(HWND h, const ListMessages& m, int32_t index);

}  // namespace units
