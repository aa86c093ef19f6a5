// Edit box unit: a system edit control with input modes and the typed-character filter, an
// optional spin control, selection properties and one change event per written content.
#include <windows.h>
#include <commctrl.h>
#include <algorithm>
#include "framework/gdi.h"
#include "units/border_styles.h"
#include "units/pictures.h"
#include "units/core_units.h"
#include "units/unit_base.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int {
  kContent = 0, kBorder = 1, kTextColour = 2, kBackColour = 3, kFont = 4, kHideSelection = 5,
  kMaxLength = 6, kMultiLine = 7, kScrollBars = 8, kAlignment = 9, kInputMode = 10,
  kMaskChar = 11, kLetterCase = 12, kSpinMode = 13, kSpinMin = 14, kSpinMax = 15, kSelStart = 16,
  kSelLength = 17, kSelText = 18, kText1 = 19, kText2 = 20
};

constexpr uint32_t kDefaultColour = 0xFF000000;

// Characters a typed-character filter lets through, by input mode (printable ones only).
bool accepts(int mode, unsigned ch) {
  if (ch < 0x20) return true;
  bool digit = ch >= '0' && ch <= '9';
  switch (mode) {
    case 3: case 6: case 7: case 8: return digit || ch == '-';
    case 4: case 9: case 10: return digit || ch == '-' || ch == '.';
    case 5: return digit;
    default: return true;
  }
}

class EditBox : public Unit {
 public:
  bool load(DataReader& d) override {
    if (d.empty()) return true;
    uint32_t version = 0;
    if (!d.u32(version) || version > 2) return false;
    d.i32(border_);
    d.u32(text_colour_);
    d.u32(back_colour_);
    uint32_t v;
    if (d.u32(v)) hide_selection_ = v == 1;
    d.i32(max_length_);
    if (d.u32(v)) multi_line_ = v == 1;
    d.i32(scroll_bars_);
    d.i32(alignment_);
    d.i32(input_mode_);
    d.u16(mask_);
    d.i32(letter_case_);
    d.i32(spin_mode_);
    d.i32(spin_min_);
    d.i32(spin_max_);
    d.i32(sel_start_);
    d.i32(sel_length_);
    std::string font;
    if (d.bytes(font)) font_.set(font);
    d.bytes(content_);
    if (version >= 2) {
      d.bytes(text1_);
      d.bytes(text2_);
    }
    clamp_all();
    return true;
  }
  std::string save() const override {
    DataWriter w;
    w.u32(2);
    w.i32(border_);
    w.u32(text_colour_);
    w.u32(back_colour_);
    w.u32(hide_selection_);
    w.i32(max_length_);
    w.u32(multi_line_);
    w.i32(scroll_bars_);
    w.i32(alignment_);
    w.i32(input_mode_);
    w.u16(mask_);
    w.i32(letter_case_);
    w.i32(spin_mode_);
    w.i32(spin_min_);
    w.i32(spin_max_);
    w.i32(sel_start_);
    w.i32(sel_length_);
    w.bytes(font_.record());
    w.bytes(current_text());
    w.bytes(text1_);
    w.bytes(text2_);
    return w.data();
  }
  bool create_window(const CreateArgs& a) override {
    DWORD style = a.style | WS_CHILD | WS_CLIPSIBLINGS, ex = 0;
    if (!hide_selection_) style |= ES_NOHIDESEL;
    if (multi_line_) {
      style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;
      if (scroll_bars_ == 1 || scroll_bars_ == 3) style |= ES_AUTOHSCROLL | WS_HSCROLL;
      if (scroll_bars_ == 2 || scroll_bars_ == 3) style |= WS_VSCROLL;
    } else {
      style |= ES_AUTOHSCROLL;
    }
    static const DWORD align[] = {ES_LEFT, ES_CENTER, ES_RIGHT};
    style |= align[alignment_];
    if (input_mode_ == 1) style |= ES_READONLY;
    if (input_mode_ == 2) style |= ES_PASSWORD;
    if (letter_case_ == 1) style |= ES_LOWERCASE;
    if (letter_case_ == 2) style |= ES_UPPERCASE;
    border_styles(border_, style, ex);
    int height = a.height;
    if (!multi_line_) height = std::max(height, min_height());
    writing_ = true;  // the creation text is not a change
    bool made = create_control("EDIT", content_.c_str(), style, ex, a.left, a.top, a.width,
                               height, a.parent, a.control_id);
    writing_ = false;
    if (!made) return false;
    SendMessageA(handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    SendMessageA(handle(), EM_SETLIMITTEXT, max_length_, 0);
    if (input_mode_ == 2) SendMessageA(handle(), EM_SETPASSWORDCHAR, mask_char(), 0);
    if (spin_mode_ != 0 && !multi_line_) create_spin(a);
    apply_selection();
    return true;
  }
  int set_property(int index, const PropData& v) override {
    switch (index) {
      case kContent: write_content(text_in(v)); return 0;
      case kBorder: border_ = clamp_pick(v, 5); apply_border(handle(), border_); return 0;
      case kTextColour: text_colour_ = v.word; InvalidateRect(handle(), nullptr, TRUE); return 0;
      case kBackColour: back_colour_ = v.word; brush_.reset(); InvalidateRect(handle(), nullptr, TRUE); return 0;
      case kFont:
        font_.set(text_in(v));
        SendMessageA(handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
        fit_height();
        return 0;
      case kHideSelection: return recreate_if(hide_selection_, v.word != 0);
      case kMaxLength:
        max_length_ = int_in(v) < 0 ? 0 : int_in(v);
        SendMessageA(handle(), EM_SETLIMITTEXT, max_length_, 0);
        return 0;
      case kMultiLine: return recreate_if(multi_line_, v.word != 0);
      case kScrollBars: return recreate_if(scroll_bars_, clamp_pick(v, 3));
      case kAlignment: return recreate_if(alignment_, clamp_pick(v, 2));
      case kInputMode: set_input_mode(clamp_pick(v, 11)); return 0;
      case kMaskChar: {
        std::string t = text_in(v);
        mask_ = t.empty() ? 0 : static_cast<uint8_t>(t[0]);
        if (input_mode_ == 2) {
          SendMessageA(handle(), EM_SETPASSWORDCHAR, mask_char(), 0);
          InvalidateRect(handle(), nullptr, TRUE);
        }
        return 0;
      }
      case kLetterCase: return recreate_if(letter_case_, clamp_pick(v, 2));
      case kSpinMode: return recreate_if(spin_mode_, clamp_pick(v, 2));
      case kSpinMin: spin_min_ = int_in(v); apply_spin_range(); return 0;
      case kSpinMax: spin_max_ = int_in(v); apply_spin_range(); return 0;
      case kSelStart:
        sel_start_ = int_in(v) < -1 ? 0 : int_in(v);
        apply_selection();
        return 0;
      case kSelLength:
        sel_length_ = int_in(v) < -1 ? 0 : int_in(v);
        apply_selection();
        return 0;
      case kSelText: {
        std::string t = text_in(v);
        SendMessageA(handle(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(t.c_str()));
        return 0;
      }
      case kText1: text1_ = text_in(v); return 0;
      case kText2: text2_ = text_in(v); return 0;
      default: return 0;
    }
  }
  bool get_property(int index, PropData& out) override {
    switch (index) {
      case kContent: out = text_out(current_text()); return true;
      case kBorder: out = int_out(border_); return true;
      case kTextColour: out = int_out(static_cast<int32_t>(text_colour_)); return true;
      case kBackColour: out = int_out(static_cast<int32_t>(back_colour_)); return true;
      case kFont: out = bytes_out(font_.record()); return true;
      case kHideSelection: out = int_out(hide_selection_); return true;
      case kMaxLength: out = int_out(max_length_); return true;
      case kMultiLine: out = int_out(multi_line_); return true;
      case kScrollBars: out = int_out(scroll_bars_); return true;
      case kAlignment: out = int_out(alignment_); return true;
      case kInputMode: out = int_out(input_mode_); return true;
      case kMaskChar: out = text_out(mask_ ? std::string(1, static_cast<char>(mask_)) : std::string()); return true;
      case kLetterCase: out = int_out(letter_case_); return true;
      case kSpinMode: out = int_out(spin_mode_); return true;
      case kSpinMin: out = int_out(spin_min_); return true;
      case kSpinMax: out = int_out(spin_max_); return true;
      case kSelStart: {
        DWORD s = 0, e = 0;
        SendMessageA(handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
        out = int_out(static_cast<int32_t>(s));
        return true;
      }
      case kSelLength: {
        DWORD s = 0, e = 0;
        SendMessageA(handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
        out = int_out(static_cast<int32_t>(e - s));
        return true;
      }
      case kSelText: {
        DWORD s = 0, e = 0;
        SendMessageA(handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
        std::string t = current_text();
        out = text_out(s < e && e <= t.size() ? t.substr(s, e - s) : std::string());
        return true;
      }
      case kText1: out = text_out(text1_); return true;
      case kText2: out = text_out(text2_); return true;
      default: return false;
    }
  }
  bool wants_key(const MSG& m) override {
    return (m.message == WM_KEYDOWN || m.message == WM_CHAR || m.message == WM_KEYUP) &&
           m.wParam == VK_RETURN && multi_line_ && input_mode_ != 1;
  }
  void on_command(WORD code) override {
    if (code == EN_CHANGE && !writing_) raise(0);
  }
  HBRUSH on_ctl_color(HDC dc) override {
    if (text_colour_ != kDefaultColour) SetTextColor(dc, text_colour_ & 0xFFFFFF);
    COLORREF back = back_colour_ == kDefaultColour ? GetSysColor(COLOR_WINDOW)
                                                   : (back_colour_ & 0xFFFFFF);
    SetBkColor(dc, back);
    if (!brush_.object) brush_.reset(CreateSolidBrush(back));
    return static_cast<HBRUSH>(brush_.object);
  }
  void convert_texts(TextRoutine routine, void* user) override {
    std::string t = current_text();
    if (convert_one(routine, user, t, false)) content_ = t;
    std::string face = font_.face();
    if (!face.empty() && convert_one(routine, user, face, true)) font_.set_face(face);
    convert_one(routine, user, text1_, false);
    convert_one(routine, user, text2_, false);
  }

 protected:
  LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_CHAR && !accepts(input_mode_, static_cast<unsigned>(wp & 0xFF))) return 0;
    if (msg == WM_ENABLE && spin_) EnableWindow(spin_, wp != 0);
    if (msg == WM_DESTROY && spin_) {
      DestroyWindow(spin_);
      spin_ = nullptr;
    }
    return Unit::on_message(msg, wp, lp);
  }

 private:
  void clamp_all() {
    auto clamp = [](int32_t& v, int32_t hi) { v = v < 0 ? 0 : v > hi ? hi : v; };
    clamp(border_, 5);
    clamp(scroll_bars_, 3);
    clamp(alignment_, 2);
    clamp(input_mode_, 11);
    clamp(letter_case_, 2);
    clamp(spin_mode_, 2);
    if (max_length_ < 0) max_length_ = 0;
  }
  char mask_char() const { return mask_ ? static_cast<char>(mask_) : '*'; }
  std::string current_text() const {
    if (!handle()) return content_;
    int n = GetWindowTextLengthA(handle());
    std::string t(static_cast<size_t>(n) + 1, '\0');
    n = GetWindowTextA(handle(), t.data(), n + 1);
    t.resize(n > 0 ? n : 0);
    return t;
  }
  void write_content(const std::string& text) {
    content_ = text;
    writing_ = true;
    SetWindowTextA(handle(), text.c_str());
    writing_ = false;
    SendMessageA(GetParent(handle()), WM_COMMAND,
                 MAKEWPARAM(GetDlgCtrlID(handle()), EN_CHANGE),
                 reinterpret_cast<LPARAM>(handle()));
  }
  int recreate_if(int32_t& field, int32_t value) {
    if (field == value) return 0;
    field = value;
    content_ = current_text();
    return 1;
  }
  int recreate_if(bool& field, bool value) {
    if (field == value) return 0;
    field = value;
    content_ = current_text();
    return 1;
  }
  void set_input_mode(int32_t mode) {
    input_mode_ = mode;
    SendMessageA(handle(), EM_SETREADONLY, mode == 1, 0);
    SendMessageA(handle(), EM_SETPASSWORDCHAR, mode == 2 ? mask_char() : 0, 0);
    InvalidateRect(handle(), nullptr, TRUE);
  }
  int min_height() const {
    framework::ClientDC dc(nullptr);
    framework::SelectScope font(dc.get(), const_cast<FontHolder&>(font_).get());
    TEXTMETRICA tm{};
    GetTextMetricsA(dc.get(), &tm);
    return tm.tmHeight + 2 * GetSystemMetrics(SM_CYEDGE);
  }
  void fit_height() {
    if (multi_line_ || !handle()) return;
    RECT r;
    GetWindowRect(handle(), &r);
    int need = min_height();
    if (r.bottom - r.top < need)
      SetWindowPos(handle(), nullptr, 0, 0, r.right - r.left, need,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  void create_spin(const CreateArgs& a) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&icc);
    DWORD ex = (border_ == 0 || border_ == 1 || border_ == 3) ? WS_EX_STATICEDGE : 0;
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | UDS_ARROWKEYS | UDS_SETBUDDYINT |
                  UDS_NOTHOUSANDS | (a.style & WS_VISIBLE);
    RECT r;
    GetWindowRect(handle(), &r);
    MapWindowPoints(nullptr, a.parent, reinterpret_cast<POINT*>(&r), 2);
    int w = GetSystemMetrics(SM_CXVSCROLL);
    spin_ = CreateWindowExA(ex, UPDOWN_CLASSA, "", style, r.right, r.top, w, r.bottom - r.top,
                            a.parent,
                            reinterpret_cast<HMENU>(static_cast<UINT_PTR>(a.control_id + 4)),
                            GetModuleHandleA(nullptr), nullptr);
    if (!spin_) return;
    SendMessageA(spin_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(handle()), 0);
    apply_spin_range();
    if (a.style & WS_DISABLED) EnableWindow(spin_, FALSE);
  }
  void apply_spin_range() {
    if (!spin_) return;
    int lo = std::min(spin_min_, spin_max_), hi = std::max(spin_min_, spin_max_);
    SendMessageA(spin_, UDM_SETRANGE32, lo, hi);
  }
  void apply_selection() {
    if (!handle()) return;
    int n = GetWindowTextLengthA(handle());
    int start = sel_start_ == -1 ? n : std::max(0, sel_start_);
    int end = sel_length_ == -1 ? n : start + std::max(0, sel_length_);
    if (sel_length_ == -1) start = 0;
    SendMessageA(handle(), EM_SETSEL, start, end);
    SendMessageA(handle(), EM_SCROLLCARET, 0, 0);
  }

  int32_t border_ = 1, max_length_ = 0, scroll_bars_ = 0, alignment_ = 0, input_mode_ = 0;
  int32_t letter_case_ = 0, spin_mode_ = 0, spin_min_ = 0, spin_max_ = 100;
  int32_t sel_start_ = 0, sel_length_ = 0;
  uint32_t text_colour_ = 0, back_colour_ = 0xFFFFFF;
  uint16_t mask_ = '*';
  bool hide_selection_ = true, multi_line_ = false, writing_ = false;
  std::string content_, text1_, text2_;
  FontHolder font_;
  GdiOwner brush_;
  HWND spin_ = nullptr;
};

void* __cdecl edit_interface(int number) {
  return standard_interface(number, &create_op<EditBox>, {kWantsKey, kConvertTexts});
}

constexpr uint16_t kTypes[] = {kPropText, kPropPick, kPropColour, kPropBackColour, kPropFont,
                               kPropBool, kPropInt, kPropBool, kPropPick, kPropPick, kPropPick,
                               kPropText, kPropPick, kPropPick, kPropInt, kPropInt, kPropInt,
                               kPropInt, kPropText, kPropText, kPropText};
constexpr auto kProperties = with_common(kTypes);

}  // namespace

const CoreUnitType kEditBoxUnitType{5, kProperties.data(), kProperties.size(), &edit_interface};

}  // namespace units
