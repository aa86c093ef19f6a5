// The password dialog, built from an in-memory template (the runtime carries no resources
// for it). Texts are GBK; the template and the controls work in UTF-16.
#include "database/password_prompt.h"
#include <windows.h>
#include <string>
#include <vector>
#include "runtime/crt.h"

namespace database {

namespace {

constexpr UINT kGbk = 936;
constexpr int kLabel = 100, kEdit = 101, kMessage = 102;

std::wstring wide(const std::string& gbk) {
  if (gbk.empty()) return std::wstring();
  int n = MultiByteToWideChar(kGbk, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(kGbk, 0, gbk.data(), static_cast<int>(gbk.size()), w.data(), n);
  return w;
}

std::string narrow(const std::wstring& w) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(kGbk, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(kGbk, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

// A dialog template in memory: the header, then items, each DWORD-aligned.
class Template {
 public:
  Template(const std::wstring& title, short cx, short cy) {
    DLGTEMPLATE t{};
    t.style = DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    t.cx = cx, t.cy = cy;
    put(&t, sizeof t);
    word(0), word(0);  // no menu, the standard class
    text(title);
    word(9);
    text(L"宋体");
    count_at_ = offsetof(DLGTEMPLATE, cdit);
  }
  void item(WORD atom, const std::wstring& caption, int id, DWORD style, short x, short y, short cx, short cy) {
    align();
    DLGITEMTEMPLATE it{};
    it.style = style | WS_CHILD | WS_VISIBLE;
    it.x = x, it.y = y, it.cx = cx, it.cy = cy;
    it.id = static_cast<WORD>(id);
    put(&it, sizeof it);
    word(0xFFFF), word(atom);
    text(caption);
    word(0);  // no creation data
    WORD& count = *reinterpret_cast<WORD*>(bytes_.data() + count_at_);
    ++count;
  }
  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(bytes_.data()); }

 private:
  void put(const void* p, size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    bytes_.insert(bytes_.end(), b, b + n);
  }
  void word(WORD w) { put(&w, 2); }
  void text(const std::wstring& s) {
    put(s.c_str(), (s.size() + 1) * 2);
  }
  void align() {
    while (bytes_.size() % 4) bytes_.push_back(0);
  }
  std::vector<unsigned char> bytes_;
  size_t count_at_ = 0;
};

struct Prompt {
  std::wstring label, message;
  std::wstring entered;  // overwritten with spaces when the dialog goes
  bool ok = false;
};

INT_PTR CALLBACK prompt_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  auto* p = reinterpret_cast<Prompt*>(GetWindowLongPtrW(dlg, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(dlg, DWLP_USER, lp);
      p = reinterpret_cast<Prompt*>(lp);
      SetDlgItemTextW(dlg, kLabel, p->label.c_str());
      SetDlgItemTextW(dlg, kMessage, p->message.c_str());
      SendDlgItemMessageW(dlg, kEdit, EM_LIMITTEXT, 256, 0);
      SetForegroundWindow(dlg);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK) {
        wchar_t buf[260] = {};
        GetDlgItemTextW(dlg, kEdit, buf, 260);
        p->entered = buf;
        SecureZeroMemory(buf, sizeof buf);
        p->ok = true;
        EndDialog(dlg, IDOK);
        return TRUE;
      }
      if (LOWORD(wp) == IDCANCEL) {
        EndDialog(dlg, IDCANCEL);
        return TRUE;
      }
      break;
    case WM_DESTROY:
      // The edit box's own copy goes too.
      SetDlgItemTextW(dlg, kEdit, L"");
      break;
  }
  return FALSE;
}

}  // namespace

bool ask_password(const std::string& prompt, const std::string& message, std::string& password) {
  Template t(wide("密码输入"), 200, 78);
  t.item(0x0082, L"", kLabel, SS_LEFT, 7, 7, 186, 10);
  t.item(0x0081, L"", kEdit, ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 20, 186, 13);
  t.item(0x0082, L"", kMessage, SS_LEFT, 7, 38, 186, 10);
  t.item(0x0080, wide("确认(&O)"), IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 86, 56, 50, 15);
  t.item(0x0080, wide("取消(&C)"), IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 143, 56, 50, 15);
  Prompt p;
  p.label = wide(prompt.empty() ? std::string("请输入数据库访问密码：") : prompt);
  p.message = wide(message);
  INT_PTR rc = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), t.get(), GetActiveWindow(), prompt_proc,
                                       reinterpret_cast<LPARAM>(&p));
  bool ok = rc == IDOK && p.ok;
  if (ok) password = narrow(p.entered);
  for (wchar_t& c : p.entered) c = L' ';
  return ok;
}

bool ask_password_for_open(int attempts_made, std::string& password) {
  std::string message;
  if (attempts_made > 0) {
    message = runtime::crt_format("密码错误，您还有 %d 次重新输入的机会。", 3 - attempts_made);
  }
  return ask_password("", message, password);
}

}  // namespace database
