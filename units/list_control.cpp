// List box and combo box items through their message tables.
#include "units/list_control.h"

namespace units {

const ListMessages kListBoxMessages{LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT, LB_ADDSTRING,
                                    LB_RESETCONTENT, LB_GETITEMDATA, LB_SETITEMDATA,
                                    LB_GETCURSEL, LB_SETCURSEL, LB_FINDSTRINGEXACT};
const ListMessages kComboBoxMessages{CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT, CB_ADDSTRING,
                                     CB_RESETCONTENT, CB_GETITEMDATA, CB_SETITEMDATA,
                                     CB_GETCURSEL, CB_SETCURSEL, CB_FINDSTRINGEXACT};

void fill_list(HWND h, const ListMessages& m, const std::vector<std::string>& items,
               const std::vector<int32_t>& values) {
  SendMessageA(h, WM_SETREDRAW, FALSE, 0);
  SendMessageA(h, m.reset, 0, 0);
  for (size_t i = 0; i < items.size(); ++i) {
    LRESULT at = SendMessageA(h, m.add, 0, reinterpret_cast<LPARAM>(items[i].c_str()));
    if (at < 0) break;  // out of memory in the control: the rest is left out
    SendMessageA(h, m.set_value, at, i < values.size() ? values[i] : 0);
  }
  SendMessageA(h, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(h, nullptr, TRUE);
}

std::vector<std::string> list_items(HWND h, const ListMessages& m) {
  std::vector<std::string> items;
  LRESULT n = SendMessageA(h, m.count, 0, 0);
  for (LRESULT i = 0; i < n; ++i) {
    LRESULT len = SendMessageA(h, m.text_length, i, 0);
    std::string s(len > 0 ? static_cast<size_t>(len) + 1 : 1, '\0');
    LRESULT got = len > 0 ? SendMessageA(h, m.text, i, reinterpret_cast<LPARAM>(s.data())) : 0;
    s.resize(got > 0 ? static_cast<size_t>(got) : 0);
    items.push_back(s);
  }
  return items;
}

std::vector<int32_t> list_values(HWND h, const ListMessages& m) {
  std::vector<int32_t> values;
  LRESULT n = SendMessageA(h, m.count, 0, 0);
  for (LRESULT i = 0; i < n; ++i)
    values.push_back(static_cast<int32_t>(SendMessageA(h, m.get_value, i, 0)));
  return values;
}

int32_t list_current(HWND h, const ListMessages& m) {
  LRESULT at = SendMessageA(h, m.get_current, 0, 0);
  return at < 0 ? -1 : static_cast<int32_t>(at);
}

void set_list_current(HWND h, const ListMessages& m, int32_t index) {
  LRESULT n = SendMessageA(h, m.count, 0, 0);
  SendMessageA(h, m.set_current, index >= 0 && index < n ? index : -1, 0);
}

}  // namespace units
