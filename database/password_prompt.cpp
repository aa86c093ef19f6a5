// The password dialog, laid out in code. Texts are GBK; the controls are read and written in
// UTF-16 so that the entered text converts as code page 936 whatever the process's code page.
#include "database/password_prompt.h"
#include <windows.h>
#include <string>
#include "framework/dialog_template.h"
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
        try {
          p->entered = buf;
          p->ok = true;
        } catch (...) {  // no exception leaves the dialog procedure: no memory means no text
          p->ok = false;
        }
        SecureZeroMemory(buf, sizeof buf);
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
  framework::DialogTemplate t("密码输入", 0, 0, 200, 78);
  t.add(framework::DialogTemplate::kStatic, "", kLabel, 7, 7, 186, 10, SS_LEFT);
  t.add(framework::DialogTemplate::kEdit, "", kEdit, 7, 20, 186, 13, ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP);
  t.add(framework::DialogTemplate::kStatic, "", kMessage, 7, 38, 186, 10, SS_LEFT);
  t.add(framework::DialogTemplate::kButton, "确认(&O)", IDOK, 86, 56, 50, 15, BS_DEFPUSHBUTTON | WS_TABSTOP);
  t.add(framework::DialogTemplate::kButton, "取消(&C)", IDCANCEL, 143, 56, 50, 15, BS_PUSHBUTTON | WS_TABSTOP);
  Prompt p;
  p.label = wide(prompt.empty() ? std::string("请输入数据库访问密码：") : prompt);
  p.message = wide(message);
  INT_PTR rc = t.run(GetActiveWindow(), prompt_proc, reinterpret_cast<LPARAM>(&p));
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
