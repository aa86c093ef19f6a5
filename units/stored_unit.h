// Units whose type-specific properties are a table of fields: each field's kind, default and
// range in one row; the stored data read and written generically (version, then every
// field in property order); reads and writes converted and clamped in one place. A unit
// type adds only what its properties do to its window.
#pragma once
#include <cstddef>
#include <string>
#include <vector>
#include "units/core_units.h"
#include "units/pictures.h"
#include "units/unit_base.h"

namespace units {

// How a field is held and stored: numbers as 32 bits, dates as a double (two words), texts,
// bytes and fonts as a 32-bit length and the bytes.
enum class Kind : uint8_t { kInt, kBool, kPick, kColour, kDate, kText, kBytes, kFont };

// One type-specific property: its kind, its default, and for a pick its highest index.
struct Field {
  Kind kind;
  int32_t def = 0;
  int32_t max = 0;
};

inline constexpr uint32_t kDefaultColour = 0xFF000000;

class StoredUnit : public Unit {
 public:
  StoredUnit(const Field* fields, size_t count, uint32_t version);

  // Empty data give the defaults; a version above this type's, or a length running past the
  // end, refuses the data. A short record keeps the defaults of the fields it lacks.
  bool load(DataReader& d) override;
  std::string save() const override;
  // Numbers clamped to their range (picks 0..max), logicals 0 or 1, texts and bytes copied,
  // then `apply`.
  int set_property(int index, const PropData& v) override;
  // `refresh`, then the value: texts and bytes point into the field until its next change.
  bool get_property(int index, PropData& out) override;
  // Plain texts and font face names pass through the routine, then `convert_items`.
  void convert_texts(TextRoutine routine, void* user) override;
  HBRUSH on_ctl_color(HDC dc) override;
  // Texts inside custom data (item lists) for the text routine.
  virtual void convert_items(TextRoutine, void*) {}

 protected:
  // After a write of `index` to a unit with a window: act on it; 1 asks the framework to
  // create the unit anew.
  virtual int apply(int) { return 0; }
  // Before a read of `index` (and of every field before a save): copy live state (a
  // position, a selection) into the field.
  virtual void refresh(int) {}

  // The colour fields the system colour messages use (text colour, background colour, the
  // system colour for a default background).
  void use_colours(int text, int back, int system_back);
  // The loader's style bits with the child and clip-siblings styles.
  static DWORD base_style(const CreateArgs& a) { return a.style | WS_CHILD | WS_CLIPSIBLINGS; }
  // A window of a private class (arrow cursor, no background brush, double clicks, redrawn
  // on resize) for units that paint themselves or show nothing.
  bool create_private(const char* cls, const CreateArgs& a, DWORD style = 0, DWORD ex = 0);

  int32_t num(int i) const { return values_[i].num; }
  bool flag(int i) const { return values_[i].num == 1; }
  const std::string& str(int i) const { return values_[i].text; }
  double date(int i) const;
  void set_num(int i, int32_t v) { values_[i].num = v; }
  void set_str(int i, std::string v) { values_[i].text = std::move(v); }
  void set_date(int i, double v);
  // The first font field: its font (the default GUI font when empty), and WM_SETFONT.
  HFONT font();
  void apply_font();
  FontHolder* font_field(int i) { return &values_[i].font; }
  std::string window_text() const;
  // A colour field as a colour, the system colour for the default value.
  COLORREF colour(int i, int system_colour) const {
    uint32_t v = static_cast<uint32_t>(num(i));
    return v == kDefaultColour ? GetSysColor(system_colour) : (v & 0xFFFFFF);
  }
  size_t field_count() const { return values_.size(); }

 private:
  struct Value {
    int32_t num = 0;
    uint32_t high = 0;  // a date's high word
    std::string text;   // texts and bytes
    FontHolder font;
  };
  int32_t clamp(int i, int32_t v) const;
  const Field* fields_;
  uint32_t version_;
  std::vector<Value> values_;
  int text_colour_ = -1, back_colour_ = -1, system_back_ = COLOR_BTNFACE;
  GdiOwner brush_;
  COLORREF brush_colour_ = 0;
};

// The interface function of a table unit type; `texts` offers the text conversion.
template <class T>
void* table_interface(int number, bool texts) {
  return texts ? standard_interface(number, &create_op<T>, {kConvertTexts})
               : standard_interface(number, &create_op<T>, {});
}

}  // namespace units
