// The HTML browser unit's support library: its descriptor (GetNewInf), its one unit type
// "超文本浏览框" and its commands. A unit is an HTML view wrapped in a runtime window object.
//
// Type-specific data of the unit (template form):
//   OFFSET SIZE DESCRIPTION
//     0x00    4 version, 1 (a higher version is refused)
//     0x04   12 2, 0, 0 (reserved)
//     0x10    4 start address length n
//     0x14    n start address (GBK, no terminator)
#include <windows.h>
#include <cstring>
#include <string>
#include "abi/descriptor.h"
#include "abi/values.h"
#include "abi/unit_type.h"
#include "view.h"

namespace htmlview {

namespace {

using runtime::ArgRecord;
using runtime::ResultRecord;

int64_t(__cdecl* g_runtime)(int32_t, uint32_t, uint32_t) = nullptr;  // runtime notification

int64_t rt(int32_t code, uint32_t v1 = 0, uint32_t v2 = 0) { return g_runtime ? g_runtime(code, v1, v2) : 0; }

std::wstring from_gbk(const char* s, size_t n) {
  if (!s || !n) return {};
  int w = MultiByteToWideChar(936, 0, s, static_cast<int>(n), nullptr, 0);
  std::wstring out(w, L'\0');
  MultiByteToWideChar(936, 0, s, static_cast<int>(n), out.data(), w);
  return out;
}

std::string to_gbk(const std::wstring& s) {
  if (s.empty()) return {};
  int n = WideCharToMultiByte(936, 0, s.c_str(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(936, 0, s.c_str(), static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
  return out;
}

// A block from the runtime's heap (code 2024, fatal on failure): what crosses the boundary.
void* runtime_block(uint32_t size) { return reinterpret_cast<void*>(static_cast<uintptr_t>(rt(2024, size, 0))); }

char* runtime_text(const std::string& s) {
  if (s.empty()) return nullptr;  // empty texts travel as null
  char* p = static_cast<char*>(runtime_block(static_cast<uint32_t>(s.size() + 1)));
  std::memcpy(p, s.c_str(), s.size() + 1);
  return p;
}

View* view_of_object(void* unit) {
  return View::from(reinterpret_cast<HWND>(static_cast<uintptr_t>(rt(1010, reinterpret_cast<uintptr_t>(unit)))));
}

// The view of a unit argument {window id, unit id, type}; a missing unit is the runtime's
// run-time error (code 2007).
View* view_of_arg(const ArgRecord& a) { return view_of_object(reinterpret_cast<void*>(static_cast<uintptr_t>(rt(2007, a.lo, a.hi)))); }

struct Data {  // parsed type-specific data
  uint32_t version = 1;
  std::wstring address;
};

bool parse(const uint8_t* p, uint32_t n, Data& d) {
  if (!p || n == 0) return true;  // no data: defaults
  if (n < 20) return false;
  uint32_t words[5];
  std::memcpy(words, p, sizeof words);
  if (words[0] == 0 || words[0] > 1) return false;
  if (words[4] > n - 20) return false;
  d.version = words[0];
  d.address = from_gbk(reinterpret_cast<const char*>(p + 20), words[4]);
  return true;
}

// Storage for the last property read: valid until the next call, as the interface allows.
std::string g_read;

// Interface operations.
void* __cdecl create(const uint8_t* data, uint32_t length, uint32_t style, HWND parent, uint32_t id,
                     HMENU, int left, int top, int width, int height, uint32_t, uint32_t, uint32_t, uint32_t) {
  Data d;
  if (!parse(data, length, d)) return nullptr;
  View* v = View::create(parent, style, static_cast<int>(id), left, top, width, height, d.address);
  if (!v) return nullptr;
  void* unit = reinterpret_cast<void*>(static_cast<uintptr_t>(rt(1007, reinterpret_cast<uintptr_t>(v->hwnd()))));
  if (!unit) DestroyWindow(v->hwnd());
  return unit;
}

enum Property { kTitle = 0, kStatus = 1, kBusy = 2, kAddress = 3 };  // numbers 8..11

int __cdecl set_property(void* unit, int index, units::PropData* value, int) {
  View* v = view_of_object(unit);
  if (v && index == kAddress && value)
    v->set_address(from_gbk(reinterpret_cast<const char*>(static_cast<uintptr_t>(value->word)), value->length));
  return 0;
}

int __cdecl get_property(void* unit, int index, units::PropData* out) {
  View* v = view_of_object(unit);
  if (!v || !out) return 0;
  switch (index) {
    case kTitle: g_read = to_gbk(v->title()); break;
    case kStatus: g_read = to_gbk(v->status()); break;
    case kAddress: g_read = to_gbk(v->address()); break;
    case kBusy:
      out->word = v->busy() ? 1 : 0;
      out->length = 4;
      return 1;
    default: return 0;
  }
  out->word = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(g_read.c_str()));
  out->length = static_cast<uint32_t>(g_read.size());
  return 1;
}

void* __cdecl get_all_data(void* unit, uint32_t* length) {
  View* v = view_of_object(unit);
  std::string a = v ? to_gbk(v->address()) : std::string();
  uint32_t n = static_cast<uint32_t>(20 + a.size());
  auto* p = static_cast<uint8_t*>(runtime_block(n));
  const uint32_t words[5] = {1, 2, 0, 0, static_cast<uint32_t>(a.size())};
  std::memcpy(p, words, sizeof words);
  std::memcpy(p + 20, a.data(), a.size());
  if (length) *length = n;
  return p;
}

void* __cdecl interface_function(int number) {
  switch (number) {
    case units::kCreate: return reinterpret_cast<void*>(&create);
    case units::kSetProperty: return reinterpret_cast<void*>(&set_property);
    case units::kGetAllData: return reinterpret_cast<void*>(&get_all_data);
    case units::kGetProperty: return reinterpret_cast<void*>(&get_property);
    default: return nullptr;
  }
}

constexpr units::PropertyDescriptor prop(uint16_t type, uint16_t flags) {
  return {"", "", "", type, flags, nullptr};
}
const units::PropertyDescriptor kProperties[12] = {
    prop(units::kPropInt, 0xE000),   prop(units::kPropInt, 0xE000),   prop(units::kPropInt, 0xE000),
    prop(units::kPropInt, 0xE000),   prop(units::kPropText, 0xE000),  prop(units::kPropBool, 0xE000),
    prop(units::kPropBool, 0xE000),  prop(units::kPropCursor, 0xE000),
    prop(units::kPropText, 0x8000),  // 8 page title (read only)
    prop(units::kPropText, 0x8000),  // 9 status line (read only)
    prop(units::kPropBool, 0x8000),  // 10 loading
    prop(units::kPropText, 0x8000),  // 11 address (written: stored only)
};

units::UnitTypeEntry g_types[1] = {{"超文本浏览框", "HtmlViewer", "", 0, nullptr,
                                    units::kWindowUnit | units::kRunsOnWindows, 0, 0, nullptr, 12,
                                    kProperties, &interface_function, 0, nullptr}};

// Command 0: page title of a unit -> text.
void __cdecl cmd_title(ResultRecord* r, int argc, ArgRecord* args) {
  if (argc < 1) return;
  if (View* v = view_of_arg(args[0])) r->lo = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(runtime_text(to_gbk(v->title()))));
}

// Command 1: browse (unit, address, two optional arguments not used) -> loads the page.
void __cdecl cmd_browse(ResultRecord*, int argc, ArgRecord* args) {
  if (argc < 2 || args[1].type != runtime::kTypeText) return;
  const char* address = reinterpret_cast<const char*>(static_cast<uintptr_t>(args[1].lo));
  if (View* v = view_of_arg(args[0])) v->browse(from_gbk(address, std::strlen(address)));
}

runtime::CommandRoutine g_commands[2] = {&cmd_title, &cmd_browse};

int32_t __cdecl library_notify(int32_t code, uint32_t v1, uint32_t) {
  switch (code) {
    case 1:  // loaded: keep the runtime notification routine
      g_runtime = reinterpret_cast<int64_t(__cdecl*)(int32_t, uint32_t, uint32_t)>(static_cast<uintptr_t>(v1));
      return 0;
    case 6:  // unloading: running fetches hold their own reference on this module
      return 0;
    default:
      return -1;
  }
}

void* __cdecl add_in(void*) { return nullptr; }

corelib::LibDescriptor g_descriptor = {
    20000101, "9c4e1f27b3a84d6e8f05a1c2d7b96e43", 1, 0, 1, 3, 7, 3, 7,
    "超文本浏览框支持库", 1, "以网页浏览框显示并刷新网页。", 0,
    "Tinloft", "", "", "", "", "", "", "",
    1, g_types, 0, nullptr, 0, nullptr,
    g_commands, &add_in, nullptr, &library_notify, nullptr, nullptr, 0, nullptr, nullptr};

}  // namespace

}  // namespace htmlview

extern "C" corelib::LibDescriptor* __stdcall GetNewInf() { return &htmlview::g_descriptor; }
