// The field editor of the browse dialog: a byte-set or memo value shown as text (a memo is
// editable), as a picture preview, or as sound that can be played; emptied, imported from a
// file and exported to one.
#include <windows.h>
#include <commdlg.h>
#include <cstring>
#include <fstream>
#include <iterator>
#include "database/browse_dialog.h"
#include "framework/dialog_template.h"
#include "runtime/crt.h"

namespace database {

namespace {

enum : int {
  kTextId = 100, kPreviewId = 101, kPlayId = 110, kStopId, kEmptyId, kImportId, kExportId,
  kSaveId = IDOK, kCancelId = IDCANCEL,
};

enum class Kind { kMemo, kPicture, kSound, kBytes };

bool starts(const std::string& s, const char* magic, size_t n) { return s.size() >= n && std::memcmp(s.data(), magic, n) == 0; }

// The picture formats the picture unit shows, by their first bytes.
bool is_picture(const std::string& s) {
  return starts(s, "BM", 2) || starts(s, "GIF8", 4) || starts(s, "\xFF\xD8\xFF", 3) ||
         starts(s, "\x89PNG\r\n\x1A\n", 8) || starts(s, "\0\0\1\0", 4) || starts(s, "\0\0\2\0", 4);
}

bool is_sound(const std::string& s) {
  return (s.size() > 11 && starts(s, "RIFF", 4) && std::memcmp(s.data() + 8, "WAVE", 4) == 0) ||
         (s.size() > 4 && starts(s, "MThd", 4));
}

constexpr char kTextFilter[] = "文本文件 (*.txt)|*.txt|所有文件 (*.*)|*.*||";
constexpr char kPictureFilter[] =
    "图片文件 (*.BMP;*.GIF;*.JPG;*.JPEG;*.PNG;*.ICO;*.CUR)|*.BMP;*.GIF;*.JPG;*.JPEG;*.PNG;*.ICO;*.CUR|"
    "所有文件 (*.*)|*.*||";
constexpr char kSoundFilter[] =
    "所有声音文件 (*.WAV;*.MID)|*.WAV;*.MID|WAV文件 (*.WAV)|*.WAV|MIDI文件 (*.MID)|*.MID|"
    "所有文件 (*.*)|*.*||";
constexpr char kAnyFilter[] = "所有文件 (*.*)|*.*||";

// A "|"-separated filter as the file dialogs take it (zero-separated, two zeros at the end).
std::string dialog_filter(const char* filter) {
  std::string f = filter;
  for (char& c : f)
    if (c == '|') c = '\0';
  return f + '\0';
}

struct Editor {
  bool memo, view_only;
  std::string value, original;
  const BrowseHooks* hooks;
  Kind kind = Kind::kBytes;
  HBITMAP preview = nullptr;

  const char* filter() const {
    switch (kind) {
      case Kind::kMemo: return kTextFilter;
      case Kind::kPicture: return kPictureFilter;
      case Kind::kSound: return kSoundFilter;
      default: return kAnyFilter;
    }
  }

  std::string title() const {
    size_t size = value.size();
    return std::string(memo ? "备注字段" : "字节集字段") + (view_only ? "查看" : "编辑") +
           runtime::crt_format(" - [数据尺寸: %d]", static_cast<int>(size));
  }

  void classify() {
    if (memo) kind = Kind::kMemo;
    else if (is_picture(value)) kind = Kind::kPicture;
    else if (is_sound(value)) kind = Kind::kSound;
    else kind = Kind::kBytes;
  }

  void show(HWND dialog) {
    SetWindowTextA(dialog, title().c_str());
    HWND text = GetDlgItem(dialog, kTextId), picture = GetDlgItem(dialog, kPreviewId);
    if (preview) {
      DeleteObject(preview);
      preview = nullptr;
    }
    if (kind == Kind::kPicture && hooks->decode_picture) preview = hooks->decode_picture(value);
    if (kind == Kind::kPicture && !preview) {
      MessageBoxA(dialog, "创建图片预览失败", "错误", MB_OK | MB_ICONERROR);
      kind = Kind::kBytes;
    }
    SendMessageA(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(preview));
    ShowWindow(picture, preview ? SW_SHOW : SW_HIDE);
    ShowWindow(text, preview ? SW_HIDE : SW_SHOW);
    SetWindowTextA(text, kind == Kind::kMemo ? value.c_str() : byte_list(value).c_str());
    SendMessageA(text, EM_SETREADONLY, kind != Kind::kMemo || view_only, 0);
    EnableWindow(GetDlgItem(dialog, kPlayId), kind == Kind::kSound);
    EnableWindow(GetDlgItem(dialog, kStopId), kind == Kind::kSound);
    for (int id : {kEmptyId, kImportId}) EnableWindow(GetDlgItem(dialog, id), !view_only);
  }

  void take_text(HWND dialog) {
    if (kind != Kind::kMemo || view_only) return;
    HWND text = GetDlgItem(dialog, kTextId);
    std::string t(static_cast<size_t>(GetWindowTextLengthA(text)) + 1, '\0');
    t.resize(static_cast<size_t>(GetWindowTextA(text, t.data(), static_cast<int>(t.size()))));
    value = t;
  }

  bool choose_file(HWND dialog, bool save, std::string* path) {
    char file[MAX_PATH] = {};
    std::string f = dialog_filter(filter());
    OPENFILENAMEA o{};
    o.lStructSize = sizeof o;
    o.hwndOwner = dialog;
    o.lpstrFilter = f.c_str();
    o.lpstrFile = file;
    o.nMaxFile = MAX_PATH;
    o.lpstrDefExt = memo ? "TXT" : nullptr;
    o.Flags = save ? OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST : OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    if (!(save ? GetSaveFileNameA(&o) : GetOpenFileNameA(&o))) return false;
    *path = file;
    return true;
  }

  void command(HWND dialog, int id) {
    switch (id) {
      case kPlayId:
        if (!is_sound(value) || !hooks->play_sound || !hooks->play_sound(value))
          MessageBoxA(dialog, "不是声音数据", "错误", MB_OK | MB_ICONERROR);
        break;
      case kStopId:
        if (hooks->stop_sound) hooks->stop_sound();
        break;
      case kEmptyId:
        value.clear();
        classify();
        show(dialog);
        break;
      case kImportId: {
        std::string path;
        if (!choose_file(dialog, false, &path)) break;
        std::ifstream in(path, std::ios::binary);
        value.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        classify();
        show(dialog);
        break;
      }
      case kExportId: {
        take_text(dialog);
        std::string path;
        if (!choose_file(dialog, true, &path)) break;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(value.data(), static_cast<std::streamsize>(value.size()));
        if (!out.good()) MessageBoxA(dialog, "写出文件失败", "错误", MB_OK | MB_ICONERROR);
        break;
      }
      case kSaveId:
        take_text(dialog);
        EndDialog(dialog, !view_only && value != original ? IDOK : IDCANCEL);
        break;
      case kCancelId:
        EndDialog(dialog, IDCANCEL);
        break;
    }
  }
};

INT_PTR CALLBACK editor_procedure(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
  auto* e = reinterpret_cast<Editor*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(dialog, DWLP_USER, lp);
      e = reinterpret_cast<Editor*>(lp);
      e->classify();
      e->show(dialog);
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wp) == BN_CLICKED || LOWORD(wp) == IDCANCEL) e->command(dialog, LOWORD(wp));
      return TRUE;
    case WM_DESTROY:
      if (e && e->preview) DeleteObject(e->preview);
      if (e) e->preview = nullptr;
      return FALSE;
  }
  return FALSE;
}

}  // namespace

std::string byte_list(const std::string& bytes) {
  std::string out;
  size_t shown = bytes.size() < 600 ? bytes.size() : 600;
  for (size_t i = 0; i < shown; ++i) {
    if (i) out += ',';
    out += std::to_string(static_cast<unsigned char>(bytes[i]));
  }
  if (bytes.size() > 600) out += "  ...";
  return out;
}

bool edit_field_value(HWND owner, bool memo, bool view_only, std::string& value, const BrowseHooks& hooks) {
  Editor e{memo, view_only, value, value, &hooks};
  framework::DialogTemplate t(e.title(), 0, 0, 320, 200);
  t.add(framework::DialogTemplate::kEdit, "", kTextId, 7, 7, 306, 150,
        WS_TABSTOP | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN);
  t.add(framework::DialogTemplate::kStatic, "", kPreviewId, 7, 7, 306, 150, SS_BITMAP | SS_CENTERIMAGE);
  const struct { const char* text; int id; } buttons[] = {
      {"演播(&P)", kPlayId}, {"停止演播(&T)", kStopId}, {"清空(&E)", kEmptyId}, {"导入(&I)", kImportId},
      {"导出(&O)", kExportId}, {"保存退出(&S)", kSaveId}, {"取消退出(&C)", kCancelId},
  };
  short x = 7;
  for (const auto& b : buttons) {
    t.add(framework::DialogTemplate::kButton, b.text, b.id, x, 164, 40, 14, WS_TABSTOP);
    x = static_cast<short>(x + 44);
  }
  bool changed = t.run(owner, editor_procedure, reinterpret_cast<LPARAM>(&e)) == IDOK;
  if (changed) value = e.value;
  return changed;
}

}  // namespace database
