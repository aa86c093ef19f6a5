// The window unit: the window itself (entry 0 of every template), with the window-wide
// keyboard behaviour, the common events of all its units, activation, close, idle and the
// notification-area icon.
#pragma once
#include <windows.h>
#include <string>
#include "units/picture_codec.h"
#include "units/pictures.h"
#include "units/unit_base.h"

namespace units {

inline constexpr UINT kTrayMessage = 0x8064;
inline constexpr UINT kTrayIconNumber = 100;
inline constexpr size_t kTrayTipBytes = 62;

// A notification-area tip: cut to 62 bytes, never through a double-byte character.
std::string tray_tip(const char* tip);

class WindowUnit : public Unit {
 public:
  ~WindowUnit() override { set_accelerators(nullptr); }
  bool load(DataReader& d) override;
  std::string save() const override;
  bool create_window(const CreateArgs& a) override;
  int set_property(int index, const PropData& v) override;
  bool get_property(int index, PropData& out) override;
  void convert_texts(TextRoutine routine, void* user) override;
  bool pre_translate(MSG& msg) override;

  // The window-show routine: visible := 1. The first show after loading applies the stored
  // start state (2 minimised, 3 maximised); later ones show the window in its current state.
  void show_window();
  // The close request: event 1, which may refuse; then the window is destroyed.
  void close();
  // Loading is complete: from now on moves and size changes raise events 3 and 4.
  void set_loaded() { loaded_ = true; }
  bool modal() const { return modal_; }
  void set_modal(bool m) { modal_ = m; }
  // Idle event 7; true when the handler asks for more idle events.
  bool idle(DWORD elapsed_ms);
  // Notification-area icon: add, modify, or (icon null) delete; takes the icon's ownership.
  void set_tray_icon(HICON icon, const char* tip);
  // Takes the accelerator table of the window's menu (the old one is destroyed).
  void set_accelerators(HACCEL table) {
    if (accelerators_) DestroyAcceleratorTable(accelerators_);
    accelerators_ = table;
  }
  // The icon file held in window data (interface 7).
  static std::string icon_of(const uint8_t* data, uint32_t length);

 protected:
  LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  bool handle_key(MSG& msg);
  bool common_event(MSG& msg, uint32_t unit_id);
  void focus_next(HWND from, bool backwards);
  void raise_for(uint32_t unit_id, int event);
  void refresh_frame();
  void apply_state(int state);
  void centre();
  void apply_icons();
  void apply_shape();
  void play_music();
  void paint_background(HDC dc);
  DWORD frame_style(DWORD& ex) const;

  int32_t border_ = 2, picture_mode_ = 1, state_ = 0, music_mode_ = 0, help_context_ = 0;
  int32_t shape_ = 0;
  uint32_t back_colour_ = 0xFF000000;
  bool max_box_ = false, min_box_ = true, control_box_ = true, close_button_ = true;
  bool enter_moves_ = false, escape_closes_ = true, f1_help_ = false, own_taskbar_ = true;
  bool drag_move_ = false, topmost_ = false;
  int32_t setting_ = 0;  // property 30: stored as given, read through the logical conversion
  std::string class_name_, picture_, icon_, music_, title_, help_file_;

  bool top_level_ = true, loaded_ = false, first_show_ = true, modal_ = false;
  bool activated_once_ = false, raising_activation_ = false, help_open_ = false;
  HWND last_focus_ = nullptr;
  IconOwner large_icon_, small_icon_, tray_icon_;
  bool tray_added_ = false;
  Picture picture_view_;  // decoded from picture_ at the first paint
  bool picture_loaded_ = false;
  HACCEL accelerators_ = nullptr;
};

}  // namespace units
