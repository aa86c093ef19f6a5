// The unit framework without an image: window records built in memory, loaded into real
// windows, and driven through the property services; the core data type table; hostile
// unit data.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <cstring>
#include <fstream>
#include <sstream>
#include <random>
#include <string>
#include <vector>
#include "corelib/descriptor.h"
#include "runtime/notify.h"
#include "runtime/registry.h"
#include "runtime/runtime.h"
#include "runtime/heap.h"
#include "units/core_units.h"
#include "units/events.h"
#include "units/framework.h"
#include "units/menus.h"
#include "units/unit_base.h"
#include "units/unit_data.h"
#include "units/window_unit.h"

namespace {

using units::Entry;
using units::WindowTemplate;

constexpr uint32_t kWindow = 0x52017001, kOwn = 0x06017000;
constexpr uint32_t kLabel = 0x16017002, kButton = 0x16017003, kEdit = 0x16017004,
                   kCheck = 0x16017005, kTimer = 0x16017006, kPlaceholder = 0x16017007;

std::string u32s(std::initializer_list<uint32_t> words) {
  units::DataWriter w;
  for (uint32_t v : words) w.u32(v);
  return w.data();
}

Entry entry(uint32_t id, uint32_t type, RECT r, std::string data = {}) {
  Entry e;
  e.id = id;
  e.type = type;
  e.left = r.left;
  e.top = r.top;
  e.width = r.right;
  e.height = r.bottom;
  e.flags = 1 | 4;  // visible, tab stop
  e.data = std::move(data);
  return e;
}

// One window holding a unit of each type built here; loaded for each test.
class UnitFramework : public ::testing::Test {
 protected:
  void SetUp() override {
    units::install();
    window_ = std::make_unique<WindowTemplate>();
    window_->id = kWindow;
    window_->entries = {
        entry(kOwn, units::kWindowType, {30, 30, 400, 300}),
        entry(kLabel, units::kLabelType, {10, 10, 100, 20}),
        entry(kButton, units::kButtonType, {10, 40, 100, 30}),
        entry(kEdit, units::kEditBoxType, {10, 80, 120, 24}),
        entry(kCheck, units::kCheckBoxType, {10, 110, 120, 24}),
        entry(kTimer, units::kTimerType, {200, 10, 30, 30}),
        entry(kPlaceholder, units::kPlaceholderType, {200, 60, 150, 60}),
    };
    runtime::rt().templates.push_back(window_.get());
    ASSERT_TRUE(units::load_window(*window_, false, nullptr));
  }
  void TearDown() override {
    if (units::WindowUnit* w = units::live_window(*window_)) DestroyWindow(w->handle());
    runtime::rt().templates.clear();
  }
  int64_t read(uint32_t unit, int prop, int index = -1) {
    return static_cast<int64_t>(units::read_property(kWindow, unit, prop, index));
  }
  void write(uint32_t unit, int prop, uint32_t lo, int index = -1) {
    units::write_property(kWindow, unit, prop, index, lo, 0);
  }
  std::string read_text(uint32_t unit, int prop, int index = -1) {
    auto* p = reinterpret_cast<char*>(static_cast<uintptr_t>(read(unit, prop, index)));
    std::string s = p ? p : "";
    runtime::free_block(p);
    return s;
  }
  void write_text(uint32_t unit, int prop, const char* text, int index = -1) {
    write(unit, prop, reinterpret_cast<uintptr_t>(text), index);
  }
  HWND handle(uint32_t unit) { return units::live_handle(*units::find_entry(*window_, unit)); }

  std::unique_ptr<WindowTemplate> window_;
};

}  // namespace

TEST_F(UnitFramework, ClampedWritesReadBack) {
  struct Case { uint32_t unit; int prop; int32_t written; int32_t expected; };
  const Case cases[] = {
      {kButton, 11, 7, 2},        // horizontal alignment: pick 0..2
      {kButton, 9, -3, 0},        // negative pick values become 0
      {kLabel, 11, 3, 5},         // frame width below 5
      {kLabel, 11, 9, 9},
      {kLabel, 20, 12, 8},        // gradient mode 0..8
      {kEdit, 14, -4, 0},         // maximum length
      {kEdit, 18, 99, 11},        // input mode 0..11
      {kTimer, 8, -5, 0},
      {kTimer, 8, 3000, 3000},
      {kOwn, 28, 40, 29},         // shape 0..29
      {kOwn, 9, 9, 6},            // border 0..6
      {kLabel, 2, -5, 0},         // width
      {kLabel, 3, 40000, 32627},  // height
      {kLabel, 0, 50, 50},        // left
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.unit) + " property " + std::to_string(c.prop));
    write(c.unit, c.prop, static_cast<uint32_t>(c.written));
    EXPECT_EQ(static_cast<int32_t>(read(c.unit, c.prop)), c.expected);
  }
}

TEST_F(UnitFramework, LogicalPropertiesReadOnlyExactOne) {
  write(kCheck, 18, 5);                        // any non-zero writes 1
  EXPECT_EQ(read(kCheck, 18), 1);
  EXPECT_EQ(SendMessageA(handle(kCheck), BM_GETCHECK, 0, 0), BST_CHECKED);
  write(kCheck, 18, 0);
  EXPECT_EQ(read(kCheck, 18), 0);
  write(kOwn, 30, 2);                          // stored as 1 by the write conversion
  EXPECT_EQ(read(kOwn, 30), 1);
  write(kLabel, 6, 1);                         // disabled
  EXPECT_FALSE(IsWindowEnabled(handle(kLabel)));
  EXPECT_EQ(read(kLabel, 6), 1);
  write(kLabel, 5, 0);                         // visible
  EXPECT_FALSE(IsWindowVisible(handle(kLabel)));
  EXPECT_EQ(read(kLabel, 5), 0);
}

TEST_F(UnitFramework, TextsAndRecreation) {
  HWND before = handle(kButton);
  write_text(kButton, 10, "确定");            // caption: acts on the live button
  EXPECT_EQ(handle(kButton), before);
  char text[32];
  GetWindowTextA(before, text, sizeof text);
  EXPECT_STREQ(text, "确定");
  EXPECT_EQ(read_text(kButton, 10), "确定");
  write_text(kEdit, 8, "abcdef");
  EXPECT_EQ(read_text(kEdit, 8), "abcdef");
  write(kEdit, 24, static_cast<uint32_t>(-1));  // selection start -1: the end of the text
  DWORD s = 0, e = 0;
  SendMessageA(handle(kEdit), EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
  EXPECT_EQ(s, 6u);
  HWND edit = handle(kEdit);
  write(kEdit, 20, 2);                         // letter case: re-created
  EXPECT_NE(handle(kEdit), edit);
  EXPECT_TRUE(GetWindowLongA(handle(kEdit), GWL_STYLE) & ES_UPPERCASE);
  EXPECT_EQ(read_text(kEdit, 8), "ABCDEF");    // the content survives, in the new case
  write_text(kOwn, 4, "标记");                 // tag
  EXPECT_EQ(read_text(kOwn, 4), "标记");
  write_text(kLabel, 8, nullptr);              // null text writes the empty text
  EXPECT_EQ(read_text(kLabel, 8), "");
}

TEST_F(UnitFramework, FontElements) {
  struct Case { int index; uint32_t written; int64_t expected; };
  const Case cases[] = {
      {0, 4000, 400},   // angle modulo 3600
      {1, 1, 1},        // bold
      {1, 0, 0},
      {2, 7, 1},        // italic
      {4, 1, 1},        // underline
      {5, 12, 12},      // size in points
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    write(kLabel, 15, c.written, c.index);
    EXPECT_EQ(read(kLabel, 15, c.index), c.expected);
  }
  write_text(kLabel, 15, "", 6);                         // 0 bytes: 宋体
  EXPECT_EQ(read_text(kLabel, 15, 6), "宋体");
  write_text(kLabel, 15, std::string(32, 'a').c_str(), 6);  // 32 bytes: 宋体
  EXPECT_EQ(read_text(kLabel, 15, 6), "宋体");
  write_text(kLabel, 15, "Arial", 6);
  EXPECT_EQ(read_text(kLabel, 15, 6), "Arial");
}

TEST_F(UnitFramework, UnloadedWindowUsesTemplate) {
  units::WindowUnit* w = units::live_window(*window_);
  ASSERT_TRUE(w);
  write(kEdit, 0, 77);                          // while loaded: gone after destruction
  DestroyWindow(w->handle());
  EXPECT_EQ(units::live_window(*window_), nullptr);
  EXPECT_EQ(read(kEdit, 0), 10);
  write(kEdit, 0, 40000);
  EXPECT_EQ(read(kEdit, 0), 32627);
  EXPECT_EQ(units::find_entry(*window_, kEdit)->left, 32627);
}

TEST_F(UnitFramework, WindowShapesSetRegions) {
  HWND w = handle(kOwn);
  const std::pair<uint32_t, bool> cases[] = {{1, true}, {4, true}, {12, true}, {20, true},
                                             {29, true}, {0, false}, {40, true}};
  for (auto [shape, region] : cases) {
    SCOPED_TRACE(shape);
    write(kOwn, 28, shape);
    HRGN r = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(w, r) != ERROR, region);
    DeleteObject(r);
  }
  // Re-applied on size changes: the ellipse covers the new size.
  write(kOwn, 28, 1);
  write(kOwn, 2, 300);
  HRGN r = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(w, r), ERROR);
  RECT box;
  GetRgnBox(r, &box);
  EXPECT_GE(box.right - box.left, 299);
  DeleteObject(r);
}

TEST_F(UnitFramework, BorderKindsSetFrameStyles) {
  HWND w = handle(kOwn);
  write_text(kOwn, 8, "标题");
  struct Case { uint32_t border; DWORD style; DWORD no_style; DWORD ex; };
  const Case cases[] = {
      {0, 0, WS_CAPTION | WS_THICKFRAME, 0},
      {1, WS_CAPTION | WS_THICKFRAME, 0, 0},
      {2, WS_CAPTION, WS_THICKFRAME, WS_EX_DLGMODALFRAME},
      {3, WS_CAPTION | WS_THICKFRAME, 0, WS_EX_TOOLWINDOW},
      {4, WS_CAPTION, WS_THICKFRAME, WS_EX_TOOLWINDOW},
      {5, WS_CAPTION | WS_THICKFRAME, 0, WS_EX_CLIENTEDGE},
      {6, WS_CAPTION, WS_THICKFRAME, WS_EX_CLIENTEDGE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.border);
    write(kOwn, 9, c.border);
    DWORD style = GetWindowLongA(w, GWL_STYLE), ex = GetWindowLongA(w, GWL_EXSTYLE);
    EXPECT_EQ(style & c.style, c.style);
    EXPECT_EQ(style & c.no_style, 0u);
    EXPECT_EQ(ex & c.ex, c.ex);
  }
}

TEST(UnitWindowData, VersionsStartStatesAndRefusal) {
  units::install();
  auto window_data = [](uint32_t version, uint32_t border, uint32_t state) {
    units::DataWriter d;
    d.u32(version);
    for (uint32_t v : {border, 1u, 0xFF000000u, 1u, 1u, 1u, state, 1u, 2u, 0u, 1u, 0u, 0u}) d.u32(v);
    if (version >= 2) d.u32(1);
    if (version >= 3) { d.u32(0); d.u32(0); }
    if (version >= 4) d.u32(0);
    if (version >= 5) d.u32(0);
    if (version >= 6) d.bytes("");
    for (int i = 0; i < 5; ++i) d.bytes(i == 3 ? "数据版本" : "");
    return d.data();
  };
  struct Case { uint32_t version, border, state; bool loads; bool centred, zoomed; };
  const Case cases[] = {
      {1, 2, 0, true, false, false}, {3, 2, 1, true, true, false}, {6, 1, 3, true, false, true},
      {6, 2, 3, true, false, false},  // state 3 maximises only a sizable window
      {7, 2, 0, false, false, false},  // a version above 6 is refused
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version * 100 + c.state);
    WindowTemplate w;
    w.id = 0x52017500;
    w.entries = {entry(0x06017501, units::kWindowType, {7, 9, 240, 160},
                       window_data(c.version, c.border, c.state))};
    runtime::rt().templates.assign(1, &w);
    EXPECT_EQ(units::load_window(w, false, nullptr), c.loads);
    units::WindowUnit* u = units::live_window(w);
    EXPECT_EQ(u != nullptr, c.loads);
    if (!u) continue;
    char title[32] = {};
    GetWindowTextA(u->handle(), title, sizeof title);
    EXPECT_STREQ(title, "数据版本");
    EXPECT_EQ(IsZoomed(u->handle()) != FALSE, c.zoomed);
    RECT r;
    GetWindowRect(u->handle(), &r);
    if (c.centred) {
      EXPECT_NEAR(r.left, (GetSystemMetrics(SM_CXSCREEN) - 240) / 2, 1);
      EXPECT_NEAR(r.top, (GetSystemMetrics(SM_CYSCREEN) - 160) / 2, 1);
    } else if (!c.zoomed) {
      EXPECT_EQ(r.left, 7);
      EXPECT_EQ(r.top, 9);
    }
    DestroyWindow(u->handle());
  }
  runtime::rt().templates.clear();
}

namespace {
// Replaces "Arial" (a face name) by "Tahoma" and every other text by its upper-case copy.
void __cdecl convert_text(const char* text, char* buffer, int is_font_name, void*) {
  if (is_font_name) {
    if (std::strcmp(text, "Arial") == 0) std::strcpy(buffer, "Tahoma");
    return;
  }
  size_t i = 0;
  for (; text[i] && i < 255; ++i) buffer[i] = static_cast<char>(toupper(static_cast<unsigned char>(text[i])));
  buffer[i] = 0;
}
}  // namespace

TEST_F(UnitFramework, InterfaceOperationsTextsIconAndCursor) {
  write_text(kButton, 10, "caption");
  write_text(kButton, 13, "Arial", 6);
  const units::UnitTypeEntry* button = units::core_type_entry(11);
  auto texts = reinterpret_cast<units::TextsOp>(units::type_operation(button, units::kConvertTexts));
  ASSERT_TRUE(texts);
  uint32_t length = 0;
  void* data = texts(units::find_entry(*window_, kButton)->live_object, &convert_text, nullptr, &length);
  ASSERT_TRUE(data);
  std::string bytes(static_cast<const char*>(data), length);
  runtime::free_block(data);
  EXPECT_NE(bytes.find("CAPTION"), std::string::npos);
  EXPECT_NE(bytes.find("Tahoma"), std::string::npos);
  EXPECT_EQ(bytes.find("Arial"), std::string::npos);

  // Interface 7 of the window type: the icon file held in window data.
  units::DataWriter d;
  d.u32(1);
  for (int i = 0; i < 13; ++i) d.u32(0);
  d.bytes("");
  d.bytes("ICONDATA");
  for (int i = 0; i < 3; ++i) d.bytes("");
  auto icon = reinterpret_cast<units::GetIconOp>(
      units::type_operation(units::core_type_entry(1), units::kGetIcon));
  ASSERT_TRUE(icon);
  HGLOBAL g = icon(reinterpret_cast<const uint8_t*>(d.data().data()), static_cast<uint32_t>(d.data().size()));
  ASSERT_TRUE(g);
  EXPECT_EQ(GlobalSize(g), 8u);
  EXPECT_EQ(std::memcmp(GlobalLock(g), "ICONDATA", 8), 0);
  GlobalUnlock(g);
  GlobalFree(g);
  EXPECT_EQ(icon(reinterpret_cast<const uint8_t*>("\x09\0\0\0"), 4), nullptr);  // version 9

  // Common property 7: cursor data in, the same bytes out; a stock cursor number is made live.
  const uint32_t cursor[3] = {1, 4, 32649};  // byte set {1, 4} holding IDC_HAND
  write(kLabel, 7, reinterpret_cast<uintptr_t>(cursor));
  auto* back = reinterpret_cast<uint32_t*>(static_cast<uintptr_t>(read(kLabel, 7)));
  ASSERT_TRUE(back);
  EXPECT_EQ(back[1], 4u);
  EXPECT_EQ(back[2], 32649u);
  runtime::free_block(back);
  EXPECT_TRUE(units::find_entry(*window_, kLabel)->live_cursor);
}

// The label's own painting, drawn into a memory bitmap: pixel colours as 0x00BBGGRR.
std::vector<COLORREF> print_label(HWND label, int& w, int& h) {
  RECT r;
  GetClientRect(label, &r);
  w = r.right;
  h = r.bottom;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(mem, bmp);
  SendMessageA(label, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(mem), PRF_CLIENT);
  std::vector<COLORREF> px(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) px[static_cast<size_t>(y) * w + x] = GetPixel(mem, x, y);
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return px;
}

TEST_F(UnitFramework, LabelPaintsFrameGradientAndBackground) {
  HWND label = handle(kLabel);  // 100 x 20
  int w = 0, h = 0;
  write(kLabel, 17, 0x00FF00);                      // background: green
  auto px = print_label(label, w, h);
  ASSERT_GT(w, 0);
  EXPECT_EQ(px[static_cast<size_t>(h / 2) * w + w / 2], 0x00FF00u);
  write(kLabel, 20, 1);                             // gradient left to right
  write(kLabel, 21, 0x0000FF);                      // red
  write(kLabel, 22, 0xFF000000);                    // the default colour is skipped
  write(kLabel, 23, 0xFF0000);                      // blue
  px = print_label(label, w, h);
  COLORREF left = px[static_cast<size_t>(h / 2) * w], right = px[static_cast<size_t>(h / 2) * w + w - 1];
  EXPECT_GT(GetRValue(left), 200);
  EXPECT_LT(GetBValue(left), 60);
  EXPECT_GT(GetBValue(right), 200);
  EXPECT_LT(GetRValue(right), 60);
  write(kLabel, 10, 6);                             // the label's own frame
  write(kLabel, 11, 5);
  write(kLabel, 12, 0x000000);
  write(kLabel, 13, 0xFF000000);
  write(kLabel, 14, 0xFFFFFF);                      // black outside to white inside
  px = print_label(label, w, h);
  EXPECT_EQ(px[0], 0x000000u);
  EXPECT_GT(GetRValue(px[static_cast<size_t>(4) * w + 4]), 200);  // the frame's innermost ring
  write(kLabel, 13, 0x00FFFF);                      // fewer than two colours: no frame
  write(kLabel, 12, 0xFF000000);
  write(kLabel, 14, 0xFF000000);
  px = print_label(label, w, h);
  EXPECT_GT(GetRValue(px[static_cast<size_t>(h / 2) * w]), 200);  // the gradient reaches the edge
}

TEST_F(UnitFramework, PlaceholderHasNoValues) {
  EXPECT_EQ(read(kPlaceholder, 8), 0);
  write(kPlaceholder, 8, 5);                    // does nothing
  EXPECT_EQ(read(kPlaceholder, 8), 0);
  char cls[64];
  GetClassNameA(handle(kPlaceholder), cls, sizeof cls);
  EXPECT_STREQ(cls, "OrvelErrorControl");
  EXPECT_TRUE(GetWindowLongA(handle(kPlaceholder), GWL_STYLE) & WS_BORDER);
}

TEST_F(UnitFramework, ControlIdentifiersInCreationOrder) {
  // The units from the last entry back: placeholder 100, timer 110, ..., label 150.
  const std::pair<uint32_t, int> cases[] = {{kPlaceholder, 100}, {kTimer, 110}, {kCheck, 120},
                                            {kEdit, 130}, {kButton, 140}, {kLabel, 150}};
  for (auto [unit, id] : cases) EXPECT_EQ(GetDlgCtrlID(handle(unit)), id);
  EXPECT_FALSE(IsWindowVisible(handle(kTimer)));  // function units are never shown
  // Z-order follows entry order: the first unit on top, each after the one before it.
  const uint32_t order[] = {kLabel, kButton, kEdit, kCheck, kTimer, kPlaceholder};
  EXPECT_EQ(GetWindow(GetParent(handle(kLabel)), GW_CHILD), handle(kLabel));
  for (size_t i = 0; i + 1 < std::size(order); ++i)
    EXPECT_EQ(GetWindow(handle(order[i]), GW_HWNDNEXT), handle(order[i + 1])) << i;
}

// Compiled handlers for event dispatch: they copy their argument words and return like
// compiled code (removing their arguments; ECX = the result's type code, or 0).
extern "C" {
uint32_t g_words[8] asm("orvel_test_words");
void typed_handler() asm("orvel_test_typed");
void plain_handler() asm("orvel_test_plain");
}
asm(R"(
  .text
orvel_test_typed:               # six words: int, double (2), short, byte, first word only
  movl 4(%esp), %eax
  movl %eax, orvel_test_words
  movl 8(%esp), %eax
  movl %eax, orvel_test_words+4
  movl 12(%esp), %eax
  movl %eax, orvel_test_words+8
  movl 16(%esp), %eax
  movl %eax, orvel_test_words+12
  movl 20(%esp), %eax
  movl %eax, orvel_test_words+16
  movl 24(%esp), %eax
  movl %eax, orvel_test_words+20
  movl $0x11223344, %eax
  movl $0x55667788, %edx
  movl $0x80000401, %ecx        # returns a long
  ret $24
orvel_test_plain:               # two words; returns nothing
  movl 4(%esp), %eax
  movl %eax, orvel_test_words+24
  movl 8(%esp), %eax
  movl %eax, orvel_test_words+28
  movl $99, %eax
  xorl %ecx, %ecx
  ret $8
)");

TEST_F(UnitFramework, EventRecordsReachBoundHandlers) {
  Entry* button = units::find_entry(*window_, kButton);
  button->bindings = {{5, reinterpret_cast<uint32_t>(&typed_handler)},
                      {6, reinterpret_cast<uint32_t>(&plain_handler)}};
  units::TypedEventRecord t{};
  t.window_id = kWindow;
  t.unit_id = kButton;
  t.event = 5;
  t.argc = 5;
  double d = 2.5;
  uint32_t dw[2];
  std::memcpy(dw, &d, 8);
  t.args[0] = {7, 0, 0x80000301, 0};              // integer: one word
  t.args[1] = {dw[0], dw[1], 0x80000601, 0};      // double: both words
  t.args[2] = {0xFFFE, 0, 0x80000201, 0};         // short: sign-extended
  t.args[3] = {0x1FF, 0, 0x80000101, 0};          // byte: zero-extended
  t.args[4] = {0xAB, 0xCD, 0x80000601, 1};        // flags bit 0: the first word alone
  units::raise_typed_event(t);
  const uint32_t expected[] = {7, dw[0], dw[1], 0xFFFFFFFE, 0xFF, 0xAB};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(g_words[i], expected[i]) << i;
  EXPECT_EQ(t.has_result, 1u);
  EXPECT_EQ(t.result_lo, 0x11223344u);
  EXPECT_EQ(t.result_hi, 0x55667788u);

  units::EventRecord r{kWindow, kButton, 6, 2, {3, 4}, 0, 0};
  units::raise_event(r);
  EXPECT_EQ(g_words[6], 3u);
  EXPECT_EQ(g_words[7], 4u);
  EXPECT_EQ(r.has_result, 0u);  // ECX 0: no result, whatever EAX holds

  // A unit of the same type linked as event source uses the button's bindings; held events
  // run nothing.
  window_->entries.push_back(entry(0x16017300, units::kButtonType, {0, 0, 1, 1}));
  window_->entries.back().event_source = kButton;
  units::EventRecord linked{kWindow, 0x16017300, 6, 2, {8, 9}, 0, 0};
  units::raise_event(linked);
  EXPECT_EQ(g_words[6], 8u);
  units::hold_events();
  units::EventRecord held{kWindow, kButton, 6, 2, {10, 11}, 0, 0};
  units::raise_event(held);
  units::release_events();
  EXPECT_EQ(g_words[6], 8u);
}

TEST_F(UnitFramework, EditBoxSpinControlBesideSingleLineBox) {
  WindowTemplate w;
  w.id = 0x52017400;
  units::DataWriter d;
  for (uint32_t v : {2u, 1u, 0u, 0xFFFFFFu, 1u, 0u, 0u, 0u, 0u, 2u}) d.u32(v);  // .. input mode 2
  d.u16('#');
  for (uint32_t v : {0u, 1u, 50u, 10u, 0u, 0u}) d.u32(v);  // case, spin 1, range 50..10
  d.bytes("");
  d.bytes("12");
  w.entries = {entry(0x06017401, units::kWindowType, {0, 0, 200, 100}),
               entry(0x16017402, units::kEditBoxType, {10, 10, 80, 24}, d.data())};
  runtime::rt().templates.push_back(&w);
  ASSERT_TRUE(units::load_window(w, false, nullptr));
  HWND edit = units::live_handle(w.entries[1]);
  ASSERT_TRUE(edit);
  HWND spin = GetDlgItem(GetParent(edit), GetDlgCtrlID(edit) + 4);
  ASSERT_TRUE(spin);
  char cls[64];
  GetClassNameA(spin, cls, sizeof cls);
  EXPECT_STRCASEEQ(cls, "msctls_updown32");
  int lo = 0, hi = 0;
  SendMessageA(spin, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lo), reinterpret_cast<LPARAM>(&hi));
  EXPECT_EQ(lo, 10);  // taken in either order
  EXPECT_EQ(hi, 50);
  EXPECT_EQ(SendMessageA(edit, EM_GETPASSWORDCHAR, 0, 0), '#');
  EXPECT_TRUE(GetWindowLongA(edit, GWL_STYLE) & ES_PASSWORD);
  DestroyWindow(units::live_window(w)->handle());
  EXPECT_FALSE(IsWindow(spin));
}

// Counting handlers (one per slot of g_counts), a handler that keeps its one argument, and
// one that destroys the window of the current test.
extern "C" {
uint32_t g_counts[8] asm("orvel_test_counts");
uint32_t g_arg asm("orvel_test_arg");
void count_handler0() asm("orvel_test_count0");
void count_handler1() asm("orvel_test_count1");
void count_handler2() asm("orvel_test_count2");
void count_handler3() asm("orvel_test_count3");
void count_handler4() asm("orvel_test_count4");
void arg_handler() asm("orvel_test_arg1");
void destroy_handler() asm("orvel_test_destroyer");
HWND g_doomed asm("orvel_test_doomed");
void __cdecl destroy_doomed() asm("orvel_test_destroy_doomed");
void __cdecl destroy_doomed() {
  if (units::WindowTemplate* w = units::find_window(0x52017600))
    if (units::WindowUnit* u = units::live_window(*w)) DestroyWindow(u->handle());
}
}
asm(R"(
  .text
.macro counter idx
orvel_test_count\idx:
  incl orvel_test_counts+4*\idx
  xorl %ecx, %ecx
  ret
.endm
  counter 0
  counter 1
  counter 2
  counter 3
  counter 4
orvel_test_arg1:
  movl 4(%esp), %eax
  movl %eax, orvel_test_arg
  xorl %ecx, %ecx
  ret $4
orvel_test_destroyer:
  call orvel_test_destroy_doomed
  xorl %ecx, %ecx
  ret
)");

uint32_t address(void (*f)()) { return reinterpret_cast<uint32_t>(f); }

TEST(UnitWindowEvents, LoaderEventsStopWhenTheWindowIsGone) {
  units::install();
  std::memset(g_counts, 0, sizeof g_counts);
  WindowTemplate w;
  w.id = 0x52017600;
  w.entries = {entry(0x06017601, units::kWindowType, {10, 10, 200, 100})};
  w.entries[0].bindings = {{0, address(destroy_handler)}, {3, address(count_handler0)},
                           {4, address(count_handler1)}};
  runtime::rt().templates.assign(1, &w);
  EXPECT_TRUE(units::load_window(w, false, nullptr));  // destroyed by its created event
  EXPECT_EQ(units::live_window(w), nullptr);
  EXPECT_EQ(g_counts[0], 0u);  // no moved event
  EXPECT_EQ(g_counts[1], 0u);  // no size event
  runtime::rt().templates.clear();
}

TEST(UnitWindowEvents, ActivationTrayAndShowEvents) {
  units::install();
  std::memset(g_counts, 0, sizeof g_counts);
  WindowTemplate w;
  w.id = 0x52017700;
  w.entries = {entry(0x06017701, units::kWindowType, {10, 10, 200, 100})};
  w.entries[0].bindings = {{8, address(count_handler0)}, {5, address(count_handler1)},
                           {6, address(count_handler2)}, {9, address(arg_handler)},
                           {11, address(count_handler3)}, {10, address(count_handler4)}};
  runtime::rt().templates.assign(1, &w);
  ASSERT_TRUE(units::load_window(w, false, nullptr));
  HWND h = units::live_window(w)->handle();
  EXPECT_EQ(g_counts[0], 1u);  // first activation
  EXPECT_GE(g_counts[1], 1u);  // activated
  HWND other = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 300, 300, 50, 50, nullptr,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
  SetActiveWindow(other);
  EXPECT_GE(g_counts[2], 1u);  // deactivated
  SetActiveWindow(h);
  EXPECT_EQ(g_counts[0], 1u);  // only once per window
  EXPECT_GE(g_counts[1], 2u);
  const std::pair<UINT, uint32_t> tray[] = {{WM_LBUTTONUP, 1}, {WM_LBUTTONDBLCLK, 2},
                                            {WM_RBUTTONUP, 3}, {WM_CONTEXTMENU, 3}};
  for (auto [mouse, op] : tray) {
    g_arg = 0;
    SendMessageA(h, units::kTrayMessage, units::kTrayIconNumber, mouse);
    EXPECT_EQ(g_arg, op);
  }
  g_arg = 0;
  SendMessageA(h, units::kTrayMessage, units::kTrayIconNumber, WM_MOUSEMOVE);
  EXPECT_EQ(g_arg, 0u);  // other mouse messages raise nothing
  units::write_property(w.id, 0, 5, -1, 0, 0);  // hidden: event 11
  EXPECT_EQ(g_counts[3], 1u);
  units::write_property(w.id, 0, 5, -1, 1, 0);  // shown: event 10
  EXPECT_GE(g_counts[4], 1u);
  DestroyWindow(other);
  DestroyWindow(h);
  runtime::rt().templates.clear();
}

TEST_F(UnitFramework, WindowKeysEnterAndEscape) {
  std::memset(g_counts, 0, sizeof g_counts);
  units::find_entry(*window_, kButton)->bindings = {{0, address(count_handler0)}};
  units::WindowUnit* window = units::live_window(*window_);
  auto key = [&](HWND target, WPARAM vk) {
    MSG m{target, WM_KEYDOWN, vk, 1, GetTickCount(), {0, 0}};
    return window->pre_translate(m);
  };
  SetFocus(handle(kEdit));
  EXPECT_FALSE(key(handle(kEdit), VK_RETURN));   // no default button, Enter moves nothing
  write(kButton, 9, 1);                          // kind 1: the default button
  EXPECT_TRUE(key(handle(kEdit), VK_RETURN));    // Enter clicks it
  EXPECT_EQ(g_counts[0], 1u);
  write(kOwn, 21, 1);                            // Enter moves the focus
  EXPECT_TRUE(key(handle(kEdit), VK_RETURN));
  EXPECT_EQ(GetFocus(), handle(kCheck));         // the next unit in tab order
  SetFocus(handle(kButton));
  EXPECT_TRUE(key(handle(kButton), VK_RETURN));  // the focused default button is clicked
  EXPECT_EQ(g_counts[0], 2u);
  write(kOwn, 22, 0);                            // Escape closes: off
  EXPECT_FALSE(key(handle(kEdit), VK_ESCAPE));
  EXPECT_TRUE(units::live_window(*window_));
  write(kOwn, 22, 1);
  EXPECT_TRUE(key(handle(kEdit), VK_ESCAPE));    // closes: no close handler refuses
  EXPECT_EQ(units::live_window(*window_), nullptr);
}

namespace {
std::vector<std::pair<HWND, UINT>> g_loader_messages;
LRESULT CALLBACK record_loader_message(int code, WPARAM wp, LPARAM lp) {
  auto* m = reinterpret_cast<CWPSTRUCT*>(lp);
  if (code == HC_ACTION && (m->message == 0x806F || m->message == 0x8004 || m->message == 0x8076))
    g_loader_messages.push_back({m->hwnd, m->message});
  return CallNextHookEx(nullptr, code, wp, lp);
}
}  // namespace

TEST(UnitWindowEvents, LoaderMessagesInOrder) {
  units::install();
  WindowTemplate w;
  w.id = 0x52017800;
  w.entries = {entry(0x06017801, units::kWindowType, {10, 10, 200, 100}),
               entry(0x16017802, units::kLabelType, {0, 0, 20, 20}),
               entry(0x16017803, units::kButtonType, {0, 30, 20, 20})};
  runtime::rt().templates.assign(1, &w);
  g_loader_messages.clear();
  HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, &record_loader_message, nullptr, GetCurrentThreadId());
  ASSERT_TRUE(units::load_window(w, false, nullptr));
  UnhookWindowsHookEx(hook);
  HWND win = units::live_handle(w.entries[0]), label = units::live_handle(w.entries[1]),
       button = units::live_handle(w.entries[2]);
  const std::pair<HWND, UINT> expected[] = {
      {button, 0x806F}, {label, 0x806F}, {win, 0x8004}, {button, 0x8076}, {label, 0x8076}};
  ASSERT_EQ(g_loader_messages.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(g_loader_messages[i].first, expected[i].first) << i;
    EXPECT_EQ(g_loader_messages[i].second, expected[i].second) << i;
  }
  DestroyWindow(win);
  runtime::rt().templates.clear();
}

// A unit type of another library, as a library file would give it: a tab container whose
// window is the system tab control, wrapped in a runtime window object.
namespace {
void* __cdecl tab_create(const uint8_t*, uint32_t, uint32_t style, HWND parent, uint32_t id,
                         HMENU, int x, int y, int w, int h, uint32_t, uint32_t, uint32_t, uint32_t) {
  HWND tab = CreateWindowExA(0, WC_TABCONTROLA, "", style | WS_CHILD | WS_CLIPSIBLINGS, x, y, w,
                             h, parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                             GetModuleHandleA(nullptr), nullptr);
  if (!tab) return nullptr;
  TCITEMA item{TCIF_TEXT};
  item.pszText = const_cast<char*>("page");
  SendMessageA(tab, TCM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
  SendMessageA(tab, TCM_INSERTITEMA, 1, reinterpret_cast<LPARAM>(&item));
  auto* object = new framework::Window;
  object->attach(tab);
  return object;
}
void* __cdecl tab_interface(int32_t n) {
  return n == units::kCreate ? reinterpret_cast<void*>(&tab_create) : nullptr;
}
}  // namespace

TEST(UnitWindowEvents, TabPagesOfAnotherLibrarysContainer) {
  units::install();
  corelib::UnitTypeEntry type{"选择夹", "Tab", "", 0, nullptr, 0x800101C0, 0, 0, nullptr, 0,
                              nullptr, &tab_interface, 0, nullptr};
  corelib::LibDescriptor library{};
  library.type_count = 1;
  library.types = &type;
  auto& libraries = runtime::rt().libraries;
  size_t saved = libraries.size();
  libraries.resize(2);
  libraries[1].descriptor = &library;
  WindowTemplate w;
  w.id = 0x52017900;
  w.entries = {entry(0x06017901, units::kWindowType, {10, 10, 300, 200}),
               entry(0x16017902, 0x20001, {5, 5, 280, 150}),
               entry(0x16017903, units::kButtonType, {10, 30, 60, 24}),
               entry(0x16017904, units::kButtonType, {80, 30, 60, 24}),
               entry(0x16017905, units::kButtonType, {10, 60, 60, 24})};
  w.entries[1].children = {0x16017903, 0x16017904, 0, 0x16017905};
  for (int i = 2; i <= 4; ++i) w.entries[i].parent = 0x16017902;
  runtime::rt().templates.assign(1, &w);
  ASSERT_TRUE(units::load_window(w, false, nullptr));
  HWND tab = units::live_handle(w.entries[1]);
  ASSERT_TRUE(tab);
  HWND a = units::live_handle(w.entries[2]), b = units::live_handle(w.entries[3]),
       c = units::live_handle(w.entries[4]);
  EXPECT_EQ(GetParent(a), tab);  // re-parented under the container
  EXPECT_TRUE(IsWindowVisible(a));
  EXPECT_TRUE(IsWindowVisible(b));
  EXPECT_FALSE(IsWindowVisible(c));  // on the second page: starts hidden
  units::write_property(w.id, 0x16017905, 5, -1, 1, 0);
  EXPECT_FALSE(IsWindowVisible(c));  // not the selected page: stays hidden
  SendMessageA(tab, TCM_SETCURSEL, 1, 0);
  EXPECT_NE(runtime::find_answer(2039), nullptr);  // the unit framework registered the code
  EXPECT_EQ(runtime::notify(2039, w.id, 0x16017902), 0);
  EXPECT_FALSE(IsWindowVisible(a));
  EXPECT_TRUE(IsWindowVisible(c));
  // Its properties go through the wrapped object like any unit's.
  EXPECT_EQ(units::read_property(w.id, 0x16017902, 2, -1), 280u);
  // A button inside it still raises its click event.
  std::memset(g_counts, 0, sizeof g_counts);
  w.entries[4].bindings = {{0, address(count_handler0)}};
  SendMessageA(c, BM_CLICK, 0, 0);
  EXPECT_EQ(g_counts[0], 1u);
  DestroyWindow(units::live_handle(w.entries[0]));
  runtime::rt().templates.clear();
  libraries.resize(saved);
}

TEST(UnitWindowEvents, MenuItemDescriptions) {
  units::install();
  WindowTemplate w;
  w.id = 0x52017A00;
  w.entries = {entry(0x06017A01, units::kWindowType, {10, 10, 200, 100})};
  auto item = [](uint32_t id, const char* caption, uint32_t flags, std::string data) {
    Entry e;
    e.id = id;
    e.type = units::kMenuTypeCode;
    e.menu_item = true;
    e.tag = caption;
    e.flags = flags;
    e.data = std::move(data);
    return e;
  };
  w.entries.push_back(item(0x26017A02, "文件(&F)", 0, ""));
  w.entries.push_back(item(0x26017A03, "打开(&O)", 4, u32s({1, 'O' | 0x10000})));
  w.entries.push_back(item(0x26017A04, "退出", 2, u32s({1, 0})));
  runtime::rt().templates.assign(1, &w);
  ASSERT_TRUE(units::load_window(w, false, nullptr));
  struct Case { uint32_t command; int found; const char* caption; uint32_t checked, enabled; };
  const Case cases[] = {
      {20000, 1, "文件(&F)", 0, 1},
      {20001, 1, "打开(&O)\tCtrl+O", 1, 1},
      {20002, 1, "退出", 0, 0},
      {20003, 0, "", 0, 0},
      {19999, 0, "", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    units::MenuItemQuery q{};
    q.window_id = w.id;
    q.command = c.command;
    EXPECT_EQ(runtime::notify(2038, reinterpret_cast<uint32_t>(&q), 0), c.found);
    if (!c.found) continue;
    EXPECT_STREQ(q.caption, c.caption);
    EXPECT_EQ(q.checked, c.checked);
    EXPECT_EQ(q.enabled, c.enabled);
  }
  // A caption write equal to the current one rebuilds nothing: the menu bar stays the same.
  HMENU bar = GetMenu(units::live_handle(w.entries[0]));
  ASSERT_TRUE(bar);
  units::write_property(w.id, 0x26017A04, 0, -1, reinterpret_cast<uint32_t>("退出"), 0);
  EXPECT_EQ(GetMenu(units::live_handle(w.entries[0])), bar);
  units::write_property(w.id, 0x26017A04, 0, -1, reinterpret_cast<uint32_t>("离开"), 0);
  EXPECT_NE(GetMenu(units::live_handle(w.entries[0])), bar);
  units::write_property(w.id, 0x26017A04, 2, -1, 0, 0);  // enabled again
  EXPECT_EQ(units::read_property(w.id, 0x26017A04, 2, -1), 0u);
  DestroyWindow(units::live_handle(w.entries[0]));
  runtime::rt().templates.clear();
}

// Modal loading: the other windows are disabled while the modal window is up, the load
// returns when it closes, and they get their enabled state back.
namespace {
HWND g_other = nullptr;
bool g_other_enabled_during = true;
bool g_modal_seen = false;
void CALLBACK close_modal(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  g_other_enabled_during = IsWindowEnabled(g_other) != FALSE;
  HWND modal = units::modal_window_handle();
  g_modal_seen = modal != nullptr;
  if (modal) PostMessageA(modal, WM_CLOSE, 0, 0);
}
}  // namespace

TEST_F(UnitFramework, ModalLoadDisablesTheOthersUntilItCloses) {
  WindowTemplate modal;
  modal.id = 0x52017200;
  modal.entries = {entry(0x06017201, units::kWindowType, {60, 60, 200, 120}),
                   entry(0x16017202, units::kButtonType, {10, 10, 80, 24})};
  runtime::rt().templates.push_back(&modal);
  g_other = units::live_window(*window_)->handle();
  ASSERT_TRUE(IsWindowEnabled(g_other));
  SetTimer(nullptr, 0, 300, &close_modal);
  ASSERT_TRUE(units::load_window(modal, true, nullptr));  // returns after the modal run
  EXPECT_TRUE(g_modal_seen);
  EXPECT_FALSE(g_other_enabled_during);
  EXPECT_TRUE(IsWindowEnabled(g_other));
  EXPECT_EQ(units::live_window(modal), nullptr);
  EXPECT_EQ(units::modal_window_handle(), nullptr);
}

TEST(UnitTypes, CoreTableRows) {
  struct Case { uint32_t number; const char* english; uint32_t flags; uint32_t properties; bool iface; };
  const Case cases[] = {
      {1, "window", 0x800000D0, 32, true},   {2, "rpt", 0x80000001, 0, false},
      {3, "menu", 0x80000004, 4, false},     {5, "EditBox", 0x80000040, 29, true},
      {10, "Label", 0x84012040, 29, true},   {11, "Button", 0x80000840, 14, true},
      {12, "CheckBox", 0x80001040, 21, true}, {32, "Timer", 0x80008040, 9, true},
      {46, "ODBCDB", 0x80008040, 0, false},  {51, "ErrorControl", 0x840100C1, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    const units::UnitTypeEntry* t = units::core_type_entry(c.number);
    ASSERT_TRUE(t);
    EXPECT_STREQ(t->english, c.english);
    EXPECT_EQ(t->flags, c.flags);
    EXPECT_EQ(t->property_count, c.properties);
    EXPECT_EQ(t->iface != nullptr, c.iface);
  }
  EXPECT_EQ(units::core_type_entry(52), nullptr);
  EXPECT_EQ(units::find_type(0x00340001), nullptr);  // a library beyond the list
  // Interface operations offered by type.
  auto op = [](uint32_t n, int i) { return units::type_operation(units::core_type_entry(n), i) != nullptr; };
  EXPECT_TRUE(op(1, units::kGetIcon));
  EXPECT_TRUE(op(5, units::kWantsKey));
  EXPECT_FALSE(op(11, units::kWantsKey));
  EXPECT_TRUE(op(11, units::kActsOnEnter));
  EXPECT_FALSE(op(51, units::kGetAllData));
  EXPECT_FALSE(op(32, units::kConvertTexts));
}

TEST(UnitTypes, HostileDataNeverCrashes) {
  // Random and truncated data for every unit type: the create operation answers a unit or
  // none, and never reads past the data.
  units::hold_events();  // these units belong to no window record: no events
  HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  std::mt19937 rng(7);
  const uint32_t types[] = {1, 5, 10, 11, 12, 32, 51};
  int made = 0, refused = 0;
  for (uint32_t t : types) {
    auto create = reinterpret_cast<units::CreateOp>(
        units::type_operation(units::core_type_entry(t), units::kCreate));
    ASSERT_TRUE(create);
    for (int i = 0; i < 60; ++i) {
      std::vector<uint8_t> data(rng() % 96);
      for (auto& b : data) b = static_cast<uint8_t>(rng());
      if (i % 3 == 0 && data.size() >= 4) data[0] = static_cast<uint8_t>(1 + rng() % 2), data[1] = data[2] = data[3] = 0;
      void* u = create(data.data(), static_cast<uint32_t>(data.size()), 0, t == 1 ? nullptr : parent,
                       100, nullptr, 0, 0, 50, 20, kWindow, 0x16017100, 0, 0);
      if (!u) { ++refused; continue; }
      ++made;
      auto* w = static_cast<framework::Window*>(u);
      DestroyWindow(w->handle());
    }
  }
  EXPECT_GT(made, 0);
  EXPECT_GT(refused, 0);
  DestroyWindow(parent);
  units::release_events();
}

TEST(UnitTypes, LinkerDefaultsEqualSavedDefaults) {
  // A unit created from empty data saves its defaults; the image linker writes the same bytes
  // for a unit whose description names no field (unit_defaults.txt, written at build time).
  std::ifstream in("unit_defaults.txt");
  ASSERT_TRUE(in) << "unit_defaults.txt is written by the build next to the tests";
  units::hold_events();
  HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  int compared = 0;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string type_text, word, linked;
    words >> type_text;
    while (words >> word)
      for (size_t i = 0; i + 1 < word.size(); i += 2)
        linked += static_cast<char>(std::stoi(word.substr(i, 2), nullptr, 16));
    uint32_t type = std::stoul(type_text, nullptr, 16);
    SCOPED_TRACE(type_text);
    auto create = reinterpret_cast<units::CreateOp>(
        units::type_operation(units::core_type_entry(type & 0xFFFF), units::kCreate));
    auto get_all = reinterpret_cast<void*(__cdecl*)(void*, uint32_t*)>(
        units::type_operation(units::core_type_entry(type & 0xFFFF), units::kGetAllData));
    ASSERT_TRUE(create && get_all);
    void* u = create(nullptr, 0, 0, type == units::kWindowType ? nullptr : parent, 100, nullptr,
                     0, 0, 50, 20, kWindow, 0x16017100, 0, 0);
    ASSERT_TRUE(u);
    uint32_t length = 0;
    void* saved = get_all(u, &length);
    EXPECT_EQ(std::string(static_cast<char*>(saved), length), linked);
    runtime::free_block(saved);
    DestroyWindow(static_cast<framework::Window*>(u)->handle());
    ++compared;
  }
  EXPECT_EQ(compared, 6);  // window, edit box, label, button, check box, timer
  DestroyWindow(parent);
  units::release_events();
}
