// The unit object: a window object with the window and unit identifiers of its template
// entry, the interface operations as member functions, and the generic operation thunks
// from which each core unit type builds its interface function.
#pragma once
#include <windows.h>
#include <initializer_list>
#include <string>
#include "framework/gdi.h"
#include "framework/subclass.h"
#include "units/unit_data.h"
#include "abi/unit_type.h"

namespace units {

struct CreateArgs {
  const uint8_t* data;
  uint32_t length;
  uint32_t style;         // visible/disabled/tab-stop styles chosen by the loader
  HWND parent;
  uint32_t control_id;
  HMENU menu;
  int left, top, width, height;
  uint32_t window_id, unit_id;
};

class Unit : public framework::ControlWindow {
 public:
  // The unit behind an object pointer that crossed an interface, or null.
  static Unit* from(void* object);
  static Unit* from_window(HWND hwnd);

  uint32_t window_id() const { return window_id_; }
  uint32_t unit_id() const { return unit_id_; }

  // Reads the type-specific data; false refuses it (a version too high, corrupt data).
  virtual bool load(DataReader& data) = 0;
  // The type-specific data in template form.
  virtual std::string save() const = 0;
  // Creates the system window; false on failure.
  virtual bool create_window(const CreateArgs& a) = 0;
  // Property index = property number - 8. Answers 1 when the unit must be created anew.
  virtual int set_property(int, const PropData&) { return 0; }
  virtual bool get_property(int, PropData&) { return false; }
  virtual bool wants_key(const MSG&) { return false; }
  virtual bool acts_on_enter() { return false; }
  // Each text of the unit (caption, face names, extra texts), replaced by the routine's
  // answer when it gives one.
  virtual void convert_texts(TextRoutine, void*) {}

  // Notifications the window unit reflects to the unit that sent them.
  virtual void on_command(WORD) {}
  virtual HBRUSH on_ctl_color(HDC) { return nullptr; }
  // Other messages a container gets about a child unit (WM_NOTIFY, WM_HSCROLL, WM_VSCROLL,
  // WM_DRAWITEM, WM_MEASUREITEM): true when the unit answered, with its answer in `result`.
  virtual bool on_reflected(UINT, WPARAM, LPARAM, LRESULT&) { return false; }
  // The unit a container's message is about (see `on_reflected`), or null.
  static Unit* reflection_target(HWND container, UINT msg, WPARAM wp, LPARAM lp);

  // Raises an event of this unit with plain arguments; the record carries the result.
  EventRecord raise(int event, std::initializer_list<uint32_t> args = {});

  void set_ids(uint32_t window, uint32_t unit) {
    window_id_ = window;
    unit_id_ = unit;
  }
  // Destroys the window (the object deletes itself) or, without a window, the object.
  void dispose();

 protected:
  ~Unit() override = default;
  // Focus changes raise the common events -7 and -8; everything else goes to `pass`.
  LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override;
  void on_final_destroy() override;
  // A text answer of `get_property`, kept until the next call.
  PropData text_out(const std::string& s);
  PropData bytes_out(const std::string& s) { return text_out(s); }
  static PropData int_out(int32_t v) { return {static_cast<uint32_t>(v), 4}; }
  static std::string text_in(const PropData& v);
  static int32_t int_in(const PropData& v) { return static_cast<int32_t>(v.word); }
  static int32_t clamp_pick(const PropData& v, int32_t hi) {
    int32_t x = int_in(v);
    return x < 0 ? 0 : x > hi ? hi : x;
  }
  // Applies `routine` to one text; true when it was replaced.
  static bool convert_one(TextRoutine routine, void* user, std::string& text, bool font_name);

 private:
  uint32_t window_id_ = 0, unit_id_ = 0;
  std::string scratch_;
};

// A font property: empty (the default GUI font) or a 60-byte logical-font record.
class FontHolder {
 public:
  void set(const std::string& record);
  const std::string& record() const { return record_; }
  HFONT get();  // the created font, or the default GUI font
  // The face name (byte 28 of the record), for text conversion.
  std::string face() const;
  void set_face(const std::string& face);

 private:
  std::string record_;
  framework::Font font_;  // created from the record on first use
};

// Generic operation thunks; T derives from Unit and is default-constructible.
template <class T>
void* __cdecl create_op(const uint8_t* data, uint32_t length, uint32_t style, HWND parent,
                          uint32_t control_id, HMENU menu, int left, int top, int width,
                          int height, uint32_t window_id, uint32_t unit_id, uint32_t, uint32_t) {
  T* unit = new (std::nothrow) T;
  if (!unit) return nullptr;
  unit->set_ids(window_id, unit_id);
  DataReader reader(data, length);
  CreateArgs a{data, length, style, parent, control_id, menu, left, top, width, height,
               window_id, unit_id};
  if (!unit->load(reader) || !reader.ok() || !unit->create_window(a)) {
    // A window refused after WM_NCCREATE (no display, WM_CREATE failing) was destroyed
    // inside its creation and its object deleted itself with it.
    if (framework::Window::live_object(static_cast<framework::Window*>(unit))) unit->dispose();
    return nullptr;
  }
  return static_cast<framework::Window*>(unit);
}

int __cdecl set_op(void* unit, int index, PropData* value, int);
void* __cdecl get_all_op(void* unit, uint32_t* length);
int __cdecl get_op(void* unit, int index, PropData* out);
int __cdecl wants_key_op(void* unit, MSG* msg);
void* __cdecl texts_op(void* unit, TextRoutine routine, void* user, uint32_t* length);
int __cdecl on_enter_op(void* unit);

// Interface function body shared by the core types: `offers` lists the operation numbers
// beyond create, set, get all and get.
void* standard_interface(int number, CreateOp create, std::initializer_list<int> offers);

}  // namespace units
