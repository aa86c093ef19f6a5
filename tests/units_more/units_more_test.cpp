// The list, choice, bar, picker and file-system units: a window record built in memory with
// one unit of each type, loaded into real windows and driven through the property services
// and the controls' own messages; handlers bound to the units' events note what they get.
// A linked program with the same types is looked at, kept as a screenshot, and its compiled
// handlers link its drive, directory and file boxes.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>
#include "kit.h"
#include "runtime/heap.h"
#include "runtime/runtime.h"
#include "units/core_units.h"
#include "units/data_binding.h"
#include "units/events.h"
#include "units/framework.h"
#include "units/list_items.h"
#include "units/unit_data.h"
#include "units/window_unit.h"

// The type code the handler stubs return in ECX: 0 (nothing) or a logical.
extern "C" {
uint32_t g_result_type asm("orvel_more_result_type");
}

namespace {

using units::Entry;
using units::WindowTemplate;

constexpr uint32_t kWindow = 0x52018001, kOwn = 0x06018000;
enum : uint32_t {
  kGroup = 0x16018002, kRadio1, kRadio2, kCombo, kList, kChkList, kHScroll, kVScroll,
  kProgress, kSlider, kTab, kDate, kMonth, kDrive, kDir, kFile, kColour, kLink, kSpin,
  kProvider, kSource  // a general provider and a data source for bound lists
};

// Each unit: its type number, place, and the number of arguments of its events 0, 1 and 2
// (-1: no such event).
struct UnitRow {
  uint32_t id, type;
  RECT place;  // left, top, width, height
  int args[3];
};
const UnitRow kUnits[] = {
    {kGroup, 9, {10, 10, 180, 100}, {-1, -1, -1}},
    {kRadio1, 13, {10, 20, 150, 24}, {0, -1, -1}},
    {kRadio2, 13, {10, 50, 150, 24}, {0, -1, -1}},
    {kCombo, 14, {200, 10, 140, 24}, {1, 0, 0}},
    {kList, 15, {350, 10, 120, 100}, {1, 1, -1}},
    {kChkList, 16, {480, 10, 130, 100}, {1, 2, -1}},
    {kHScroll, 17, {10, 120, 180, 18}, {1, -1, -1}},
    {kVScroll, 18, {200, 120, 18, 100}, {1, -1, -1}},
    {kProgress, 19, {230, 120, 180, 20}, {1, -1, -1}},
    {kSlider, 20, {230, 150, 180, 34}, {1, -1, -1}},
    {kTab, 21, {10, 230, 300, 140}, {1, 1, -1}},
    {kDate, 23, {15, 40, 150, 24}, {0, -1, -1}},
    {kMonth, 24, {320, 200, 240, 180}, {0, -1, -1}},
    {kDrive, 25, {580, 200, 170, 24}, {0, -1, -1}},
    {kDir, 26, {580, 230, 170, 150}, {0, -1, -1}},
    {kFile, 27, {10, 390, 300, 110}, {1, 1, -1}},
    {kColour, 28, {620, 10, 130, 24}, {1, -1, -1}},
    {kLink, 29, {620, 44, 130, 20}, {0, -1, -1}},
    {kSpin, 30, {620, 74, 20, 36}, {1, -1, -1}},
};

// ---- handlers: each notes the unit, its event and its arguments ----

struct Seen {
  uint32_t unit;
  int event;
  std::vector<uint32_t> args;
  bool operator==(const Seen&) const = default;
};
void PrintTo(const Seen& s, std::ostream* os) {
  *os << "unit 0x" << std::hex << s.unit << std::dec << " event " << s.event << " (";
  for (uint32_t a : s.args) *os << " " << static_cast<int32_t>(a);
  *os << " )";
}
std::vector<Seen> g_seen;
bool g_link_boxes = false;      // handlers link the drive, directory and file boxes
bool g_refuse = false;          // handlers answer false

std::string read_text(uint32_t unit, int prop);
void write_text(uint32_t unit, int prop, const std::string& text);

extern "C" int __cdecl note_event(int event, int argc, const uint32_t* args) asm("orvel_more_note");
extern "C" int __cdecl note_event(int event, int argc, const uint32_t* args) {
  uint32_t w = 0, u = 0;
  units::current_event_source(w, u);
  g_seen.push_back({u, event, std::vector<uint32_t>(args, args + argc)});
  // As a program links them: the drive into the directory box, the directory into the file box.
  if (g_link_boxes && event == 0 && u == kDrive) write_text(kDir, 8, read_text(kDrive, 8) + "\\");
  if (g_link_boxes && event == 0 && u == kDir) write_text(kFile, 8, read_text(kDir, 8));
  g_result_type = g_refuse ? 0x80000002 : 0;  // a logical false, or nothing
  return 0;
}

// Compiled-handler stubs: event E with A arguments; they remove their arguments and return
// like compiled code (ECX = the result's type code or 0).
asm(R"(
  .text
.macro MORE_HANDLER ev, argc
orvel_more_h\ev\()_\argc:
  leal 4(%esp), %eax
  pushl %eax
  pushl $\argc
  pushl $\ev
  call orvel_more_note
  addl $12, %esp
  movl orvel_more_result_type, %ecx
  ret $(\argc*4)
.endm
  MORE_HANDLER 0, 0
  MORE_HANDLER 0, 1
  MORE_HANDLER 0, 2
  MORE_HANDLER 1, 0
  MORE_HANDLER 1, 1
  MORE_HANDLER 1, 2
  MORE_HANDLER 2, 0
  MORE_HANDLER 2, 1
  MORE_HANDLER 2, 2
)");
extern "C" {
void h0_0() asm("orvel_more_h0_0");
void h0_1() asm("orvel_more_h0_1");
void h0_2() asm("orvel_more_h0_2");
void h1_0() asm("orvel_more_h1_0");
void h1_1() asm("orvel_more_h1_1");
void h1_2() asm("orvel_more_h1_2");
void h2_0() asm("orvel_more_h2_0");
void h2_1() asm("orvel_more_h2_1");
void h2_2() asm("orvel_more_h2_2");
}
void (*const kHandlers[3][3])() = {{h0_0, h0_1, h0_2}, {h1_0, h1_1, h1_2}, {h2_0, h2_1, h2_2}};

// ---- the window ----

std::string u32s(std::initializer_list<uint32_t> words) {
  units::DataWriter w;
  for (uint32_t v : words) w.u32(v);
  return w.data();
}

Entry entry(uint32_t id, uint32_t type, RECT r) {
  Entry e;
  e.id = id;
  e.type = type;
  e.left = r.left;
  e.top = r.top;
  e.width = r.right;
  e.height = r.bottom;
  e.flags = 1 | 4;  // visible, tab stop
  return e;
}

std::unique_ptr<WindowTemplate> g_window;

int64_t read(uint32_t unit, int prop, int index = -1) {
  return static_cast<int64_t>(units::read_property(kWindow, unit, prop, index));
}
void write(uint32_t unit, int prop, uint32_t lo, uint32_t hi = 0, int index = -1) {
  units::write_property(kWindow, unit, prop, index, lo, hi);
}
std::string read_text(uint32_t unit, int prop) {
  auto* p = reinterpret_cast<char*>(static_cast<uintptr_t>(read(unit, prop)));
  std::string s = p ? p : "";
  runtime::free_block(p);
  return s;
}
void write_text(uint32_t unit, int prop, const std::string& text) {
  write(unit, prop, reinterpret_cast<uintptr_t>(text.c_str()));
}
// Byte properties cross as byte sets: {1, length, bytes}.
std::string read_bytes(uint32_t unit, int prop) {
  auto* p = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(read(unit, prop)));
  if (!p) return {};
  uint32_t n;
  std::memcpy(&n, p + 4, 4);
  std::string s(reinterpret_cast<char*>(p + 8), n);
  runtime::free_block(p);
  return s;
}
void write_bytes(uint32_t unit, int prop, const std::string& bytes) {
  std::string block = u32s({1, static_cast<uint32_t>(bytes.size())}) + bytes;
  void* p = runtime::allocate(static_cast<uint32_t>(block.size()));
  std::memcpy(p, block.data(), block.size());
  write(unit, prop, reinterpret_cast<uintptr_t>(p));
  runtime::free_block(p);
}
double read_date(uint32_t unit, int prop) {
  uint64_t v = static_cast<uint64_t>(read(unit, prop));
  double d;
  std::memcpy(&d, &v, 8);
  return d;
}
void write_date(uint32_t unit, int prop, double d) {
  uint64_t v;
  std::memcpy(&v, &d, 8);
  write(unit, prop, static_cast<uint32_t>(v), static_cast<uint32_t>(v >> 32));
}
HWND handle(uint32_t unit) { return units::live_handle(*units::find_entry(*g_window, unit)); }
std::vector<std::string> items(const std::string& custom) { return units::decode_items(custom); }

// Loads the window: the group box holds the radio boxes, the tab's first page the date
// picker and its second the colour picker (the page it starts on); every event is bound to
// a noting handler.
void load_window() {
  units::install();
  g_window = std::make_unique<WindowTemplate>();
  g_window->id = kWindow;
  g_window->entries = {entry(kOwn, units::kWindowType, {20, 20, 780, 540})};
  for (const UnitRow& u : kUnits) {
    Entry e = entry(u.id, units::core_type(u.type), u.place);
    for (int ev = 0; ev < 3; ++ev)
      if (u.args[ev] >= 0)
        e.bindings.push_back({ev, reinterpret_cast<uint32_t>(kHandlers[ev][u.args[ev]])});
    if (u.id == kRadio1 || u.id == kRadio2) e.parent = kGroup;
    if (u.id == kDate || u.id == kColour) e.parent = kTab;
    if (u.id == kGroup) e.children = {kRadio1, kRadio2};
    if (u.id == kTab) e.children = {kDate, 0, kColour};
    g_window->entries.push_back(e);
  }
  // A provider of three rows and two columns, and a data source binding it by name.
  Entry provider = entry(kProvider, units::core_type(43), {0, 0, 1, 1});
  provider.name = "提供者1";
  provider.data = u32s({1, 3, 2});
  Entry source = entry(kSource, units::core_type(42), {0, 0, 1, 1});
  source.name = "数据源1";
  units::DataWriter source_data;
  source_data.u32(1);
  source_data.bytes("提供者1");
  source.data = source_data.data();
  g_window->entries.push_back(provider);
  g_window->entries.push_back(source);
  // Tab: two pages.
  units::DataWriter tab;
  for (uint32_t v : {1u, 0u, 0u, 0u}) tab.u32(v);  // version, placement, multi-line, font (empty)
  tab.bytes(units::encode_items({"第一页", "第二页"}));
  tab.u32(1);  // starts on the second page
  units::find_entry(*g_window, kTab)->data = tab.data();
  runtime::rt().templates.assign(1, g_window.get());
  ASSERT_TRUE(units::load_window(*g_window, false, nullptr));
  g_seen.clear();
}

void unload_window() {
  if (units::WindowUnit* w = units::live_window(*g_window)) DestroyWindow(w->handle());
  runtime::rt().templates.clear();
}

class MoreUnits : public ::testing::Test {
 protected:
  void SetUp() override { load_window(); }
  void TearDown() override {
    unload_window();
    g_link_boxes = g_refuse = false;
  }
};

// Client-coordinate mouse clicks and key presses sent to a control, as its window gets them.
void click(HWND h, POINT p) {
  LPARAM at = MAKELPARAM(p.x, p.y);
  SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageA(h, WM_LBUTTONUP, 0, at);
}
void key(HWND h, WPARAM vk) {
  SetFocus(h);
  SendMessageA(h, WM_KEYDOWN, vk, 1);
  SendMessageA(h, WM_KEYUP, vk, 0xC0000001);
}
// Messages posted meanwhile (a control's delayed notifications) are handled.
void pump() {
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
}

BOOL CALLBACK note_class(HWND h, LPARAM lp) {
  char cls[64] = {};
  GetClassNameA(h, cls, sizeof cls);
  reinterpret_cast<std::vector<std::string>*>(lp)->push_back(cls);
  return TRUE;
}

}  // namespace

TEST(MoreUnitTypes, TypeRowsDataVersionsAndDefaults) {
  units::install();
  // Type flags, property counts and interface operations.
  struct Row { uint32_t type; const char* english; uint32_t flags; uint32_t properties; bool texts; };
  const Row rows[] = {
      {9, "GroupBox", 0x840140C0, 13, true},     {13, "RadioBox", 0x80000440, 19, true},
      {14, "ComboBox", 0x80000240, 25, true},    {15, "ListBox", 0x80000040, 22, true},
      {16, "ChkListBox", 0x80000040, 17, true},  {17, "HScrollBar", 0x80020040, 14, false},
      {18, "VScrollBar", 0x80020040, 14, false}, {19, "ProcessBar", 0x84010040, 14, false},
      {20, "SliderBar", 0x80000040, 20, false},  {21, "Tab", 0x800101C0, 16, true},
      {23, "DatePicker", 0x80000040, 17, true},  {24, "MonthCalendar", 0x80010040, 28, true},
      {25, "DriverBox", 0x80000040, 13, true},   {26, "DirBox", 0x80000040, 12, true},
      {27, "FileBox", 0x80000040, 23, true},     {28, "ColorPicker", 0x80000040, 10, false},
      {29, "HyperLinker", 0x80010040, 18, true}, {30, "Spin", 0x80010040, 10, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.english);
    const units::UnitTypeEntry* t = units::core_type_entry(r.type);
    ASSERT_TRUE(t);
    EXPECT_STREQ(t->english, r.english);
    EXPECT_EQ(t->flags, r.flags);
    EXPECT_EQ(t->property_count, r.properties);
    for (int op : {units::kCreate, units::kSetProperty, units::kGetAllData, units::kGetProperty})
      EXPECT_TRUE(units::type_operation(t, op)) << op;
    EXPECT_EQ(units::type_operation(t, units::kConvertTexts) != nullptr, r.texts);
    // Drop-down units keep Escape and Enter while their list is open.
    bool drops = r.type == 14 || r.type == 23 || r.type == 25 || r.type == 28;
    EXPECT_EQ(units::type_operation(t, units::kWantsKey) != nullptr, drops);
  }

  units::hold_events();  // units outside any window record raise nothing
  HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 300, 300, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  auto create = [&](uint32_t type, const std::string& data) {
    auto op = reinterpret_cast<units::CreateOp>(
        units::type_operation(units::core_type_entry(type), units::kCreate));
    return op(reinterpret_cast<const uint8_t*>(data.data()), static_cast<uint32_t>(data.size()), 0,
              parent, 100, nullptr, 0, 0, 120, 60, kWindow, 0x16018100, 0, 0);
  };
  auto save = [](uint32_t type, void* unit) {
    auto op = reinterpret_cast<void*(__cdecl*)(void*, uint32_t*)>(
        units::type_operation(units::core_type_entry(type), units::kGetAllData));
    uint32_t length = 0;
    void* block = op(unit, &length);
    std::string data(static_cast<char*>(block), length);
    runtime::free_block(block);
    return data;
  };
  auto destroy = [](void* unit) { DestroyWindow(static_cast<framework::Window*>(unit)->handle()); };

  // A newer data version is refused; version 1 and empty data are taken.
  for (const Row& r : rows) {
    SCOPED_TRACE(r.english);
    EXPECT_EQ(create(r.type, u32s({2})), nullptr);
    EXPECT_EQ(create(r.type, u32s({0xFFFFFFFF})), nullptr);
    void* u = create(r.type, u32s({1}));
    ASSERT_TRUE(u);
    destroy(u);
    // A length running past the end refuses the data, whatever field it is in.
    std::string data = save(r.type, u = create(r.type, ""));
    destroy(u);
    for (size_t at = 4; at + 4 <= data.size(); at += 4) {
      std::string bad = data.substr(0, at) + u32s({0x7FFFFFF0});
      void* made = create(r.type, bad);
      if (made) destroy(made);  // a number field there: read as a number, nothing past the end
    }
  }

  // A window holding a unit whose data is of a newer version does not load.
  {
    WindowTemplate w;
    w.id = 0x52018500;
    w.entries = {entry(0x06018501, units::kWindowType, {0, 0, 200, 100}),
                 entry(0x16018502, units::core_type(15), {10, 10, 80, 60})};
    w.entries[1].data = u32s({2});
    runtime::rt().templates.assign(1, &w);
    EXPECT_FALSE(units::load_window(w, false, nullptr));
    EXPECT_EQ(units::live_window(w), nullptr);
    w.entries[1].data = u32s({1});
    EXPECT_TRUE(units::load_window(w, false, nullptr));
    if (units::WindowUnit* live = units::live_window(w)) DestroyWindow(live->handle());
    runtime::rt().templates.clear();
  }

  // The image linker writes, for a unit named with no field, what the unit saves of its
  // defaults (the drive, directory and date units save what they show: today, the current
  // drive and directory, so only their other fields are compared).
  std::ifstream in("more_unit_defaults.txt");
  ASSERT_TRUE(in) << "more_unit_defaults.txt is written by the build next to the tests";
  int compared = 0;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string type_text, word, linked;
    words >> type_text;
    while (words >> word)
      for (size_t i = 0; i + 1 < word.size(); i += 2)
        linked += static_cast<char>(std::stoi(word.substr(i, 2), nullptr, 16));
    uint32_t type = std::stoul(type_text, nullptr, 16) & 0xFFFF;
    SCOPED_TRACE(type_text);
    void* u = create(type, "");
    ASSERT_TRUE(u);
    std::string saved = save(type, u);
    destroy(u);
    if (type == 23) {  // value (8 bytes at 12) is today
      saved.replace(12, 8, 8, '\0');
    } else if (type == 24) {  // value and the range it starts: today
      saved.replace(24, 8, 8, '\0');
      saved.replace(56, 16, 16, '\0');
    } else if (type == 25 || type == 26) {  // the drive or directory shown first
      units::DataReader r(reinterpret_cast<const uint8_t*>(saved.data() + 4), uint32_t(saved.size() - 4));
      std::string first;
      ASSERT_TRUE(r.bytes(first));
      EXPECT_FALSE(first.empty());
      saved = saved.substr(0, 4) + u32s({0}) + saved.substr(8 + first.size());
    }
    EXPECT_EQ(saved, linked);
    ++compared;
  }
  EXPECT_EQ(compared, 18);

  // Random and cut data never crash a create: a unit or none.
  std::mt19937 rng(11);
  int made = 0, refused = 0;
  for (const Row& r : rows) {
    for (int i = 0; i < 25; ++i) {
      std::string data(rng() % 80, '\0');
      for (char& c : data) c = static_cast<char>(rng());
      if (i % 2 == 0 && data.size() >= 4) data.replace(0, 4, u32s({1}));
      if (void* u = create(r.type, data)) {
        ++made;
        destroy(u);
      } else {
        ++refused;
      }
    }
  }
  EXPECT_GT(made, 0);
  EXPECT_GT(refused, 0);
  DestroyWindow(parent);
  units::release_events();
}

TEST_F(MoreUnits, EveryPropertyAnswersReadsAndWrites) {
  // Each type-specific property of each unit: a value of its type written, then read back.
  // Custom data first (the items that selections need), then the rest in property order.
  const std::string list3 = units::encode_items({"甲", "乙", "丙"});
  const std::string ints3 = u32s({1, 0, 1});
  struct Special { uint32_t unit; int prop; int64_t written; int64_t expected; };
  // Where the unit answers other than what was written: clamped ranges, selections.
  const Special specials[] = {
      {kCombo, 8, 5, 2},        // kind: pick 0..2
      {kCombo, 15, 7, -1},      // current: no seventh item
      {kCombo, 19, 0, 1},       // rows: at least one
      {kCombo, 11, 0, 0},       // selection start and length: in the edit field
      {kCombo, 12, 0, 0},
      {kChkList, 14, 0, 0},     // top item: all three are in view
      {kList, 8, 9, 5},         // border 0..5
      {kList, 11, 3, -1},       // current: items 0..2
      {kChkList, 11, 3, -1},
      {kHScroll, 8, 500, 100},  // position inside 0..100
      {kVScroll, 8, -5, 0},
      {kProgress, 13, 101, 1},  // minimum and maximum were written 1
      {kSlider, 15, 11, 1},
      {kTab, 8, 9, 3},          // placement 0..3
      {kMonth, 10, 9, 6},       // first day 0..6
      {kSpin, 8, 2, 1},
  };
  // Probe values by property type.
  auto probe = [](uint16_t type) -> int64_t {
    switch (type) {
      case units::kPropInt: return 1;
      case units::kPropBool: return 1;
      case units::kPropPick: return 1;
      default: return 0x123456;  // colours
    }
  };
  for (int pass = 0; pass < 2; ++pass) {
    for (const UnitRow& u : kUnits) {
      const units::UnitTypeEntry* t = units::core_type_entry(u.type);
      for (uint32_t prop = 8; prop < t->property_count; ++prop) {
        uint16_t type = t->properties[prop].type;
        bool custom = type == units::kPropCustom;
        if ((pass == 0) != custom) continue;
        SCOPED_TRACE(std::string(t->english) + " property " + std::to_string(prop));
        switch (type) {
          case units::kPropCustom: {
            // Item lists, or one value per item.
            bool item_list = (u.type == 14 && prop == 20) || (u.type == 15 && prop == 17) ||
                             (u.type == 16 && prop == 15) || (u.type == 21 && prop == 11);
            std::string written = item_list ? list3 : ints3;
            write_bytes(u.id, prop, written);
            EXPECT_EQ(read_bytes(u.id, prop), written);
            break;
          }
          case units::kPropText: case units::kPropText18: case units::kPropText20: {
            std::string written = "文字";
            std::string expected = written;
            if (u.type == 25) written = expected = "z:";                        // a drive
            if (u.type == 26 || (u.type == 27 && prop == 8)) {                  // a directory
              written = "c:\\windows";
              expected = written;
            }
            if (u.type == 27 && prop == 11) expected = "";                     // no such file
            if (u.type == 14 && (prop == 9 || prop == 13)) {
              write_text(u.id, prop, written);
              EXPECT_NO_FATAL_FAILURE(read_text(u.id, prop));                  // the edit field's
              break;
            }
            write_text(u.id, prop, written);
            std::string got = read_text(u.id, prop);
            if (u.type == 26) EXPECT_EQ(lstrcmpiA(got.c_str(), expected.c_str()), 0) << got;
            else EXPECT_EQ(got, expected);
            break;
          }
          case units::kPropFont:
            write(u.id, prop, 12, 0, 5);  // size in points
            EXPECT_EQ(read(u.id, prop, 5), 12);
            break;
          case units::kPropPicture:
            write_bytes(u.id, prop, "");
            EXPECT_EQ(read_bytes(u.id, prop), "");
            break;
          case units::kPropDateTime:
            write_date(u.id, prop, 45000.25);
            EXPECT_DOUBLE_EQ(read_date(u.id, prop), 45000.25);
            break;
          default: {
            int64_t written = probe(type), expected = written;
            for (const Special& s : specials)
              if (s.unit == u.id && static_cast<uint32_t>(s.prop) == prop) {
                written = s.written;
                expected = s.expected;
              }
            write(u.id, prop, static_cast<uint32_t>(written));
            EXPECT_EQ(static_cast<int32_t>(read(u.id, prop)), expected);
          }
        }
      }
    }
  }
  EXPECT_TRUE(units::live_window(*g_window));

  // Text conversion (interface 9) reaches the plain texts and the list items.
  write_text(kGroup, 8, "甲组");
  write_bytes(kList, 17, units::encode_items({"甲", "乙"}));
  auto texts = reinterpret_cast<units::TextsOp>(
      units::type_operation(units::core_type_entry(9), units::kConvertTexts));
  auto list_texts = reinterpret_cast<units::TextsOp>(
      units::type_operation(units::core_type_entry(15), units::kConvertTexts));
  ASSERT_TRUE(texts && list_texts);
  units::TextRoutine swap = [](const char* text, char* buffer, int, void*) {
    if (std::strcmp(text, "甲组") == 0) std::strcpy(buffer, "第一组");
    if (std::strcmp(text, "甲") == 0) std::strcpy(buffer, "A");
  };
  uint32_t length = 0;
  runtime::free_block(texts(units::find_entry(*g_window, kGroup)->live_object, swap, nullptr, &length));
  runtime::free_block(list_texts(units::find_entry(*g_window, kList)->live_object, swap, nullptr, &length));
  EXPECT_EQ(read_text(kGroup, 8), "第一组");
  EXPECT_EQ(items(read_bytes(kList, 17)), (std::vector<std::string>{"A", "乙"}));
}

TEST_F(MoreUnits, ListsRadiosAndTabsRaiseTheirEvents) {
  // List box: a click on the third item raises event 0 with index 2; a double click event 1.
  write_bytes(kList, 17, units::encode_items({"甲", "乙", "丙", "丁"}));
  RECT r;
  SendMessageA(handle(kList), LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&r));
  click(handle(kList), {r.left + 5, (r.top + r.bottom) / 2});
  pump();
  ASSERT_FALSE(g_seen.empty());
  EXPECT_EQ(g_seen.back(), (Seen{kList, 0, {2}}));
  EXPECT_EQ(read(kList, 11), 2);
  key(handle(kList), VK_DOWN);
  EXPECT_EQ(g_seen.back(), (Seen{kList, 0, {3}}));
  click(handle(kList), {r.left + 5, (r.top + r.bottom) / 2});
  SendMessageA(handle(kList), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(r.left + 5, (r.top + r.bottom) / 2));
  pump();
  EXPECT_EQ(g_seen.back(), (Seen{kList, 1, {2}}));
  // Items and their values follow each other when the list is sorted.
  write_bytes(kList, 17, units::encode_items({"丙", "甲", "乙"}));
  write_bytes(kList, 18, u32s({30, 10, 20}));
  write(kList, 9, 1);  // sorted: created anew
  std::vector<std::string> sorted = items(read_bytes(kList, 17));
  std::vector<std::string> expected = {"丙", "甲", "乙"};
  std::sort(expected.begin(), expected.end());  // GBK byte order is the pinyin order here
  EXPECT_EQ(sorted, expected);
  std::string values = read_bytes(kList, 18);
  ASSERT_EQ(values.size(), 12u);
  for (size_t i = 0; i < 3; ++i) {
    uint32_t v;
    std::memcpy(&v, values.data() + 4 * i, 4);
    EXPECT_EQ(v, sorted[i] == "甲" ? 10u : sorted[i] == "乙" ? 20u : 30u) << sorted[i];
  }

  // Combo box with an edit field: typing raises event 1 and the content follows.
  COMBOBOXINFO info{sizeof info};
  ASSERT_TRUE(GetComboBoxInfo(handle(kCombo), &info) && info.hwndItem);
  g_seen.clear();
  for (char c : {'a', 'b'}) SendMessageA(info.hwndItem, WM_CHAR, c, 1);
  pump();
  EXPECT_EQ(std::count(g_seen.begin(), g_seen.end(), Seen{kCombo, 1, {}}), 2);
  EXPECT_EQ(read_text(kCombo, 9), "ab");

  // Combo box, a drop-down list: a key selects the next item, event 0 gives its index.
  write(kCombo, 8, 1);
  write_bytes(kCombo, 20, units::encode_items({"一", "二", "三"}));
  write(kCombo, 15, 0);
  g_seen.clear();
  key(handle(kCombo), VK_DOWN);
  pump();
  ASSERT_FALSE(g_seen.empty());
  EXPECT_EQ(g_seen.back(), (Seen{kCombo, 0, {1}}));
  EXPECT_EQ(read_text(kCombo, 9), "二");
  write_text(kCombo, 9, "三");  // the content of a drop-down list selects its item
  EXPECT_EQ(read(kCombo, 15), 2);

  // Colour picker: a key picks the next swatch, event 0 gives its colour; a colour not among
  // the swatches joins them; transparent, when allowed, is a swatch of its own.
  write(kColour, 8, 0x000000);
  g_seen.clear();
  key(handle(kColour), VK_DOWN);
  pump();
  ASSERT_FALSE(g_seen.empty());
  EXPECT_EQ(g_seen.back(), (Seen{kColour, 0, {0x000080}}));
  EXPECT_EQ(read(kColour, 8), 0x000080);
  write(kColour, 8, 0x123456);
  EXPECT_EQ(read(kColour, 8), 0x123456);
  write(kColour, 8, 0xFF000000);  // transparent, not allowed: black
  EXPECT_EQ(read(kColour, 8), 0);
  write(kColour, 9, 1);
  write(kColour, 8, 0xFF000000);
  EXPECT_EQ(static_cast<uint32_t>(read(kColour, 8)), 0xFF000000u);

  // Check list box: a click on an item's box checks it (event 1: item, 1); the checks read
  // back one value per item.
  write_bytes(kChkList, 15, units::encode_items({"一", "二", "三"}));
  write_bytes(kChkList, 16, u32s({0, 0, 1}));
  SendMessageA(handle(kChkList), LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&(r = RECT{LVIR_BOUNDS})));
  g_seen.clear();
  click(handle(kChkList), {r.left + 8, (r.top + r.bottom) / 2});
  pump();
  auto checked = std::find(g_seen.begin(), g_seen.end(), Seen{kChkList, 1, {1, 1}});
  EXPECT_NE(checked, g_seen.end());
  EXPECT_EQ(read_bytes(kChkList, 16), u32s({0, 1, 1}));
  // With check on click, a click on an item's text toggles its check too.
  write(kChkList, 10, 1);
  SendMessageA(handle(kChkList), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&(r = RECT{LVIR_LABEL})));
  g_seen.clear();
  click(handle(kChkList), {(r.left + r.right) / 2, (r.top + r.bottom) / 2});
  pump();
  EXPECT_NE(std::find(g_seen.begin(), g_seen.end(), Seen{kChkList, 1, {0, 1}}), g_seen.end());
  EXPECT_EQ(read_bytes(kChkList, 16), u32s({1, 1, 1}));
  const std::string long_item(3000, 'x');  // an item longer than any fixed buffer reads whole
  write_bytes(kChkList, 15, units::encode_items({"一", long_item}));
  EXPECT_EQ(items(read_bytes(kChkList, 15)), (std::vector<std::string>{"一", long_item}));

  // Radio boxes of one group box: clicking the second unchecks the first.
  write(kRadio1, 18, 1);
  g_seen.clear();
  SendMessageA(handle(kRadio2), BM_CLICK, 0, 0);
  EXPECT_EQ(g_seen.back(), (Seen{kRadio2, 0, {}}));
  EXPECT_EQ(read(kRadio1, 18), 0);
  EXPECT_EQ(read(kRadio2, 18), 1);
  write(kRadio1, 18, 1);  // a written check unchecks the others too
  EXPECT_EQ(read(kRadio2, 18), 0);
  EXPECT_EQ(SendMessageA(handle(kRadio2), BM_GETCHECK, 0, 0), BST_UNCHECKED);

  // Tab: it starts on the page its data names; a click on the second tab shows that page's
  // units and hides the first page's.
  EXPECT_FALSE(IsWindowVisible(handle(kDate)));
  EXPECT_TRUE(IsWindowVisible(handle(kColour)));
  write(kTab, 12, 0);
  EXPECT_TRUE(IsWindowVisible(handle(kDate)));
  EXPECT_FALSE(IsWindowVisible(handle(kColour)));
  HWND strip = nullptr;
  char cls[64] = {};
  for (HWND c = GetWindow(handle(kTab), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    GetClassNameA(c, cls, sizeof cls);
    if (lstrcmpiA(cls, WC_TABCONTROLA) == 0) strip = c;
  }
  ASSERT_TRUE(strip);
  SendMessageA(strip, TCM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&r));
  g_seen.clear();
  click(strip, {(r.left + r.right) / 2, (r.top + r.bottom) / 2});
  pump();
  ASSERT_EQ(g_seen.size(), 2u);
  EXPECT_EQ(g_seen[0], (Seen{kTab, 1, {0}}));  // about to change, from page 0
  EXPECT_EQ(g_seen[1], (Seen{kTab, 0, {1}}));  // changed, to page 1
  EXPECT_EQ(read(kTab, 12), 1);
  EXPECT_FALSE(IsWindowVisible(handle(kDate)));
  EXPECT_TRUE(IsWindowVisible(handle(kColour)));
  // A handler answering false keeps the page.
  SendMessageA(strip, TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r));
  g_refuse = true;
  click(strip, {(r.left + r.right) / 2, (r.top + r.bottom) / 2});
  pump();
  g_refuse = false;
  EXPECT_EQ(read(kTab, 12), 1);
  EXPECT_TRUE(IsWindowVisible(handle(kColour)));
  write(kTab, 12, 0);  // a written page shows its units too
  EXPECT_TRUE(IsWindowVisible(handle(kDate)));
  EXPECT_FALSE(IsWindowVisible(handle(kColour)));

  // Escape while the combo box's list is open closes the list, not the window; with the
  // list closed it closes the window (Escape closes is on).
  units::WindowUnit* window = units::live_window(*g_window);
  SetFocus(handle(kCombo));
  SendMessageA(handle(kCombo), CB_SHOWDROPDOWN, TRUE, 0);
  MSG escape{handle(kCombo), WM_KEYDOWN, VK_ESCAPE, 1, GetTickCount(), {0, 0}};
  EXPECT_FALSE(window->pre_translate(escape));
  EXPECT_TRUE(units::live_window(*g_window));
  SendMessageA(handle(kCombo), CB_SHOWDROPDOWN, FALSE, 0);
  EXPECT_TRUE(window->pre_translate(escape));
  EXPECT_EQ(units::live_window(*g_window), nullptr);
}

TEST_F(MoreUnits, ListsAndDatesBoundToADataSource) {
  // The list box and the combo box show the second column of the source's rows; picking an
  // item in one moves the source's row, and the other follows.
  units::Unit* provider_unit = units::live_unit(*units::find_entry(*g_window, kProvider));
  auto* provider = dynamic_cast<units::DataProvider*>(provider_unit);
  ASSERT_TRUE(provider);
  const std::vector<std::string> names = {"张三", "李四", "王五"};
  for (int r = 0; r < 3; ++r) {
    ASSERT_TRUE(provider->set_cell(r, 0, std::to_string(r)));
    ASSERT_TRUE(provider->set_cell(r, 1, names[r]));
  }
  units::provider_changed(*provider_unit);
  write_bytes(kList, 17, units::encode_items({"自己的"}));
  write_text(kList, 19, "数据源1");
  write_text(kList, 20, "2");
  write(kCombo, 8, 1);  // a drop-down list
  write_text(kCombo, 22, "数据源1");
  write_text(kCombo, 23, "2");
  EXPECT_EQ(items(read_bytes(kList, 17)), names);
  EXPECT_EQ(items(read_bytes(kCombo, 20)), names);
  EXPECT_EQ(read(kList, 11), 0);  // the source's current row
  RECT r;
  SendMessageA(handle(kList), LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&r));
  click(handle(kList), {r.left + 5, (r.top + r.bottom) / 2});
  pump();
  EXPECT_EQ(g_seen.back(), (Seen{kList, 0, {2}}));
  auto* source = dynamic_cast<units::DataSourceOps*>(units::live_unit(*units::find_entry(*g_window, kSource)));
  ASSERT_TRUE(source);
  EXPECT_EQ(source->current_row(), 2);
  EXPECT_EQ(read(kCombo, 15), 2);
  EXPECT_EQ(read_text(kCombo, 9), "王五");
  // A changed cell reaches both; a column that does not exist unbinds the list.
  ASSERT_TRUE(provider->set_cell(0, 1, "赵六"));
  units::provider_changed(*provider_unit);
  EXPECT_EQ(items(read_bytes(kCombo, 20))[0], "赵六");
  EXPECT_EQ(items(read_bytes(kList, 17))[0], "赵六");
  // A date picker bound to the first column: the cell's date text, in either form, is its
  // value; a date picked by the user goes back into the cell as the date text.
  ASSERT_TRUE(provider->set_cell(2, 0, "2011-5-30 12:30:45"));
  units::provider_changed(*provider_unit);
  write_text(kDate, 15, "数据源1");
  write_text(kDate, 16, "1");
  SYSTEMTIME t = {};
  SendMessageA(handle(kDate), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&t));
  EXPECT_EQ(t.wYear, 2011);
  EXPECT_EQ(t.wDay, 30);
  EXPECT_EQ(t.wSecond, 45);
  ASSERT_TRUE(provider->set_cell(2, 0, "2012年6月1日8时"));
  units::provider_changed(*provider_unit);
  SendMessageA(handle(kDate), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&t));
  EXPECT_EQ(t.wMonth, 6);
  EXPECT_EQ(t.wHour, 8);
  t.wYear = 2013;
  t.wMinute = 5;
  SendMessageA(handle(kDate), DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&t));
  NMDATETIMECHANGE change{{handle(kDate), static_cast<UINT_PTR>(GetDlgCtrlID(handle(kDate))), static_cast<UINT>(DTN_DATETIMECHANGE)}, GDT_VALID, t};
  SendMessageA(GetParent(handle(kDate)), WM_NOTIFY, change.nmhdr.idFrom, reinterpret_cast<LPARAM>(&change));
  std::string cell;
  ASSERT_TRUE(provider->cell(2, 0, cell));
  EXPECT_EQ(cell, "2013年6月1日8时5分");
  EXPECT_EQ(g_seen.back(), (Seen{kDate, 0, {}}));

  write_text(kList, 20, "无此列");
  write_bytes(kList, 17, units::encode_items({"自己的"}));
  units::provider_changed(*provider_unit);
  EXPECT_EQ(items(read_bytes(kList, 17)), (std::vector<std::string>{"自己的"}));
}

TEST_F(MoreUnits, BarsSliderSpinDatesAndLink) {
  // Slider: keys move it; event 0 reports each new position, the property follows.
  key(handle(kSlider), VK_RIGHT);
  pump();
  ASSERT_FALSE(g_seen.empty());
  EXPECT_EQ(g_seen.back(), (Seen{kSlider, 0, {1}}));
  EXPECT_EQ(read(kSlider, 15), 1);
  key(handle(kSlider), VK_END);
  pump();
  EXPECT_EQ(g_seen.back(), (Seen{kSlider, 0, {10}}));
  EXPECT_EQ(read(kSlider, 15), 10);
  write(kSlider, 17, 3);  // page step
  key(handle(kSlider), VK_PRIOR);
  pump();
  EXPECT_EQ(read(kSlider, 15), 7);

  // Scroll bars: line and page steps, the ends, and the range taken in either order.
  g_seen.clear();
  key(handle(kHScroll), VK_RIGHT);
  pump();
  ASSERT_FALSE(g_seen.empty());
  EXPECT_EQ(g_seen.back(), (Seen{kHScroll, 0, {1}}));
  SendMessageA(GetParent(handle(kHScroll)), WM_HSCROLL, SB_PAGERIGHT, reinterpret_cast<LPARAM>(handle(kHScroll)));
  EXPECT_EQ(read(kHScroll, 8), 11);
  EXPECT_EQ(GetScrollPos(handle(kHScroll), SB_CTL), 11);
  SendMessageA(GetParent(handle(kVScroll)), WM_VSCROLL, SB_BOTTOM, reinterpret_cast<LPARAM>(handle(kVScroll)));
  EXPECT_EQ(g_seen.back(), (Seen{kVScroll, 0, {100}}));
  size_t before = g_seen.size();
  SendMessageA(GetParent(handle(kVScroll)), WM_VSCROLL, SB_LINEDOWN, reinterpret_cast<LPARAM>(handle(kVScroll)));
  EXPECT_EQ(g_seen.size(), before);  // at the end: no change, no event
  write(kVScroll, 9, 50);  // minimum 50, maximum 100
  write(kVScroll, 10, 20); // maximum below the minimum: the range is 20..50
  EXPECT_EQ(read(kVScroll, 8), 50);

  // Dragging the thumb with the mouse follows it (events while dragging are on by default).
  write(kHScroll, 8, 0);
  HWND top = units::live_window(*g_window)->handle();
  SetForegroundWindow(top);
  kit::drive::wait_until([&] { return GetForegroundWindow() == top; }, 1000);
  RECT bar;
  GetWindowRect(handle(kHScroll), &bar);
  int arrow = GetSystemMetrics(SM_CXHSCROLL), y = (bar.top + bar.bottom) / 2;
  // Each event carries its own place (input is handled later, where the cursor is then).
  auto mouse = [](DWORD flags, int x, int y) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = MulDiv(x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    in.mi.dy = MulDiv(y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    in.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &in, sizeof in);
  };
  int thumb = bar.left + arrow + 4, middle = (bar.left + bar.right) / 2;  // thumb at position 0
  mouse(0, thumb, y);
  mouse(MOUSEEVENTF_LEFTDOWN, thumb, y);
  mouse(0, middle, y);
  mouse(MOUSEEVENTF_LEFTUP, middle, y);
  g_seen.clear();
  kit::drive::wait_until([&] {
    pump();
    return read(kHScroll, 8) > 20;
  }, 3000);
  EXPECT_GT(read(kHScroll, 8), 20);
  EXPECT_LT(read(kHScroll, 8), 80);
  ASSERT_FALSE(g_seen.empty());
  EXPECT_EQ(g_seen.back().unit, kHScroll);
  EXPECT_EQ(static_cast<int64_t>(g_seen.back().args[0]), read(kHScroll, 8));

  // Progress bar: a written position is clamped and reported.
  write(kProgress, 13, 150);
  EXPECT_EQ(read(kProgress, 13), 100);
  EXPECT_EQ(g_seen.back(), (Seen{kProgress, 0, {100}}));
  EXPECT_EQ(SendMessageA(handle(kProgress), PBM_GETPOS, 0, 0), 100);

  // Spin: a click on the upper arrow reports 1, on the lower -1.
  RECT r;
  GetClientRect(handle(kSpin), &r);
  g_seen.clear();
  click(handle(kSpin), {r.right / 2, r.bottom / 4});
  pump();
  ASSERT_FALSE(g_seen.empty());
  EXPECT_EQ(g_seen.front(), (Seen{kSpin, 0, {1}}));
  g_seen.clear();
  click(handle(kSpin), {r.right / 2, r.bottom * 3 / 4});
  pump();
  ASSERT_FALSE(g_seen.empty());
  EXPECT_EQ(g_seen.front(), (Seen{kSpin, 0, {static_cast<uint32_t>(-1)}}));

  // Dates: a date-time written reads back equal, and the control shows that day.
  const double dates[] = {45000.75, 36526.0, 73050.5, 2.5};  // .. 2099-12-31 noon, 1900-01-01
  for (double d : dates) {
    SCOPED_TRACE(d);
    write_date(kDate, 10, d);
    EXPECT_DOUBLE_EQ(read_date(kDate, 10), d);
    write_date(kMonth, 13, d);
    EXPECT_DOUBLE_EQ(read_date(kMonth, 13), d);
  }
  write_date(kDate, 10, 45000.75);
  SYSTEMTIME t{};
  SendMessageA(handle(kDate), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&t));
  EXPECT_EQ(t.wYear, 2023);
  EXPECT_EQ(t.wMonth, 3);
  EXPECT_EQ(t.wDay, 15);
  EXPECT_EQ(t.wHour, 18);
  write_date(kMonth, 13, 45000.5);
  EXPECT_DOUBLE_EQ(read_date(kMonth, 13), 45000.5);
  SendMessageA(handle(kMonth), MCM_GETCURSEL, 0, reinterpret_cast<LPARAM>(&t));
  EXPECT_EQ(t.wYear, 2023);
  EXPECT_EQ(t.wDay, 15);
  // The user's picks: an arrow key in the date picker changes one field of its date, a click
  // on a day of the calendar selects it; each raises event 0 and the value follows.
  write_date(kDate, 10, 45000.0);
  RECT field;
  GetClientRect(handle(kDate), &field);
  click(handle(kDate), {12, field.bottom / 2});  // selects a field of the date
  g_seen.clear();
  key(handle(kDate), VK_UP);
  pump();
  ASSERT_FALSE(g_seen.empty());
  EXPECT_EQ(g_seen.back(), (Seen{kDate, 0, {}}));
  double picked = read_date(kDate, 10);
  EXPECT_NE(picked, 45000.0);  // one field moved on
  EXPECT_EQ(picked, std::floor(picked));  // a whole date still
  write_date(kMonth, 13, 45000.0);  // 15 March 2023
  RECT client;
  GetClientRect(handle(kMonth), &client);
  POINT day20{-1, -1};
  for (int y = 0; y < client.bottom && day20.x < 0; y += 3)
    for (int x = 0; x < client.right && day20.x < 0; x += 3) {
      MCHITTESTINFO hit{};
      hit.cbSize = MCHITTESTINFO_V1_SIZE;
      hit.pt = {x, y};
      if (SendMessageA(handle(kMonth), MCM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)) == MCHT_CALENDARDATE &&
          hit.st.wMonth == 3 && hit.st.wDay == 20)
        day20 = {x, y};
    }
  ASSERT_GE(day20.x, 0);
  g_seen.clear();
  click(handle(kMonth), day20);
  pump();
  ASSERT_FALSE(g_seen.empty());
  EXPECT_EQ(g_seen.back(), (Seen{kMonth, 0, {}}));
  EXPECT_DOUBLE_EQ(read_date(kMonth, 13), 45005.0);

  // The limits keep a value inside them.
  write_date(kDate, 11, 45000.0);
  write_date(kDate, 12, 45010.0);
  write_date(kDate, 10, 46000.0);
  EXPECT_LE(read_date(kDate, 10), 45010.0);

  // Hyperlink: a click raises event 0, then the address opens through the shell (a batch
  // file that leaves a mark); a handler answering false keeps it closed.
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string base = std::string(temp) + "orvel_link_" + std::to_string(GetCurrentProcessId());
  std::string batch = base + ".bat", mark = base + ".txt";
  {
    std::ofstream out(batch);
    out << "@echo opened> \"" << mark << "\"\r\n";
  }
  DeleteFileA(mark.c_str());
  write_text(kLink, 10, batch);
  GetClientRect(handle(kLink), &r);
  g_refuse = true;
  g_seen.clear();
  SendMessageA(handle(kLink), WM_LBUTTONUP, 0, MAKELPARAM(r.right / 2, r.bottom / 2));
  EXPECT_EQ(g_seen.back(), (Seen{kLink, 0, {}}));
  Sleep(300);
  EXPECT_EQ(GetFileAttributesA(mark.c_str()), INVALID_FILE_ATTRIBUTES);
  g_refuse = false;
  SendMessageA(handle(kLink), WM_LBUTTONUP, 0, MAKELPARAM(r.right / 2, r.bottom / 2));
  EXPECT_TRUE(kit::drive::wait_until([&] { return GetFileAttributesA(mark.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10000));
  kit::drive::wait_until([&] { return DeleteFileA(mark.c_str()) != FALSE; }, 3000);
  DeleteFileA(batch.c_str());
}

TEST_F(MoreUnits, FileSystemBoxesBrowseAndLink) {
  // A folder of our own: three files, a hidden one, and a subfolder with one file.
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string dir = std::string(temp) + "orvel_more_" + std::to_string(GetCurrentProcessId());
  std::string sub = dir + "\\子目录";
  CreateDirectoryA(dir.c_str(), nullptr);
  CreateDirectoryA(sub.c_str(), nullptr);
  auto touch = [](const std::string& path) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(f);
  };
  for (const char* name : {"a.txt", "b.txt", "c.ini", ".隐藏.txt"}) touch(dir + "\\" + name);
  SetFileAttributesA((dir + "\\.隐藏.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  touch(sub + "\\d.txt");

  // File box: the folder's files by pattern and attribute.
  write_text(kFile, 8, dir);
  auto listed = [] {
    std::vector<std::string> out;
    HWND h = handle(kFile);
    for (LRESULT i = 0, n = SendMessageA(h, LB_GETCOUNT, 0, 0); i < n; ++i) {
      char name[MAX_PATH] = {};
      SendMessageA(h, LB_GETTEXT, i, reinterpret_cast<LPARAM>(name));
      out.push_back(name);
    }
    return out;
  };
  EXPECT_EQ(listed(), (std::vector<std::string>{"a.txt", "b.txt", "c.ini"}));
  write_text(kFile, 9, "*.txt");
  EXPECT_EQ(listed(), (std::vector<std::string>{"a.txt", "b.txt"}));
  write(kFile, 13, 1);  // hidden files too
  EXPECT_EQ(listed(), (std::vector<std::string>{".隐藏.txt", "a.txt", "b.txt"}));
  write_text(kFile, 9, "*.ini; *.txt");
  EXPECT_EQ(listed().size(), 4u);
  write_text(kFile, 11, "b.txt");
  EXPECT_EQ(read_text(kFile, 11), "b.txt");
  EXPECT_EQ(SendMessageA(handle(kFile), LB_GETCURSEL, 0, 0), 2);
  RECT r;
  SendMessageA(handle(kFile), LB_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&r));
  click(handle(kFile), {r.left + 5, (r.top + r.bottom) / 2});
  pump();
  ASSERT_FALSE(g_seen.empty());
  EXPECT_EQ(g_seen.back(), (Seen{kFile, 0, {3}}));
  EXPECT_EQ(read_text(kFile, 11), listed()[3]);
  write_date(kFile, 17, 2958000.0);  // written after the year 9990: none
  EXPECT_TRUE(listed().empty());
  write_date(kFile, 17, 0);

  // Directory box: opened down to the folder; a click on the subfolder raises event 0, whose
  // handler links the file box to it.
  g_link_boxes = true;
  write_text(kDir, 8, dir);
  EXPECT_EQ(lstrcmpiA(read_text(kDir, 8).c_str(), dir.c_str()), 0) << read_text(kDir, 8);
  HWND tree = handle(kDir);
  HTREEITEM at = TreeView_GetSelection(tree);
  ASSERT_TRUE(at);
  TreeView_Expand(tree, at, TVE_EXPAND);
  ASSERT_TRUE(TreeView_GetChild(tree, at));
  g_seen.clear();
  key(tree, VK_DOWN);  // to the first subfolder
  pump();
  ASSERT_FALSE(g_seen.empty());
  EXPECT_EQ(g_seen.front(), (Seen{kDir, 0, {}}));
  EXPECT_EQ(lstrcmpiA(read_text(kDir, 8).c_str(), sub.c_str()), 0) << read_text(kDir, 8);
  EXPECT_EQ(listed(), (std::vector<std::string>{"d.txt"}));
  // A path that does not exist selects its nearest existing parent.
  write_text(kDir, 8, dir + "\\无此目录\\更深");
  EXPECT_EQ(lstrcmpiA(read_text(kDir, 8).c_str(), dir.c_str()), 0);

  // Drive box: the drives of the machine; picking one by keyboard is linked on to the
  // directory box, which moves to that drive's root.
  HWND drives = handle(kDrive);
  LRESULT n = SendMessageA(drives, CB_GETCOUNT, 0, 0);
  EXPECT_GE(n, 1);
  write_text(kDrive, 8, "C:\\whatever");
  EXPECT_EQ(read_text(kDrive, 8), "c:");
  if (n >= 2) {
    g_seen.clear();
    key(drives, VK_DOWN);
    pump();
    ASSERT_FALSE(g_seen.empty());
    EXPECT_EQ(g_seen.front(), (Seen{kDrive, 0, {}}));
    std::string drive = read_text(kDrive, 8);
    EXPECT_NE(drive, "c:");
    EXPECT_EQ(lstrcmpiA(read_text(kDir, 8).c_str(), (drive + "\\").c_str()), 0) << read_text(kDir, 8);
  }
  g_link_boxes = false;

  for (const char* name : {"a.txt", "b.txt", "c.ini"}) DeleteFileA((dir + "\\" + name).c_str());
  SetFileAttributesA((dir + "\\.隐藏.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA((dir + "\\.隐藏.txt").c_str());
  DeleteFileA((sub + "\\d.txt").c_str());
  RemoveDirectoryA(sub.c_str());
  RemoveDirectoryA(dir.c_str());
}

TEST(MoreUnitWindow, LinkedWindowShowsEveryControlAndIsKept) {
  // The linked program's window: no dialog, every unit a window of the class it should be.
  kit::Process program(kit::bin_dir() + "more_prog.exe");
  kit::DialogWatcher dialogs(program.pid());
  HWND w = kit::drive::find_window(program.pid(), "更多单元测试窗口", "", 15000);
  ASSERT_TRUE(w);
  std::vector<std::string> classes;
  EnumChildWindows(w, &note_class, reinterpret_cast<LPARAM>(&classes));
  auto count = [&](const char* cls) {
    return std::count_if(classes.begin(), classes.end(),
                         [&](const std::string& s) { return lstrcmpiA(s.c_str(), cls) == 0; });
  };
  EXPECT_EQ(count("Button"), 3);             // the group box and two radio boxes
  EXPECT_GE(count("ComboBox"), 3);           // combo box, colour picker, drive box
  EXPECT_GE(count("ListBox"), 2);            // list box, file box
  EXPECT_EQ(count("SysListView32"), 1);      // check list box
  EXPECT_EQ(count("ScrollBar"), 2);
  EXPECT_EQ(count("msctls_progress32"), 1);
  EXPECT_EQ(count("msctls_trackbar32"), 1);
  EXPECT_EQ(count("OrvelTab"), 1);
  EXPECT_EQ(count("SysTabControl32"), 1);
  EXPECT_EQ(count("SysDateTimePick32"), 1);
  EXPECT_EQ(count("SysMonthCal32"), 1);
  EXPECT_EQ(count("SysTreeView32"), 1);
  EXPECT_EQ(count("OrvelHyperLinker"), 1);
  EXPECT_EQ(count("msctls_updown32"), 1);
  // The file box lists the system folder's programs and settings files.
  HWND files = kit::drive::find_child(w, 100);  // created first: the last entry
  ASSERT_TRUE(files);
  EXPECT_GT(kit::drive::send(files, LB_GETCOUNT), 0);
  // The window on top, repainted, then the screen; again while the shot shows too few
  // colours inside the window to be its controls (something covered it, or the display
  // was not drawn yet).
  RECT wr;
  GetWindowRect(w, &wr);
  size_t colours = 0;
  for (int attempt = 0; attempt < 6 && colours < 12; ++attempt) {
    SetForegroundWindow(w);
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(attempt == 0 ? 700 : 1000);
    kit::Shot shot = kit::screenshot();
    ASSERT_GT(shot.width, 0);
    std::vector<uint32_t> seen;
    for (int y = std::max(0L, wr.top); y < std::min<long>(shot.height, wr.bottom); y += 3)
      for (int x = std::max(0L, wr.left); x < std::min<long>(shot.width, wr.right); x += 3)
        seen.push_back(shot.at(x, y));
    std::sort(seen.begin(), seen.end());
    colours = std::unique(seen.begin(), seen.end()) - seen.begin();
    shot.save_png(kit::bin_dir() + "units_more_window.png");
  }
  // Programs of other Wine prefixes may share the display and cover this one's desktop:
  // then the shot is kept all the same, and said to show something else.
  if (colours < 12) std::printf("note: the display did not show the window (%u colours); shot kept\n",
                                static_cast<unsigned>(colours));
  // The program's handlers link the boxes (no radio box holds the focus yet, which would take
  // the arrow keys): a key moving the directory box up to the folder
  // before "windows" gives the file box that folder (no programs there), and back again.
  HWND tree = kit::drive::find_child(w, "SysTreeView32", "");
  ASSERT_TRUE(tree);
  LRESULT before = kit::drive::send(files, LB_GETCOUNT);
  kit::drive::post(tree, WM_KEYDOWN, VK_UP, 1);
  EXPECT_TRUE(kit::drive::wait_until([&] { return kit::drive::send(files, LB_GETCOUNT) == 0; }, 5000));
  kit::drive::post(tree, WM_KEYDOWN, VK_DOWN, 1);
  EXPECT_TRUE(kit::drive::wait_until([&] { return kit::drive::send(files, LB_GETCOUNT) == before; }, 5000));
  // An arrow key moves the focus from the first radio box to the second, which checks it.
  HWND radio1 = kit::drive::find_child(w, "Button", "单选甲");
  HWND radio2 = kit::drive::find_child(w, "Button", "单选乙");
  ASSERT_TRUE(radio1 && radio2);
  EXPECT_EQ(kit::drive::check_state(radio1), BST_CHECKED);
  for (int attempt = 0; attempt < 3 && kit::drive::check_state(radio2) != BST_CHECKED; ++attempt) {
    SetForegroundWindow(w);
    kit::drive::wait_until([&] { return GetForegroundWindow() == w; }, 1000);
    RECT rr;
    GetWindowRect(radio1, &rr);
    SetCursorPos((rr.left + rr.right) / 2, (rr.top + rr.bottom) / 2);
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, in, sizeof(INPUT));
    Sleep(200);
    kit::drive::press_keys({VK_DOWN});
    kit::drive::wait_until([&] { return kit::drive::check_state(radio2) == BST_CHECKED; }, 1500);
  }
  EXPECT_EQ(kit::drive::check_state(radio2), BST_CHECKED);
  EXPECT_EQ(kit::drive::check_state(radio1), BST_UNCHECKED);

  EXPECT_TRUE(dialogs.seen().empty());
  kit::drive::post(w, WM_CLOSE);
  DWORD code = 0;
  EXPECT_TRUE(program.wait(10000, &code));
  EXPECT_EQ(code, 0u);
}
