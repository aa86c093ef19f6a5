// Table units: field conversion and clamping, the stored record, colours and fonts.
#include "units/stored_unit.h"
#include <cstring>

namespace units {

namespace {

bool is_number(Kind k) {
  return k == Kind::kInt || k == Kind::kBool || k == Kind::kPick || k == Kind::kColour;
}

}  // namespace

StoredUnit::StoredUnit(const Field* fields, size_t count, uint32_t version)
    : fields_(fields), version_(version), values_(count) {
  for (size_t i = 0; i < count; ++i) {
    if (fields[i].kind == Kind::kDate) set_date(int(i), fields[i].def);
    else values_[i].num = fields[i].def;
  }
}

int32_t StoredUnit::clamp(int i, int32_t v) const {
  switch (fields_[i].kind) {
    case Kind::kBool: return v ? 1 : 0;
    case Kind::kPick: return v < 0 ? 0 : v > fields_[i].max ? fields_[i].max : v;
    default: return v;
  }
}

double StoredUnit::date(int i) const {
  uint64_t bits = uint64_t(values_[i].high) << 32 | uint32_t(values_[i].num);
  double d;
  std::memcpy(&d, &bits, 8);
  return d;
}

void StoredUnit::set_date(int i, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  values_[i].num = static_cast<int32_t>(bits & 0xFFFFFFFF);
  values_[i].high = static_cast<uint32_t>(bits >> 32);
}

bool StoredUnit::load(DataReader& d) {
  if (d.empty()) return true;
  uint32_t version = 0;
  if (!d.u32(version) || version > version_) return false;
  for (size_t i = 0; i < values_.size(); ++i) {
    Value& v = values_[i];
    Kind k = fields_[i].kind;
    if (is_number(k)) {
      int32_t n;
      if (d.i32(n)) v.num = clamp(int(i), n);
    } else if (k == Kind::kDate) {
      uint32_t lo, hi;
      if (d.u32(lo) && d.u32(hi)) {
        v.num = static_cast<int32_t>(lo);
        v.high = hi;
      }
    } else if (k == Kind::kFont) {
      std::string record;
      if (d.bytes(record)) v.font.set(record);
    } else {
      d.bytes(v.text);
    }
  }
  return d.ok();
}

std::string StoredUnit::save() const {
  auto* self = const_cast<StoredUnit*>(this);
  if (handle())
    for (size_t i = 0; i < values_.size(); ++i) self->refresh(int(i));
  DataWriter w;
  w.u32(version_);
  for (size_t i = 0; i < values_.size(); ++i) {
    const Value& v = values_[i];
    Kind k = fields_[i].kind;
    if (is_number(k)) w.i32(v.num);
    else if (k == Kind::kDate) { w.i32(v.num); w.u32(v.high); }
    else if (k == Kind::kFont) w.bytes(v.font.record());
    else w.bytes(v.text);
  }
  return w.data();
}

int StoredUnit::set_property(int index, const PropData& in) {
  if (index < 0 || size_t(index) >= values_.size()) return 0;
  Value& v = values_[index];
  Kind k = fields_[index].kind;
  std::string bytes = in.word && !is_number(k) && k != Kind::kDate
                          ? std::string(reinterpret_cast<const char*>(in.word), in.length)
                          : std::string();
  if (is_number(k)) v.num = clamp(index, static_cast<int32_t>(in.word));
  else if (k == Kind::kDate) { v.num = static_cast<int32_t>(in.word); v.high = in.length; }
  else if (k == Kind::kFont) v.font.set(bytes);
  else v.text = std::move(bytes);
  if (index == back_colour_) brush_.reset();
  return handle() ? apply(index) : 0;
}

bool StoredUnit::get_property(int index, PropData& out) {
  if (index < 0 || size_t(index) >= values_.size()) return false;
  refresh(index);
  const Value& v = values_[index];
  Kind k = fields_[index].kind;
  if (is_number(k)) out = {static_cast<uint32_t>(v.num), 4};
  else if (k == Kind::kDate) out = {static_cast<uint32_t>(v.num), v.high};
  else if (k == Kind::kFont)
    out = {reinterpret_cast<uint32_t>(v.font.record().data()),
           static_cast<uint32_t>(v.font.record().size())};
  else out = {reinterpret_cast<uint32_t>(v.text.c_str()), static_cast<uint32_t>(v.text.size())};
  return true;
}

void StoredUnit::convert_texts(TextRoutine routine, void* user) {
  for (size_t i = 0; i < values_.size(); ++i) {
    Value& v = values_[i];
    if (fields_[i].kind == Kind::kText) {
      convert_one(routine, user, v.text, false);
    } else if (fields_[i].kind == Kind::kFont) {
      std::string face = v.font.face();
      if (!face.empty() && convert_one(routine, user, face, true)) v.font.set_face(face);
    }
  }
  convert_items(routine, user);
}

void StoredUnit::use_colours(int text, int back, int system_back) {
  text_colour_ = text;
  back_colour_ = back;
  system_back_ = system_back;
}

HBRUSH StoredUnit::on_ctl_color(HDC dc) {
  if (back_colour_ < 0) return nullptr;
  if (text_colour_ >= 0 && static_cast<uint32_t>(num(text_colour_)) != kDefaultColour)
    SetTextColor(dc, num(text_colour_) & 0xFFFFFF);
  COLORREF back = colour(back_colour_, system_back_);
  SetBkColor(dc, back);
  if (!brush_.object || brush_colour_ != back) {
    brush_.reset(CreateSolidBrush(back));
    brush_colour_ = back;
  }
  return static_cast<HBRUSH>(brush_.object);
}

bool StoredUnit::create_private(const char* cls, const CreateArgs& a, DWORD style, DWORD ex) {
  framework::Window::register_class(cls, LoadCursor(nullptr, IDC_ARROW), nullptr,
                                    CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW);
  return create(cls, "", base_style(a) | style, ex, a.left, a.top, a.width, a.height, a.parent,
                reinterpret_cast<HMENU>(static_cast<UINT_PTR>(a.control_id)));
}

HFONT StoredUnit::font() {
  for (size_t i = 0; i < values_.size(); ++i)
    if (fields_[i].kind == Kind::kFont) return values_[i].font.get();
  return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

void StoredUnit::apply_font() {
  if (handle()) SendMessageA(handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font()), TRUE);
}

std::string StoredUnit::window_text() const {
  if (!handle()) return {};
  int n = GetWindowTextLengthA(handle());
  std::string s(size_t(n) + 1, '\0');
  s.resize(GetWindowTextA(handle(), s.data(), n + 1));
  return s;
}

}  // namespace units
