// Dialogs laid out in code: a builder of an in-memory dialog template (the platform's
// DLGTEMPLATE/DLGITEMTEMPLATE records), so that the runtime's own small dialogs need no
// resource section. Texts are GBK and converted with the ANSI code page.
//
//   DialogTemplate t("标题", 0, 0, 200, 80);
//   t.add(DialogTemplate::kStatic, "提示", -1, 7, 7, 186, 10);
//   t.add(DialogTemplate::kEdit, "", 100, 7, 20, 186, 12, WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE);
//   t.add(DialogTemplate::kButton, "确定", IDOK, 90, 60, 50, 14, WS_TABSTOP | BS_DEFPUSHBUTTON);
//   INT_PTR answer = t.run(owner, procedure, parameter);
#pragma once
#include <windows.h>
#include <string_view>
#include <vector>

namespace framework {

class DialogTemplate {
 public:
  // The predefined control classes by their ordinal atoms.
  enum Class : WORD { kButton = 0x80, kEdit = 0x81, kStatic = 0x82, kListBox = 0x83,
                      kScrollBar = 0x84, kComboBox = 0x85 };

  // A dialog of `cx` x `cy` dialog units at (x, y); centred on its owner with DS_CENTER.
  // The font is the system's message font face at `point_size`.
  DialogTemplate(std::string_view title, short x, short y, short cx, short cy,
                 DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER,
                 WORD point_size = 9);

  // One control; `style` is added to WS_CHILD | WS_VISIBLE.
  void add(Class cls, std::string_view text, int id, short x, short y, short cx, short cy,
           DWORD style = 0, DWORD ex_style = 0);
  // A control of a registered class by name.
  void add(std::string_view cls, std::string_view text, int id, short x, short y, short cx,
           short cy, DWORD style = 0, DWORD ex_style = 0);

  // Runs the dialog modally; the answer of EndDialog, or -1 when it could not be created.
  INT_PTR run(HWND owner, DLGPROC procedure, LPARAM parameter) const;
  // Creates it modeless.
  HWND create(HWND owner, DLGPROC procedure, LPARAM parameter) const;

 private:
  void align();
  void text(std::string_view gbk);
  void item(short x, short y, short cx, short cy, int id, DWORD style, DWORD ex_style);
  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

  std::vector<WORD> words_;  // the template, WORD-aligned; items DWORD-aligned within it
  size_t count_at_ = 0;      // where the item count lives
};

}  // namespace framework
