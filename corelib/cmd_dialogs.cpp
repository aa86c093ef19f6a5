// Talking to the user: message box, input box and beep.
//
// The input box has two layouts: with a prompt (the prompt above the edit field) and without
// (the edit field alone). Its input modes: 1 any text, 2 an integer (digits and a leading
// minus sign), 3 a decimal number (digits, one point, a leading minus sign), 4 a password
// (characters hidden). A mode outside 1..4 is clamped.
#include <windows.h>
#include <cstdlib>
#include <cstring>
#include <string>
#include "corelib/cmd_support.h"
#include "corelib/commands.h"
#include "framework/dialog_template.h"
#include "runtime/heap.h"

namespace corelib {

using namespace runtime;

namespace {

// ---- Message box ------------------------------------------------------------------------------

int message_box_result(int answer) {
  switch (answer) {
    case IDCANCEL: return 1;
    case IDABORT: return 2;
    case IDRETRY: return 3;
    case IDIGNORE: return 4;
    case IDYES: return 5;
    case IDNO: return 6;
    default: return 0;
  }
}

// ---- Input box --------------------------------------------------------------------------------

enum InputMode { kAnyText = 1, kInteger = 2, kDecimal = 3, kPassword = 4 };
constexpr int kEditId = 100, kPromptId = 101;

struct InputBox {
  std::string prompt, initial;
  int mode = kAnyText;
  std::string entered;
  WNDPROC edit_procedure = nullptr;
};

// Whether `c` may go into an integer or decimal field at the caret, given the text so far.
bool accepts(const InputBox& box, HWND edit, wchar_t c) {
  if (c < L' ') return true;  // editing keys (backspace, Ctrl+C/V/X, ...)
  if (c >= L'0' && c <= L'9') return true;
  DWORD start = 0, end = 0;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  wchar_t text[256] = {};
  GetWindowTextW(edit, text, 256);
  std::wstring after = std::wstring(text).erase(start, end - start);  // without the selection
  if (c == L'-') return start == 0 && after.find(L'-') == std::wstring::npos;
  if (c == L'.') return box.mode == kDecimal && after.find(L'.') == std::wstring::npos;
  return false;
}

LRESULT CALLBACK number_edit(HWND edit, UINT msg, WPARAM wp, LPARAM lp) {
  auto* box = reinterpret_cast<InputBox*>(GetWindowLongPtrW(edit, GWLP_USERDATA));
  if (!box) return DefWindowProcW(edit, msg, wp, lp);
  if (msg == WM_CHAR && !accepts(*box, edit, static_cast<wchar_t>(wp))) {
    MessageBeep(MB_OK);
    return 0;
  }
  return CallWindowProcW(box->edit_procedure, edit, msg, wp, lp);
}

INT_PTR CALLBACK input_box_procedure(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
  auto* box = reinterpret_cast<InputBox*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      box = reinterpret_cast<InputBox*>(lp);
      SetWindowLongPtrW(dialog, DWLP_USER, lp);
      HWND edit = GetDlgItem(dialog, kEditId);
      SetDlgItemTextA(dialog, kEditId, box->initial.c_str());
      if (box->mode == kInteger || box->mode == kDecimal) {
        SetWindowLongPtrW(edit, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(box));
        box->edit_procedure = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(number_edit)));
      }
      SendMessageW(edit, EM_SETSEL, 0, -1);
      SetFocus(edit);
      SetForegroundWindow(dialog);
      return FALSE;  // focus set here
    }
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK) {
        HWND edit = GetDlgItem(dialog, kEditId);
        int n = GetWindowTextLengthA(edit);
        std::string text(size_t(n) + 1, '\0');
        GetWindowTextA(edit, text.data(), n + 1);
        text.resize(strlen(text.c_str()));
        box->entered = text;
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wp) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

bool run_input_box(InputBox& box, const std::string& title) {
  const bool prompted = !box.prompt.empty();
  const short edit_y = prompted ? 40 : 8;
  framework::DialogTemplate t(title, 0, 0, 230, short(edit_y + 40));
  if (prompted)
    t.add(framework::DialogTemplate::kStatic, box.prompt, kPromptId, 8, 7, 214, 28, SS_LEFT);
  DWORD edit_style = WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL | (box.mode == kPassword ? ES_PASSWORD : 0);
  t.add(framework::DialogTemplate::kEdit, "", kEditId, 8, edit_y, 214, 13, edit_style);
  t.add(framework::DialogTemplate::kButton, "确认(&O)", IDOK, 116, short(edit_y + 20), 50, 14,
        WS_TABSTOP | BS_DEFPUSHBUTTON);
  t.add(framework::DialogTemplate::kButton, "取消(&C)", IDCANCEL, 172, short(edit_y + 20), 50, 14,
        WS_TABSTOP | BS_PUSHBUTTON);
  return t.run(GetActiveWindow(), input_box_procedure, reinterpret_cast<LPARAM>(&box)) == IDOK;
}

// Stores an entered text into a by-reference variable by the variable's type; false when the
// record names no variable of a type that takes it.
bool store_entered(const ArgRecord& variable, const std::string& text) {
  if ((variable.type & 0xC0000000u) != kVariableMark || variable.lo == 0) return false;
  uint32_t type = (variable.type & 0x3FFFFFFFu) | 0x80000000u;
  void* at = reinterpret_cast<void*>(static_cast<uintptr_t>(variable.lo));
  uint64_t whole = read_decimal(text);
  switch (type) {
    case kTypeText: {
      char** slot = static_cast<char**>(at);
      char* copy = new_text(text);
      runtime::free_block(*slot);
      *slot = copy;
      return true;
    }
    case kTypeByte: *static_cast<uint8_t*>(at) = static_cast<uint8_t>(whole); return true;
    case kTypeShort: *static_cast<int16_t*>(at) = static_cast<int16_t>(whole); return true;
    case kTypeInt: *static_cast<int32_t*>(at) = static_cast<int32_t>(whole); return true;
    case kTypeLong: *static_cast<int64_t*>(at) = static_cast<int64_t>(whole); return true;
    case kTypeFloat: *static_cast<float*>(at) = static_cast<float>(strtod(text.c_str(), nullptr)); return true;
    case kTypeDouble: *static_cast<double*>(at) = strtod(text.c_str(), nullptr); return true;
    default: return false;
  }
}

}  // namespace

// Arguments: the value shown, the style, an optional caption. Result: the answer's number.
CORELIB_COMMAND(message_box) {
  std::string text = shown_text(arg_at(argc, args, 0));
  UINT style = static_cast<UINT>(int_or(argc, args, 1, 0));
  if (!(style & MB_SYSTEMMODAL)) style |= MB_TASKMODAL;
  Arg caption_arg(arg_at(argc, args, 2));
  std::string caption = caption_arg.type() == kTypeText ? text_of(caption_arg.record()) : "信息：";
  set_int(result, message_box_result(MessageBoxA(nullptr, text.c_str(), caption.c_str(), style)));
}

// Arguments: optional prompt, title and initial text, the variable, optional input mode.
// Result: true when the user confirmed (the variable then holds the entered value).
CORELIB_COMMAND(input_box) {
  InputBox box;
  Arg prompt(arg_at(argc, args, 0)), title(arg_at(argc, args, 1)), initial(arg_at(argc, args, 2));
  if (prompt.type() == kTypeText) box.prompt = text_of(prompt.record());
  if (initial.type() == kTypeText) box.initial = text_of(initial.record());
  std::string title_text = title.type() == kTypeText ? text_of(title.record()) : "请输入：";
  int mode = int_or(argc, args, 4, kAnyText);
  box.mode = mode < kAnyText ? kAnyText : mode > kPassword ? kPassword : mode;
  const ArgRecord& variable = arg_at(argc, args, 3);
  bool confirmed = run_input_box(box, title_text);
  set_bool(result, confirmed && store_entered(variable, box.entered));
}

CORELIB_COMMAND(beep) { MessageBeep(MB_OK); }

}  // namespace corelib
