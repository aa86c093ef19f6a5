// The picture, drawing, dialog, printer and data unit types in a window built in memory:
// their property tables answer reads and writes by value type, a newer data version refuses
// the unit, the drawing panel keeps what it drew, the picture units show their pictures,
// the printer records pages, the dialog unit returns the dialog's answers, and a provider,
// a data source and a grid show and edit one table.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>
#include "corelib/install.h"
#include "database/create.h"
#include "database/engine.h"
#include "kit.h"
#include "runtime/heap.h"
#include "runtime/runtime.h"
#include "units/data_binding.h"
#include "units/events.h"
#include "units/framework.h"
#include "units/media_units.h"
#include "units/unit_base.h"
#include "units/unit_data.h"
#include "units/window_unit.h"

namespace {

using units::Entry;
using units::WindowTemplate;

constexpr uint32_t kWindow = 0x52018001, kOwn = 0x06018000;
enum : uint32_t {
  kPicBox = 0x16018002, kShapeBox, kDrawPanel, kAnimateBox, kCommonDlg, kPrinter, kGrid,
  kDataSrc, kNProvider, kDBProvider, kPicBtn,
};

struct TypeCase {
  uint32_t unit, type;
  const char* name;
  uint32_t properties, flags;
  bool texts;  // offers interface 9
  RECT place;
};
const TypeCase kTypes[] = {
    {kPicBox, 0x10006, "图片框1", 15, 0x840100C0, true, {10, 10, 60, 40}},
    {kShapeBox, 0x10007, "外形框1", 15, 0x840100C0, false, {80, 10, 60, 40}},
    {kDrawPanel, 0x10008, "画板1", 25, 0x800200C0, true, {10, 60, 200, 100}},
    {kAnimateBox, 0x10016, "影像框1", 13, 0x84010040, true, {220, 60, 60, 60}},
    {kCommonDlg, 0x1001F, "通用对话框1", 30, 0x80008040, true, {300, 10, 20, 20}},
    {kPrinter, 0x10021, "打印机1", 35, 0x80008040, true, {330, 10, 20, 20}},
    {kGrid, 0x10029, "表格1", 18, 0x80000040, true, {10, 170, 300, 120}},
    {kDataSrc, 0x1002A, "数据源1", 12, 0x80080040, true, {360, 150, 120, 20}},
    {kNProvider, 0x1002B, "提供者1", 10, 0x80048040, false, {390, 10, 20, 20}},
    {kDBProvider, 0x1002C, "数据库提供者1", 11, 0x80048040, true, {420, 10, 20, 20}},
    {kPicBtn, 0x1002D, "图形按钮1", 15, 0x80010040, false, {150, 10, 40, 40}},
};

std::string fixture(const std::string& name) {
  std::ifstream in(kit::bin_dir() + "media_pictures\\" + name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

Entry entry(uint32_t id, uint32_t type, const char* name, RECT r, std::string data = {}) {
  Entry e;
  e.id = id;
  e.type = type;
  e.name = name;
  e.left = r.left;
  e.top = r.top;
  e.width = r.right;
  e.height = r.bottom;
  e.flags = 1 | 4;
  e.data = std::move(data);
  return e;
}

class MediaUnits : public ::testing::Test {
 protected:
  void SetUp() override {
    units::install();
    window_ = std::make_unique<WindowTemplate>();
    window_->id = kWindow;
    window_->entries.push_back(entry(kOwn, 0x10001, "窗口1", {20, 20, 520, 340}));
    for (const TypeCase& t : kTypes) window_->entries.push_back(entry(t.unit, t.type, t.name, t.place));
    runtime::rt().templates.push_back(window_.get());
    ASSERT_TRUE(units::load_window(*window_, false, nullptr));
  }
  void TearDown() override {
    if (units::WindowUnit* w = units::live_window(*window_)) DestroyWindow(w->handle());
    runtime::rt().templates.clear();
  }
  int64_t read(uint32_t unit, int prop) {
    return static_cast<int64_t>(units::read_property(kWindow, unit, prop, -1));
  }
  void write(uint32_t unit, int prop, uint32_t lo, uint32_t hi = 0) {
    units::write_property(kWindow, unit, prop, -1, lo, hi);
  }
  // Texts go in as pointers; byte data as byte sets {1, length, bytes}.
  void write_text(uint32_t unit, int prop, const std::string& text) {
    write(unit, prop, reinterpret_cast<uintptr_t>(text.c_str()));
  }
  void write_bytes(uint32_t unit, int prop, const std::string& bytes) {
    std::string block(8 + bytes.size(), '\0');
    uint32_t head[2] = {1, static_cast<uint32_t>(bytes.size())};
    std::memcpy(block.data(), head, 8);
    std::memcpy(block.data() + 8, bytes.data(), bytes.size());
    write(unit, prop, reinterpret_cast<uintptr_t>(block.data()));
  }
  std::string read_text(uint32_t unit, int prop) {
    auto* p = reinterpret_cast<char*>(static_cast<uintptr_t>(read(unit, prop)));
    std::string s = p ? p : "";
    runtime::free_block(p);
    return s;
  }
  std::string read_bytes(uint32_t unit, int prop) {
    auto* p = reinterpret_cast<uint32_t*>(static_cast<uintptr_t>(read(unit, prop)));
    std::string s = p ? std::string(reinterpret_cast<char*>(p + 2), p[1]) : "";
    runtime::free_block(p);
    return s;
  }
  units::Unit* unit(uint32_t id) { return units::live_unit(*units::find_entry(*window_, id)); }
  HWND handle(uint32_t id) { return units::live_handle(*units::find_entry(*window_, id)); }
  // Pumps the window's messages (paints) for a moment.
  static void pump(DWORD ms = 50) {
    DWORD end = GetTickCount() + ms;
    MSG m;
    do {
      while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
      }
      Sleep(5);
    } while (GetTickCount() < end);
  }
  // A pixel of a window as the screen shows it.
  static COLORREF screen_pixel(HWND w, int x, int y) {
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    HDC dc = GetDC(w);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(w, dc);
    return c;
  }

  std::unique_ptr<WindowTemplate> window_;
};

}  // namespace

TEST_F(MediaUnits, TypeEntriesMatchTheirTable) {
  for (const TypeCase& t : kTypes) {
    SCOPED_TRACE(t.name);
    const units::UnitTypeEntry* e = units::core_type_entry(t.type & 0xFFFF);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->property_count, t.properties);
    EXPECT_EQ(e->flags, t.flags);
    ASSERT_TRUE(e->iface);
    for (int op : {1, 4, 5, 6}) EXPECT_TRUE(e->iface(op)) << op;
    EXPECT_EQ(e->iface(9) != nullptr, t.texts);
    for (int op : {7, 8, 10, 11}) EXPECT_FALSE(e->iface(op)) << op;
    EXPECT_TRUE(unit(t.unit)) << "loaded";
    // Function units have a window that is never shown.
    if (t.flags & 0x8000) EXPECT_FALSE(IsWindowVisible(handle(t.unit)));
  }
  // The window as it looks, with something in each unit, kept beside the tests.
  write(kPicBox, 11, 1);
  write_bytes(kPicBox, 10, fixture("two.png"));
  write(kShapeBox, 9, 2);
  write(kShapeBox, 11, 0);
  write(kShapeBox, 14, 0x00C0FF);
  write(kDrawPanel, 17, 0x0000FF);
  dynamic_cast<units::Canvas*>(unit(kDrawPanel))->line(10, 10, 190, 90);
  dynamic_cast<units::Canvas*>(unit(kDrawPanel))->text(20, 60, "画板");
  write_bytes(kPicBtn, 10, fixture("two.ico"));
  write(kNProvider, 8, 2);
  write(kNProvider, 9, 2);
  dynamic_cast<units::DataProvider*>(unit(kNProvider))->set_cell(0, 0, "表格");
  write_text(kDataSrc, 8, "提供者1");
  write_text(kGrid, 8, "数据源1");
  pump(100);
  EXPECT_TRUE(kit::screenshot().save_png(kit::bin_dir() + "units_media_window.png"));
}

// Every type-specific property answers a write and a read of its value type.
TEST_F(MediaUnits, EveryPropertyReadsBackWhatWasWritten) {
  // Read-only figures of the printer (page size, page number, resolution).
  auto live = [](uint32_t unit, int prop) {
    return unit == kPrinter && (prop == 25 || prop == 26 || prop == 29 || prop == 30 || prop == 31);
  };
  int checked = 0;
  for (const TypeCase& t : kTypes) {
    const units::UnitTypeEntry* e = units::core_type_entry(t.type & 0xFFFF);
    for (uint32_t p = 8; p < e->property_count; ++p) {
      SCOPED_TRACE(std::string(t.name) + " property " + std::to_string(p));
      if (live(t.unit, p)) continue;
      switch (e->properties[p].type) {
        case units::kPropPick:
          write(t.unit, p, 1);
          EXPECT_EQ(read(t.unit, p), 1);
          write(t.unit, p, static_cast<uint32_t>(-4));
          EXPECT_EQ(read(t.unit, p), 0);
          break;
        case units::kPropBool:
          write(t.unit, p, 5);
          EXPECT_EQ(read(t.unit, p), 1);
          write(t.unit, p, 0);
          EXPECT_EQ(read(t.unit, p), 0);
          break;
        case units::kPropInt:
          write(t.unit, p, 3);
          EXPECT_EQ(read(t.unit, p), 3);
          break;
        case units::kPropColour: case units::kPropColourOrClear: case units::kPropBackColour:
          write(t.unit, p, 0x123456);
          EXPECT_EQ(read(t.unit, p), 0x123456);
          break;
        case units::kPropPicture: {
          std::string png = fixture("two.png");
          write_bytes(t.unit, p, png);
          EXPECT_EQ(read_bytes(t.unit, p), png);
          break;
        }
        case units::kPropFont:  // by element: 5 is the size in points
          units::write_property(kWindow, t.unit, p, 5, 12, 0);
          EXPECT_EQ(units::read_property(kWindow, t.unit, p, 5), 12u);
          break;
        case units::kPropFileName:
          if (t.unit == kAnimateBox) continue;  // opening a clip: its own test
          write_text(t.unit, p, "C:\\没有\\文件.db");
          EXPECT_EQ(read_text(t.unit, p), "C:\\没有\\文件.db");
          break;
        default:  // texts of every kind
          write_text(t.unit, p, "文本 " + std::to_string(p));
          EXPECT_EQ(read_text(t.unit, p), "文本 " + std::to_string(p));
          break;
      }
      ++checked;
    }
  }
  EXPECT_EQ(checked, 7 + 7 + 17 + 4 + 22 + 22 + 10 + 4 + 2 + 3 + 7);
}

TEST_F(MediaUnits, DataVersionsEmptyDefaultsNewerAndCorruptRefused) {
  HWND parent = units::live_window(*window_)->handle();
  units::hold_events();
  for (const TypeCase& t : kTypes) {
    SCOPED_TRACE(t.name);
    const units::UnitTypeEntry* e = units::core_type_entry(t.type & 0xFFFF);
    auto create = reinterpret_cast<units::CreateOp>(e->iface(units::kCreate));
    auto get_all = reinterpret_cast<units::GetAllOp>(e->iface(units::kGetAllData));
    auto make = [&](const std::string& data) {
      return create(reinterpret_cast<const uint8_t*>(data.data()), uint32_t(data.size()), 0,
                    parent, 900, nullptr, 0, 0, 20, 20, kWindow, 0x16018100, 0, 0);
    };
    void* u = make("");
    ASSERT_TRUE(u) << "empty data: the defaults";
    uint32_t length = 0;
    void* saved = get_all(u, &length);
    std::string defaults(static_cast<char*>(saved), length);
    runtime::free_block(saved);
    DestroyWindow(static_cast<framework::Window*>(u)->handle());
    ASSERT_GE(defaults.size(), 4u);
    EXPECT_EQ(defaults.substr(0, 4), std::string("\x01\0\0\0", 4));
    void* again = make(defaults);  // the saved defaults load again
    EXPECT_TRUE(again);
    if (again) DestroyWindow(static_cast<framework::Window*>(again)->handle());
    std::string newer = defaults;
    newer[0] = 2;
    EXPECT_FALSE(make(newer)) << "version 2 is newer than the type knows";
    // A short record keeps the defaults of the fields it lacks.
    void* short_one = make(defaults.substr(0, 8));
    EXPECT_TRUE(short_one);
    if (short_one) DestroyWindow(static_cast<framework::Window*>(short_one)->handle());
  }
  // Types whose first field is a text: a length running past the end refuses the data.
  for (uint32_t type : {0x10016u, 0x10029u, 0x1002Au, 0x1002Cu}) {
    auto create = reinterpret_cast<units::CreateOp>(
        units::core_type_entry(type & 0xFFFF)->iface(units::kCreate));
    units::DataWriter w;
    w.u32(1);
    w.u32(0x7FFFFFF0);
    std::string d = w.data() + "abc";
    EXPECT_FALSE(create(reinterpret_cast<const uint8_t*>(d.data()), uint32_t(d.size()), 0, parent,
                        900, nullptr, 0, 0, 20, 20, kWindow, 0x16018102, 0, 0))
        << std::hex << type;
  }
  units::release_events();
}

TEST_F(MediaUnits, DrawingPanelKeepsItsLinesAcrossRepaints) {
  auto* canvas = dynamic_cast<units::Canvas*>(unit(kDrawPanel));
  ASSERT_TRUE(canvas);
  write(kDrawPanel, 17, 0x0000FF);  // pen colour: red
  write(kDrawPanel, 16, 3);         // pen width
  ASSERT_TRUE(canvas->line(10, 20, 150, 20));
  EXPECT_EQ(canvas->pixel(80, 20), RGB(255, 0, 0));
  EXPECT_EQ(canvas->pixel(80, 60), RGB(255, 255, 255)) << "the background stays white";
  EXPECT_EQ(read(kDrawPanel, 23), 150) << "current x follows the line";
  HWND panel = handle(kDrawPanel);
  pump();
  EXPECT_EQ(screen_pixel(panel, 80, 20), RGB(255, 0, 0));
  // Covered and uncovered, minimised and back: the line is still there.
  ShowWindow(panel, SW_HIDE);
  ShowWindow(panel, SW_SHOW);
  pump();
  EXPECT_EQ(screen_pixel(panel, 80, 20), RGB(255, 0, 0));
  EXPECT_EQ(screen_pixel(panel, 80, 60), RGB(255, 255, 255));
  // Figures and a picture.
  write(kDrawPanel, 15, 0);         // fill style: solid
  write(kDrawPanel, 21, 0x00FF00);  // fill colour: green
  ASSERT_TRUE(canvas->rectangle(20, 40, 60, 80));
  EXPECT_EQ(canvas->pixel(40, 60), RGB(0, 255, 0));
  ASSERT_TRUE(canvas->picture(100, 40, 0, 0, fixture("two.bmp")));
  EXPECT_EQ(canvas->pixel(102, 45), RGB(255, 0, 0));
  EXPECT_EQ(canvas->pixel(117, 45), RGB(0, 0, 255));
  EXPECT_FALSE(canvas->picture(100, 40, 0, 0, "not a picture"));
  // Auto redraw off: a repaint starts again from the background.
  write(kDrawPanel, 12, 0);
  screen_pixel(panel, 0, 0);
  EXPECT_EQ(canvas->pixel(80, 20), RGB(255, 255, 255));
}

TEST_F(MediaUnits, PictureUnitsShowTheirPictures) {
  write(kPicBox, 11, 0);  // top left
  write_bytes(kPicBox, 10, fixture("two.bmp"));
  pump();
  EXPECT_EQ(screen_pixel(handle(kPicBox), 2, 5), RGB(255, 0, 0));
  EXPECT_EQ(screen_pixel(handle(kPicBox), 15, 5), RGB(0, 0, 255));
  write(kPicBox, 12, 1);  // auto size: the box takes the picture's size
  RECT rc;
  GetClientRect(handle(kPicBox), &rc);
  EXPECT_EQ(rc.right, 20);
  EXPECT_EQ(rc.bottom, 10);
  write_bytes(kPicBox, 10, "corrupt");  // no picture, no crash, the background shows
  write(kPicBox, 9, 0x00FF00);
  EXPECT_EQ(screen_pixel(handle(kPicBox), 2, 5), RGB(0, 255, 0));

  // An animated GIF plays: red first, then the blue second frame.
  write(kPicBox, 12, 0);
  write(kPicBox, 9, 0x00FF00);
  write_bytes(kPicBox, 10, fixture("anim.gif"));
  EXPECT_EQ(screen_pixel(handle(kPicBox), 5, 3), RGB(255, 0, 0));
  pump(250);
  EXPECT_EQ(screen_pixel(handle(kPicBox), 5, 3), RGB(0, 0, 255));
  EXPECT_EQ(screen_pixel(handle(kPicBox), 1, 1), RGB(255, 0, 0));

  write(kShapeBox, 9, 0);    // rectangle
  write(kShapeBox, 11, 0);   // solid fill
  write(kShapeBox, 14, 0xFF0000);
  EXPECT_EQ(screen_pixel(handle(kShapeBox), 30, 20), RGB(0, 0, 255));

  // The picture button: its picture, and a toggle button flips on a click.
  write_bytes(kPicBtn, 10, fixture("two.png"));
  write(kPicBtn, 8, 1);
  HWND b = handle(kPicBtn);
  EXPECT_EQ(screen_pixel(b, 10, 20), RGB(255, 0, 0));
  SendMessageA(b, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  SendMessageA(b, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(read(kPicBtn, 9), 1);
  SendMessageA(b, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  SendMessageA(b, WM_LBUTTONUP, 0, MAKELPARAM(100, 100));  // released outside: no click
  EXPECT_EQ(read(kPicBtn, 9), 1);
}

// A clip of 16 x 16 uncompressed frames, one colour each (0x00RRGGBB), ten per second.
std::string avi_clip(const std::vector<uint32_t>& colours) {
  const uint32_t w = 16, h = 16, frame = w * h * 3;
  auto u32 = [](std::string& s, uint32_t v) { s.append(reinterpret_cast<const char*>(&v), 4); };
  auto chunk = [&](const char* id, const std::string& body) {
    std::string c(id, 4);
    u32(c, static_cast<uint32_t>(body.size()));
    return c + body;
  };
  auto list = [&](const char* type, const std::string& body) { return chunk("LIST", std::string(type, 4) + body); };
  std::string avih;
  for (uint32_t v : {100000u, frame * 10, 0u, 0x10u, uint32_t(colours.size()), 0u, 1u, frame, w, h, 0u, 0u, 0u, 0u})
    u32(avih, v);
  std::string strh = "vidsDIB ";
  for (uint32_t v : {0u, 0u, 0u, 1u, 10u, 0u, uint32_t(colours.size()), frame, 0xFFFFFFFFu, 0u}) u32(strh, v);
  u32(strh, 0);
  u32(strh, w | (h << 16));
  BITMAPINFOHEADER bih{sizeof bih, LONG(w), LONG(h), 1, 24, BI_RGB, frame};
  std::string strf(reinterpret_cast<const char*>(&bih), sizeof bih);
  std::string movi = "movi", idx;
  for (uint32_t c : colours) {
    std::string pixels;
    for (uint32_t i = 0; i < w * h; ++i) pixels += {char(c & 0xFF), char((c >> 8) & 0xFF), char((c >> 16) & 0xFF)};
    idx += "00db";
    u32(idx, 0x10);
    u32(idx, static_cast<uint32_t>(movi.size()));  // from the "movi" type
    u32(idx, frame);
    movi += chunk("00db", pixels);
  }
  std::string body = "AVI " + list("hdrl", chunk("avih", avih) + list("strl", chunk("strh", strh) + chunk("strf", strf))) +
                     chunk("LIST", movi) + chunk("idx1", idx);
  return chunk("RIFF", body);
}

TEST_F(MediaUnits, AnimationBoxPlaysAClip) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  std::string file = std::string(dir) + "影像测试.avi";
  {
    std::ofstream out(file, std::ios::binary);
    std::string clip = avi_clip({0xFF0000, 0x0000FF, 0x00FF00});
    out.write(clip.data(), clip.size());
  }
  auto* anim = dynamic_cast<units::AnimationOps*>(unit(kAnimateBox));
  ASSERT_TRUE(anim);
  write_text(kAnimateBox, 8, file);  // auto play is on: it starts at once
  EXPECT_EQ(read_text(kAnimateBox, 8), file);
  EXPECT_TRUE(anim->playing());
  pump(150);
  EXPECT_TRUE(anim->stop());
  EXPECT_FALSE(anim->playing());
  HWND box = handle(kAnimateBox);
  ASSERT_TRUE(anim->seek(1));
  pump();
  RECT rc;
  GetClientRect(box, &rc);
  EXPECT_EQ(screen_pixel(box, rc.right / 2, rc.bottom / 2), RGB(0, 0, 255)) << "frame 1 is blue";
  ASSERT_TRUE(anim->seek(0));
  pump();
  EXPECT_EQ(screen_pixel(box, rc.right / 2, rc.bottom / 2), RGB(255, 0, 0)) << "frame 0 is red";
  EXPECT_TRUE(anim->play(0, -1, 2));
  // Damaged clips: refused or played, never a crash.
  {
    std::string clip = avi_clip({0xFF0000, 0x0000FF, 0x00FF00});
    std::mt19937 random(22);
    std::string bad = std::string(dir) + "坏影像.avi";
    int opened = 0;
    for (int round = 0; round < 60; ++round) {
      std::string d = clip;
      if (round % 3 == 0) d.resize(random() % d.size());
      else if (round % 3 == 1)
        for (int i = 0; i < 4; ++i) d[random() % 300] ^= char(1 + random() % 255);
      else
        for (size_t i = random() % 250, n = 4; n--; ++i) d[i] = '\xFF';
      anim->open_clip("");  // the control keeps its clip's file open
      {
        std::ofstream out(bad, std::ios::binary | std::ios::trunc);
        out.write(d.data(), d.size());
      }
      if (anim->open_clip(bad)) {
        ++opened;
        anim->play(0, -1, 1);
        pump(20);
      }
    }
    // Sizes and counts in the headers made huge: the frame size, the frame count, an index
    // entry pointing past the end.
    auto put = [&](std::string d, const char* tag, size_t offset, uint32_t v) {
      size_t at = d.find(tag);
      if (at != std::string::npos && at + 8 + offset + 4 <= d.size()) std::memcpy(&d[at + 8 + offset], &v, 4);
      return d;
    };
    auto chunk_size = [&](std::string d, const char* tag, uint32_t v) {
      std::memcpy(&d[d.find(tag) + 4], &v, 4);
      return d;
    };
    // These are refused by the header check before the control sees them.
    for (const std::string& d : {put(clip, "strf", 4, 0x7FFFFFFF), put(clip, "strf", 8, 0x40000000),
                                 put(clip, "strf", 20, 0xFFFFFFF0), put(clip, "avih", 16, 0x7FFFFFFF),
                                 put(clip, "avih", 32, 0x7FFFFFFF), chunk_size(clip, "strf", 0x7FFFFFF0),
                                 clip.substr(0, 100), chunk_size(clip, "RIFF", 0x7FFFFFF0)}) {
      anim->open_clip("");
      {
        std::ofstream out(bad, std::ios::binary | std::ios::trunc);
        out.write(d.data(), d.size());
      }
      EXPECT_FALSE(anim->open_clip(bad));
    }
    std::printf("damaged clips opened: %d of 60\n", opened);
    anim->open_clip("");
    DeleteFileA(bad.c_str());
  }
  EXPECT_FALSE(anim->open_clip(std::string(dir) + "没有这个.avi"));
  EXPECT_FALSE(anim->playing());
  DeleteFileA(file.c_str());
}

TEST_F(MediaUnits, PrinterRecordsPagesOfTextAndPictures) {
  auto* printer = dynamic_cast<units::PrinterOps*>(unit(kPrinter));
  ASSERT_TRUE(printer);
  ASSERT_TRUE(printer->begin_document("测试文档"));
  write(kPrinter, 14, 0x0000FF);  // text colour
  EXPECT_TRUE(printer->text(100, 100, "第一页"));
  EXPECT_TRUE(printer->picture(0, 0, 500, 250, fixture("two.bmp")));  // 50 x 25 mm
  EXPECT_TRUE(printer->new_page());
  write(kPrinter, 12, 0x00FF00);  // pen colour
  write(kPrinter, 11, 20);        // 2 mm wide
  EXPECT_TRUE(printer->line(0, 100, 1000, 100));
  EXPECT_EQ(printer->page_count(), 2);
  EXPECT_EQ(read(kPrinter, 29), 2) << "page number";
  EXPECT_GT(read(kPrinter, 25), 2000) << "printable width of A4, in tenths of a millimetre";
  // Pages played into bitmaps: 210 x 297 mm at 1 pixel per millimetre.
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 210, 297);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(mem, bmp);
  RECT page{0, 0, 210, 297};
  FillRect(mem, &page, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  ASSERT_TRUE(printer->render_page(0, mem, page));
  EXPECT_EQ(GetPixel(mem, 10, 12), RGB(255, 0, 0)) << "left half of the picture";
  EXPECT_EQ(GetPixel(mem, 40, 12), RGB(0, 0, 255)) << "right half";
  FillRect(mem, &page, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  ASSERT_TRUE(printer->render_page(1, mem, page));
  EXPECT_EQ(GetPixel(mem, 50, 10), RGB(0, 255, 0)) << "the line at 10 mm";
  EXPECT_EQ(GetPixel(mem, 50, 30), RGB(255, 255, 255));
  EXPECT_FALSE(printer->render_page(2, mem, page));
  // The page being drawn goes on after a preview of it, with what it held.
  EXPECT_TRUE(printer->line(0, 300, 1000, 300));
  EXPECT_EQ(printer->page_count(), 2);
  FillRect(mem, &page, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  ASSERT_TRUE(printer->render_page(1, mem, page));
  EXPECT_EQ(GetPixel(mem, 50, 10), RGB(0, 255, 0));
  EXPECT_EQ(GetPixel(mem, 50, 30), RGB(0, 255, 0));
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  // Without a printer the document cannot be sent, and it stays; with one it is sent.
  bool sent = printer->end_document();
  std::printf("printer present: %s\n", sent ? "yes" : "no");
  EXPECT_EQ(printer->page_count(), sent ? 0 : 2);
  printer->cancel_document();
  EXPECT_EQ(printer->page_count(), 0);
}

// A colour and a file dialog, confirmed by a watcher pressing OK.
TEST_F(MediaUnits, CommonDialogReturnsTheAnswers) {
  auto* dialog = dynamic_cast<units::DialogOps*>(unit(kCommonDlg));
  ASSERT_TRUE(dialog);
  kit::DialogWatcher watcher(GetCurrentProcessId(), IDOK);
  write(kCommonDlg, 8, 2);          // colour
  write(kCommonDlg, 20, 0x3366CC);  // starting colour
  EXPECT_TRUE(dialog->open());
  EXPECT_EQ(read(kCommonDlg, 20), 0x3366CC);
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  std::string file = std::string(dir) + "媒体单元测试.txt";
  std::ofstream(file) << "x";
  write(kCommonDlg, 8, 0);  // open a file
  write_text(kCommonDlg, 11, file);
  write_text(kCommonDlg, 10, "文本|*.txt|全部|*.*");
  EXPECT_TRUE(dialog->open());
  EXPECT_EQ(read_text(kCommonDlg, 11), file);
  EXPECT_EQ(read(kCommonDlg, 12), 1);
  // The font dialog: the confirmed font's face and size come back.
  write(kCommonDlg, 8, 3);
  write(kCommonDlg, 26, 12);
  EXPECT_TRUE(dialog->open());
  EXPECT_FALSE(read_text(kCommonDlg, 25).empty());
  EXPECT_GT(read(kCommonDlg, 26), 0);
  // The save dialog with a new name in an existing folder.
  std::string saved = std::string(dir) + "媒体单元另存.txt";
  write(kCommonDlg, 8, 1);
  write_text(kCommonDlg, 11, saved);
  EXPECT_TRUE(dialog->open());
  EXPECT_EQ(read_text(kCommonDlg, 11), saved);
  EXPECT_GE(watcher.seen().size(), 4u);
  DeleteFileA(file.c_str());
}

TEST_F(MediaUnits, ProviderDataSourceAndGridShareOneTable) {
  write(kNProvider, 8, 3);  // rows
  write(kNProvider, 9, 2);  // columns
  auto* provider = dynamic_cast<units::DataProvider*>(unit(kNProvider));
  ASSERT_TRUE(provider);
  provider->set_column_name(0, "姓名");
  for (int r = 0; r < 3; ++r) {
    provider->set_cell(r, 0, "名" + std::to_string(r));
    provider->set_cell(r, 1, std::to_string(r * 10));
  }
  write_text(kDataSrc, 8, "提供者1");
  write_text(kGrid, 8, "数据源1");
  HWND list = FindWindowExA(handle(kGrid), nullptr, WC_LISTVIEWA, nullptr);
  ASSERT_TRUE(list);
  auto cell = [&](int row, int column) {
    char text[64] = {};
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return std::string(text);
  };
  EXPECT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 3);
  EXPECT_EQ(cell(2, 0), "名2");
  EXPECT_EQ(cell(1, 1), "10");
  // A change in the provider shows in the grid; rows added through the source too.
  provider->set_cell(1, 1, "十一");
  EXPECT_EQ(cell(1, 1), "十一");
  auto* source = units::find_data_source(*unit(kGrid), "数据源1");
  ASSERT_TRUE(source);
  EXPECT_EQ(source->column_of("姓名"), 0);
  EXPECT_EQ(source->column_of("2"), 1);
  EXPECT_EQ(source->add_row(), 3);
  EXPECT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 4);
  EXPECT_EQ(read(kNProvider, 8), 4);
  EXPECT_EQ(source->current_row(), 3);
  // Selecting a row in the grid moves the current row.
  LVITEMA sel{};
  sel.state = sel.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&sel));
  EXPECT_EQ(source->current_row(), 0);
  // The data source's bar: "next" moves the current row, and the grid's selection follows.
  SendMessageA(handle(kDataSrc), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(90, 10));
  EXPECT_EQ(source->current_row(), 1);
  EXPECT_EQ(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 1);
  SendMessageA(handle(kDataSrc), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(110, 10));  // last
  EXPECT_EQ(source->current_row(), 3);
  // Editing a cell in place: a double click, a text, Enter.
  pump();
  RECT r{LVIR_LABEL, 1, 0, 0};
  ASSERT_TRUE(SendMessageA(list, LVM_GETSUBITEMRECT, 2, reinterpret_cast<LPARAM>(&r)));
  LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageA(list, WM_LBUTTONUP, 0, at);
  SendMessageA(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  SendMessageA(list, WM_LBUTTONUP, 0, at);
  pump();
  HWND edit = FindWindowExA(list, nullptr, "Edit", nullptr);
  ASSERT_TRUE(edit) << "the cell editor";
  EXPECT_EQ(kit::drive::text(edit), "20");
  SetWindowTextA(edit, "二十");
  SendMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
  pump();
  EXPECT_FALSE(IsWindow(edit));
  std::string v;
  EXPECT_TRUE(provider->cell(2, 1, v));
  EXPECT_EQ(v, "二十");
  EXPECT_EQ(cell(2, 1), "二十");
  // Escape drops the edit, and the message loop gives it to the editor before the window
  // (whose Escape would close it).
  SendMessageA(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  SendMessageA(list, WM_LBUTTONUP, 0, at);
  pump();
  edit = FindWindowExA(list, nullptr, "Edit", nullptr);
  ASSERT_TRUE(edit);
  SetWindowTextA(edit, "作废");
  MSG escape{edit, WM_KEYDOWN, VK_ESCAPE, 0};
  EXPECT_TRUE(framework::Window::from_handle(edit)->pre_translate(escape));
  pump();
  EXPECT_FALSE(IsWindow(edit));
  EXPECT_EQ(cell(2, 1), "二十");
  EXPECT_TRUE(units::live_window(*window_)) << "the window stays";
  // Read-only: the source refuses writes.
  write(kDataSrc, 9, 1);
  EXPECT_FALSE(source->set_cell(0, 0, "x"));
  EXPECT_EQ(source->add_row(), -1);
  // The picture box bound to a column shows the picture of the current row.
  write(kDataSrc, 9, 0);
  provider->set_cell(0, 1, fixture("two.bmp"));
  write_text(kPicBox, 14, "2");
  write_text(kPicBox, 13, "数据源1");
  source->set_current_row(0);
  EXPECT_EQ(read_bytes(kPicBox, 10), fixture("two.bmp"));
  // An unknown name binds nothing.
  write_text(kGrid, 8, "没有这个");
  EXPECT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 0);
  // Table sizes are clamped: 64 columns, 2^20 cells, rows added only while they fit.
  write(kNProvider, 9, 1000);
  EXPECT_EQ(read(kNProvider, 9), 64);
  write(kNProvider, 8, 5000000);
  EXPECT_EQ(read(kNProvider, 8), (1 << 20) / 64);
  EXPECT_EQ(provider->add_row(), -1);
  write(kNProvider, 8, 2);
  EXPECT_EQ(provider->add_row(), 2);
}

TEST_F(MediaUnits, DatabaseProviderReadsThroughTheRegisteredReader) {
  auto* provider = dynamic_cast<units::DataProvider*>(unit(kDBProvider));
  ASSERT_TRUE(provider);
  units::TableReader before = units::table_reader();
  units::set_table_reader([](const std::string& file, int mode, const std::string&, units::TableRows& out) {
    if (file != "客户.db") return false;
    out.columns = {"编号", "名称"};
    out.rows = {{"1", "甲"}, {"2", "乙"}};
    return mode >= 0;
  });
  write_text(kDBProvider, 8, "客户.db");
  EXPECT_EQ(provider->rows(), 2);
  EXPECT_EQ(provider->column_name(1), "名称");
  std::string v;
  EXPECT_TRUE(provider->cell(1, 1, v));
  EXPECT_EQ(v, "乙");
  write(kDBProvider, 9, 1);  // read only
  EXPECT_FALSE(provider->set_cell(0, 0, "x"));
  write_text(kDBProvider, 8, "missing.db");
  EXPECT_EQ(provider->rows(), 0);
  units::set_table_reader(before);
}

// The reader and writer the core library installs: a database of the engine, written here,
// read back as rows of texts (deleted records left out), edited through the provider and read
// again; a wrong file gives an empty table.
TEST_F(MediaUnits, DatabaseProviderReadsAnEngineDatabase) {
  corelib::install();
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  std::string file = std::string(dir) + "媒体提供者测试.vdb";
  DeleteFileA(file.c_str());
  ASSERT_EQ(database::create_database(file, {{"名称", database::kText, 20},
                                             {"数量", database::kInt, 0},
                                             {"价格", database::kDouble, 0}}), 0);
  {
    database::OpenOptions o;
    o.file = file;
    database::Database* db = nullptr;
    ASSERT_GE(database::open_database(o, &db), 0);
    ASSERT_TRUE(db);
    using V = database::Value;
    for (auto [name, n, price] : {std::tuple{"苹果", 3, 2.5}, {"梨", 7, 1.25}, {"桃", 1, 9.0}})
      ASSERT_GE(db->append_values({V::of_bytes(database::kText, name), V::of_int(database::kInt, n),
                                   V::of_number(database::kDouble, price)}), 0);
    db->go_to(1);
    db->set_deleted(true);
    database::close_database(db);
  }
  auto* provider = dynamic_cast<units::DataProvider*>(unit(kDBProvider));
  ASSERT_TRUE(provider);
  write(kDBProvider, 9, 1);
  write_text(kDBProvider, 8, file);
  ASSERT_EQ(provider->rows(), 2) << "the deleted record is left out";
  EXPECT_EQ(provider->columns(), 3);
  EXPECT_EQ(provider->column_name(0), "名称");
  std::string v;
  EXPECT_TRUE(provider->cell(1, 0, v));
  EXPECT_EQ(v, "桃");
  EXPECT_TRUE(provider->cell(0, 1, v));
  EXPECT_EQ(v, "3");
  EXPECT_TRUE(provider->cell(0, 2, v));
  EXPECT_EQ(v, "2.5");
  EXPECT_EQ(database::current_database(), nullptr) << "the provider's open is closed again";
  EXPECT_FALSE(provider->set_cell(0, 1, "8")) << "open mode 1 is read-only";
  // Read-write: changes go to the database first.
  write(kDBProvider, 9, 0);
  EXPECT_TRUE(provider->set_cell(1, 1, "8"));
  EXPECT_TRUE(provider->set_cell(1, 2, "0.5"));
  EXPECT_FALSE(provider->set_cell(1, 1, "八")) << "not a number";
  EXPECT_EQ(provider->add_row(), 2);
  EXPECT_TRUE(provider->set_cell(2, 0, "李"));
  EXPECT_TRUE(provider->remove_row(0));
  write_text(kDBProvider, 8, "");  // read again from the file
  write_text(kDBProvider, 8, file);
  ASSERT_EQ(provider->rows(), 2) << "苹果 deleted, 李 added";
  EXPECT_TRUE(provider->cell(0, 0, v));
  EXPECT_EQ(v, "桃");
  EXPECT_TRUE(provider->cell(0, 1, v));
  EXPECT_EQ(v, "8");
  EXPECT_TRUE(provider->cell(0, 2, v));
  EXPECT_EQ(v, "0.5");
  EXPECT_TRUE(provider->cell(1, 0, v));
  EXPECT_EQ(v, "李");
  // The program's own open of the file is used (a second open is refused by the engine):
  // its current record and the current database stay as they were.
  {
    database::OpenOptions o;
    o.file = file;
    database::Database* db = nullptr;
    ASSERT_GE(database::open_database(o, &db), 0);
    db->go_to(2);
    write_text(kDBProvider, 8, "");
    write_text(kDBProvider, 8, file);
    EXPECT_EQ(provider->rows(), 2);
    EXPECT_TRUE(provider->set_cell(1, 1, "9"));
    EXPECT_EQ(db->current(), 2);
    EXPECT_EQ(database::current_database(), db);
    database::Value value;
    db->go_to(3);
    ASSERT_GE(db->read_field(1, value), 0);
    EXPECT_EQ(value.integer, 9);
    database::close_database(db);
  }
  write_text(kDBProvider, 8, std::string(dir) + "没有这个.vdb");
  EXPECT_EQ(provider->rows(), 0);
  DeleteFileA(file.c_str());
}

// A unit created from empty data saves its defaults; the image linker writes the same bytes
// for a unit whose description names no field (media_unit_defaults.txt, written at build time).
TEST_F(MediaUnits, LinkerDefaultsEqualSavedDefaults) {
  std::ifstream in(kit::bin_dir() + "media_unit_defaults.txt");
  ASSERT_TRUE(in) << "media_unit_defaults.txt is written by the build next to the tests";
  HWND parent = units::live_window(*window_)->handle();
  units::hold_events();
  int compared = 0;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string type_text, word, linked;
    words >> type_text;
    while (words >> word)
      for (size_t i = 0; i + 1 < word.size(); i += 2)
        linked += static_cast<char>(std::stoi(word.substr(i, 2), nullptr, 16));
    SCOPED_TRACE(type_text);
    const units::UnitTypeEntry* e = units::core_type_entry(std::stoul(type_text, nullptr, 16) & 0xFFFF);
    auto create = reinterpret_cast<units::CreateOp>(e->iface(units::kCreate));
    auto get_all = reinterpret_cast<units::GetAllOp>(e->iface(units::kGetAllData));
    void* u = create(nullptr, 0, 0, parent, 900, nullptr, 0, 0, 50, 20, kWindow, 0x16018100, 0, 0);
    ASSERT_TRUE(u);
    uint32_t length = 0;
    void* saved = get_all(u, &length);
    EXPECT_EQ(std::string(static_cast<char*>(saved), length), linked);
    runtime::free_block(saved);
    DestroyWindow(static_cast<framework::Window*>(u)->handle());
    ++compared;
  }
  units::release_events();
  EXPECT_EQ(compared, 11);
}

// The window's background picture and a button's picture take the same decoder: a PNG works
// where a BMP did.
TEST_F(MediaUnits, WindowAndButtonPicturesTakeTheOneDecoder) {
  HWND window = units::live_window(*window_)->handle();
  write(kOwn, 12, 0);  // picture mode: top left
  write_bytes(kOwn, 11, fixture("two.png"));
  EXPECT_EQ(screen_pixel(window, 2, 2), RGB(255, 0, 0));
  EXPECT_EQ(screen_pixel(window, 20, 2), RGB(0, 0, 255));
  write_bytes(kOwn, 11, fixture("two.jpg"));
  EXPECT_EQ(screen_pixel(window, 2, 2) & 0xF0F0F0, RGB(240, 0, 0));
  // A transparent picture shows the window's own background colour through it.
  write(kOwn, 10, 0x123456);
  write_bytes(kOwn, 11, fixture("alpha.png"));
  EXPECT_EQ(screen_pixel(window, 1, 4), RGB(0, 255, 0));
  EXPECT_EQ(screen_pixel(window, 6, 4), 0x123456u);
  write(kOwn, 10, 0xFF000000);
  write_bytes(kOwn, 11, "no picture at all");  // nothing drawn, nothing broken
  EXPECT_EQ(screen_pixel(window, 2, 2), GetSysColor(COLOR_BTNFACE));

  Entry button;
  button.id = 0x1601800F;
  button.type = 0x1000B;
  button.name = "按钮1";
  button.left = button.top = 300;
  button.width = 60;
  button.height = 40;
  button.flags = 1 | 4;
  DestroyWindow(window);
  window_->entries.push_back(button);
  ASSERT_TRUE(units::load_window(*window_, false, nullptr));
  write_bytes(0x1601800F, 8, fixture("two.gif"));
  HWND b = handle(0x1601800F);
  EXPECT_TRUE(GetWindowLongA(b, GWL_STYLE) & BS_BITMAP);
  auto image = reinterpret_cast<HBITMAP>(SendMessageA(b, BM_GETIMAGE, IMAGE_BITMAP, 0));
  ASSERT_TRUE(image);
  BITMAP bm{};
  GetObject(image, sizeof bm, &bm);
  EXPECT_EQ(bm.bmWidth, 28);
  EXPECT_EQ(bm.bmHeight, 14);
}

// Writes out of range are clamped as each unit documents.
TEST_F(MediaUnits, OutOfRangeWritesAreClamped) {
  struct Case { uint32_t unit; int prop; int32_t written, expected; };
  const Case cases[] = {
      {kShapeBox, 9, 40, 9},          // shape 0..9
      {kShapeBox, 12, -5, 0},         // line width
      {kDrawPanel, 13, 99, 15},       // draw mode 0..15
      {kDrawPanel, 15, 8, 7},         // fill style 0..7
      {kGrid, 11, -3, 0},             // column width
      {kPrinter, 19, 0, 1},           // copies
      {kPrinter, 21, -10, 0},         // left margin
      {kPrinter, 9, 9, 6},            // paper 0..6
      {kCommonDlg, 8, 7, 4},          // dialog kind 0..4
      {kNProvider, 9, -1, 0},         // columns
      {kDBProvider, 9, 5, 2},         // open mode 0..2
      {kPicBox, 11, 9, 4},            // picture mode 0..4
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.unit & 0xFF) + " property " + std::to_string(c.prop));
    write(c.unit, c.prop, static_cast<uint32_t>(c.written));
    EXPECT_EQ(static_cast<int32_t>(read(c.unit, c.prop)), c.expected);
  }
}

namespace {

BOOL CALLBACK note_class(HWND h, LPARAM lp) {
  char cls[64] = {};
  GetClassNameA(h, cls, sizeof cls);
  reinterpret_cast<std::vector<std::string>*>(lp)->push_back(cls);
  return TRUE;
}

}  // namespace

// A linked program with one unit of each of these types: its window loads with no dialog,
// each unit a window of its class, the grid showing its provider's rows; kept as a screenshot.
TEST(MediaUnitWindow, LinkedWindowShowsEveryUnitAndIsKept) {
  kit::Process program(kit::bin_dir() + "media_prog.exe");
  kit::DialogWatcher dialogs(program.pid());
  HWND w = kit::drive::find_window(program.pid(), "媒体单元测试窗口", "", 15000);
  ASSERT_TRUE(w);
  std::vector<std::string> classes;
  EnumChildWindows(w, &note_class, reinterpret_cast<LPARAM>(&classes));
  for (const char* cls : {"OrvelPicBox", "OrvelShapeBox", "OrvelDrawPanel", "SysAnimate32",
                          "OrvelCommonDialog", "OrvelPrinter", "OrvelProvider", "OrvelDataSource",
                          "OrvelGrid", "SysListView32", "OrvelDbProvider", "OrvelPicBtn"})
    EXPECT_EQ(std::count(classes.begin(), classes.end(), std::string(cls)), 1) << cls;
  HWND list = FindWindowExA(FindWindowExA(w, nullptr, "OrvelGrid", nullptr), nullptr, WC_LISTVIEWA, nullptr);
  EXPECT_EQ(kit::drive::send(list, LVM_GETITEMCOUNT), 3) << "the provider's three rows";
  EXPECT_FALSE(IsWindowVisible(FindWindowExA(w, nullptr, "OrvelPrinter", nullptr)));
  SetForegroundWindow(w);
  RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Sleep(500);
  kit::Shot shot = kit::screenshot();
  EXPECT_TRUE(shot.save_png(kit::bin_dir() + "units_media_linked.png"));
  // The picture box's picture, linked from a PNG file and stretched over the box.
  RECT box;
  GetWindowRect(FindWindowExA(w, nullptr, "OrvelPicBox", nullptr), &box);
  ASSERT_GT(shot.width, box.right);
  EXPECT_EQ(shot.at(box.left + 8, box.top + 8), 0xFF0000u);
  EXPECT_EQ(shot.at(box.right - 8, box.bottom - 8), 0x0000FFu);
  EXPECT_TRUE(dialogs.seen().empty()) << dialogs.seen()[0].text;
  kit::drive::post(w, WM_CLOSE);
  DWORD code = 1;
  EXPECT_TRUE(program.wait(10000, &code));
  EXPECT_EQ(code, 0u);
}
