// Program control commands called in this process: colour values, delay, arrays sorted and
// cleared in place, memory by address, the message box and the input box (answered by a
// watcher thread), and the debug commands and run-time errors in the probe, with and without
// the test debugger.
#include <windows.h>
#include <gtest/gtest.h>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>
#include "call.h"
#include "runtime/args.h"
#include "runtime/heap.h"
#include "../kit/kit.h"

using namespace calls;
using namespace runtime;

namespace {

enum Slot {
  kSortArray = 63, kInputBox = 191, kMessageBox = 192, kColour = 206, kDelay = 415,
  kClearArray = 561, kBusyCursor = 413, kRestoreCursor = 414, kTextAt = 579, kBytesAt = 580, kWriteTo = 581, kPlaySound = 195,
};

// A heap array block of `n` elements of type T, as compiled code keeps in an array variable.
template <class T>
void* array_block(const std::vector<T>& values, std::vector<uint32_t> dims = {}) {
  if (dims.empty()) dims = {static_cast<uint32_t>(values.size())};
  size_t head = 4 + 4 * dims.size();
  auto* block = static_cast<uint8_t*>(runtime::allocate(static_cast<uint32_t>(head + sizeof(T) * values.size())));
  uint32_t d = static_cast<uint32_t>(dims.size());
  memcpy(block, &d, 4);
  memcpy(block + 4, dims.data(), 4 * dims.size());
  memcpy(block + head, values.data(), sizeof(T) * values.size());
  return block;
}

template <class T>
std::vector<T> elements(void* block) {
  auto* words = static_cast<uint32_t*>(block);
  size_t n = 1;
  for (uint32_t d = 0; d < words[0]; ++d) n *= words[1 + d];
  const T* first = reinterpret_cast<const T*>(words + 1 + words[0]);
  return std::vector<T>(first, first + n);
}

ArgRecord variable(void** slot, uint32_t type) {
  return {static_cast<uint32_t>(reinterpret_cast<uintptr_t>(slot)), 0, runtime::variable_type(type)};
}

uint32_t addr(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

std::string file_content(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(ProgramControl, ColourValueMasksOnlyGreen) {
  struct Case { int r, g, b; int32_t want; } cases[] = {
      {0x12, 0x34, 0x56, 0x563412},
      {255, 255, 255, 0xFFFFFF},
      {0, 0x1FF, 0, 0xFF00},               // green is masked
      {0x100, 0, 0, 0x100},                // red is not: it runs into green's byte
      {0, 0, 0x1FF, int32_t(0x1FF0000)},   // nor blue
      {-1, 0, 0, -1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(int32_t(call(kColour, {Int(c.r), Int(c.g), Int(c.b)}).lo), c.want) << c.r << "," << c.g << "," << c.b;
}

TEST(ProgramControl, DelayAndTheBusyCursor) {
  call(kDelay, {Int(-5)});  // as unsigned this would wait for weeks
  DWORD before = GetTickCount();
  call(kDelay, {Int(120)});
  EXPECT_GE(GetTickCount() - before, 100u);

  // Set twice, the cursor from before the first is the one restored.
  HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW), wait = LoadCursorA(nullptr, IDC_WAIT);
  SetCursor(arrow);
  call(kBusyCursor, {});
  EXPECT_EQ(GetCursor(), wait);
  call(kBusyCursor, {});
  call(kRestoreCursor, {});
  EXPECT_EQ(GetCursor(), arrow);
  SetCursor(nullptr);
  call(kRestoreCursor, {});  // nothing remembered: nothing set
  EXPECT_EQ(GetCursor(), nullptr);
}

TEST(ProgramControl, SortArrayInPlaceByElementType) {
  void* ints = array_block<int32_t>({3, 1, 2});
  call(kSortArray, {variable(&ints, kTypeInt | kArrayBit), Bool(false)});
  EXPECT_EQ(elements<int32_t>(ints), (std::vector<int32_t>{3, 2, 1}));
  call(kSortArray, {variable(&ints, kTypeInt | kArrayBit)});  // ascending by default
  EXPECT_EQ(elements<int32_t>(ints), (std::vector<int32_t>{1, 2, 3}));

  // All elements of a two-dimensional array as one sequence, negative numbers signed.
  void* grid = array_block<double>({2.5, -1, 7, 0.25, -3, 4}, {2, 3});
  call(kSortArray, {variable(&grid, kTypeDouble | kArrayBit), Bool(true)});
  EXPECT_EQ(elements<double>(grid), (std::vector<double>{-3, -1, 0.25, 2.5, 4, 7}));

  void* shorts = array_block<int16_t>({-2, 300, 5});
  call(kSortArray, {variable(&shorts, kTypeShort | kArrayBit)});
  EXPECT_EQ(elements<int16_t>(shorts), (std::vector<int16_t>{-2, 5, 300}));
  void* longs = array_block<int64_t>({1LL << 40, -(1LL << 40), 0});
  call(kSortArray, {variable(&longs, kTypeLong | kArrayBit), Bool(false)});
  EXPECT_EQ(elements<int64_t>(longs), (std::vector<int64_t>{1LL << 40, 0, -(1LL << 40)}));

  // A text array is left alone, and so is an array passed as a value (it is only lent).
  const char* b = "b";
  const char* a = "a";
  void* texts = array_block<const char*>({b, a});
  call(kSortArray, {variable(&texts, kTypeText | kArrayBit)});
  EXPECT_EQ(elements<const char*>(texts), (std::vector<const char*>{b, a}));
  void* lent = array_block<int32_t>({2, 1});
  call(kSortArray, {ArgRecord{addr(lent), 0, kTypeInt | kArrayBit}});
  EXPECT_EQ(elements<int32_t>(lent), (std::vector<int32_t>{2, 1}));
  for (void* p : {ints, grid, shorts, longs, texts, lent}) runtime::free_block(p);
}

TEST(ProgramControl, ClearArrayZeroesNumericArraysOnly) {
  void* floats = array_block<float>({1.5f, -2, 3}, {1, 3});
  call(kClearArray, {variable(&floats, kTypeFloat | kArrayBit)});
  EXPECT_EQ(elements<float>(floats), (std::vector<float>{0, 0, 0}));
  const char* t = "x";
  void* texts = array_block<const char*>({t});
  call(kClearArray, {variable(&texts, kTypeText | kArrayBit)});
  EXPECT_EQ(elements<const char*>(texts)[0], t);
  runtime::free_block(floats);
  runtime::free_block(texts);
}

TEST(ProgramControl, MemoryByAddress) {
  char buffer[16] = "中文ab";
  EXPECT_EQ(take_text(call(kTextAt, {Int(int32_t(addr(buffer)))})), "中文ab");
  EXPECT_EQ(take_bin(call(kBytesAt, {Int(int32_t(addr(buffer))), Int(3)})), std::string("中\xCE", 3));

  // A text is written with its zero byte; a maximum length cuts the copy.
  memset(buffer, 'x', sizeof buffer);
  call(kWriteTo, {Text("hi"), Int(int32_t(addr(buffer)))});
  EXPECT_EQ(std::string(buffer, 4), std::string("hi\0x", 4));
  memset(buffer, 'x', sizeof buffer);
  call(kWriteTo, {Text("hello"), Int(int32_t(addr(buffer))), Int(2)});
  EXPECT_EQ(std::string(buffer, 4), "hexx");
  call(kWriteTo, {Int(0x44434241), Int(int32_t(addr(buffer)))});
  EXPECT_EQ(std::string(buffer, 5), "ABCDx");
  call(kWriteTo, {Bin("\x01\x02"), Int(int32_t(addr(buffer + 8)))});
  EXPECT_EQ(std::string(buffer + 8, 3), "\x01\x02x");
  call(kWriteTo, {Array(kTypeByte, 3, "XYZ"), Int(int32_t(addr(buffer)))});
  EXPECT_EQ(std::string(buffer, 4), "XYZD");
  // Arrays of other types are ignored; a maximum length above the byte count does not cut.
  call(kWriteTo, {Array(kTypeInt, 1, std::string("\x31\x32\x33\x34", 4)), Int(int32_t(addr(buffer)))});
  EXPECT_EQ(std::string(buffer, 4), "XYZD");
  call(kWriteTo, {Text("q"), Int(int32_t(addr(buffer))), Int(50)});
  EXPECT_EQ(std::string(buffer, 3), std::string("q\0Z", 3));

  // Addresses that cannot be read or written give nothing instead of an access fault.
  EXPECT_EQ(take_text(call(kTextAt, {Int(0)})), std::nullopt);
  EXPECT_EQ(take_bin(call(kBytesAt, {Int(16), Int(4)})), std::nullopt);
  call(kWriteTo, {Text("boom"), Int(0)});
  const char* constant = "read only";
  call(kWriteTo, {Text("X"), Int(int32_t(addr(constant)))});
  EXPECT_STREQ(constant, "read only");
}

// The message box is answered from another thread; its caption and text are read there.
TEST(ProgramControl, MessageBoxCaptionStyleAndAnswers) {
  struct Case {
    ArgRecord value;
    int style;
    std::optional<std::string> caption;
    int button;
    std::string want_caption, want_text;
    int32_t want;
  } cases[] = {
      {Int(42), 0, std::nullopt, IDOK, "信息：", "42", 0},
      {Text("继续吗？"), MB_YESNO, std::string("问题"), IDNO, "问题", "继续吗？", 6},
      {Bool(true), MB_YESNOCANCEL, std::nullopt, IDYES, "信息：", "真", 5},
      {Bin("xyz"), MB_RETRYCANCEL, std::nullopt, IDCANCEL, "信息：", "", 1},
  };
  for (auto& c : cases) {
    kit::DialogWatcher watcher(GetCurrentProcessId(), c.button);
    std::vector<ArgRecord> a = {c.value, Int(c.style)};
    if (c.caption) a.push_back(Text(*c.caption));
    int32_t answer = int32_t(call(kMessageBox, a).lo);
    ASSERT_TRUE(watcher.wait_for(1, 100));
    auto seen = watcher.seen();
    EXPECT_EQ(answer, c.want) << c.want_caption;
    EXPECT_EQ(seen[0].caption, c.want_caption);
    EXPECT_EQ(seen[0].text, c.want_text);
  }
}

namespace {

// Answers the next input box of this process: types `text` (as keystrokes when `typed`, so
// that the edit field's filter sees them) and presses `button`.
std::thread answer_input_box(const std::string& title, const std::string& text, int button,
                             bool typed = false, std::string* prompt_seen = nullptr) {
  return std::thread([=] {
    HWND dialog = kit::drive::find_window(GetCurrentProcessId(), title, "#32770");
    if (!dialog) return;
    HWND edit = GetDlgItem(dialog, 100);
    if (prompt_seen) *prompt_seen = kit::drive::text(GetDlgItem(dialog, 101));
    if (typed) {
      kit::drive::set_text(edit, "");
      for (char ch : text) kit::drive::send(edit, WM_CHAR, static_cast<unsigned char>(ch));
    } else {
      kit::drive::set_text(edit, text);
    }
    kit::drive::post(dialog, WM_COMMAND, button);
  });
}

}  // namespace

TEST(ProgramControl, InputBoxStoresByTheVariablesType) {
  // Text: the old text is freed and replaced.
  char* text = runtime::new_text("旧");
  std::string prompt;
  std::thread t = answer_input_box("输入", "新内容", IDOK, false, &prompt);
  EXPECT_EQ(call(kInputBox, {Text("请输入名字"), Text("输入"), Text("初始"),
                             variable(reinterpret_cast<void**>(&text), kTypeText)}).lo, 1u);
  t.join();
  EXPECT_STREQ(text, "新内容");
  EXPECT_EQ(prompt, "请输入名字");
  runtime::free_block(text);

  struct Case { uint32_t type; std::string entered; uint64_t want_bits; size_t size; } cases[] = {
      {kTypeByte, "300", 44, 1},                       // cut to width
      {kTypeShort, "-7x", uint16_t(-7), 2},
      {kTypeInt, " 123456", 123456, 4},
      {kTypeLong, "-9000000000", uint64_t(-9000000000LL), 8},
  };
  for (const auto& c : cases) {
    uint64_t v = 0x5555555555555555ull;
    uint64_t want = (v & ~((c.size == 8 ? 0 : (1ull << (8 * c.size))) - 1)) | c.want_bits;
    if (c.size == 8) want = c.want_bits;
    std::thread th = answer_input_box("请输入：", c.entered, IDOK);
    EXPECT_EQ(call(kInputBox, {Omit(), Omit(), Omit(), variable(reinterpret_cast<void**>(&v), c.type)}).lo, 1u);
    th.join();
    EXPECT_EQ(v, want) << c.entered;
  }
  double d = 0;
  std::thread td = answer_input_box("请输入：", "2.5e3", IDOK);
  call(kInputBox, {Omit(), Omit(), Omit(), variable(reinterpret_cast<void**>(&d), kTypeDouble)});
  td.join();
  EXPECT_EQ(d, 2500.0);
  float f = 0;
  std::thread tf = answer_input_box("请输入：", "-0.5", IDOK);
  call(kInputBox, {Omit(), Omit(), Omit(), variable(reinterpret_cast<void**>(&f), kTypeFloat)});
  tf.join();
  EXPECT_EQ(f, -0.5f);

  // Cancelled: false, the variable unchanged.
  int32_t kept = 9;
  std::thread tc = answer_input_box("请输入：", "77", IDCANCEL);
  EXPECT_EQ(call(kInputBox, {Omit(), Omit(), Omit(), variable(reinterpret_cast<void**>(&kept), kTypeInt)}).lo, 0u);
  tc.join();
  EXPECT_EQ(kept, 9);
}

TEST(ProgramControl, InputBoxNumberModesFilterTypedCharacters) {
  struct Case { int mode; std::string typed, want; } cases[] = {
      {2, "-1a2.5", "-125"},      // integer: digits and a leading minus
      {3, "1.2.3-x4", "1.234"},   // decimal: one point
      {1, "a-1.b", "a-1.b"},      // any text
      {9, "p-", "p-"},            // clamped to 4, a password: any characters
  };
  for (const auto& c : cases) {
    char* text = nullptr;
    std::thread t = answer_input_box("模式", c.typed, IDOK, true);
    call(kInputBox, {Omit(), Text("模式"), Omit(), variable(reinterpret_cast<void**>(&text), kTypeText), Int(c.mode)});
    t.join();
    EXPECT_STREQ(text ? text : "", c.want.c_str()) << "mode " << c.mode;
    runtime::free_block(text);
  }
}

TEST(ProgramControl, PlaySoundHandsOnlyDataOver) {
  // Nothing to play: refused before the runtime is asked.
  EXPECT_EQ(call(kPlaySound, {Text("C:\\no such folder\\none.wav")}).lo, 0u);
  EXPECT_EQ(call(kPlaySound, {Bin("")}).lo, 0u);
}

// The probe runs the debug commands; the test debugger reads their texts and breakpoints.
TEST(ProgramControl, DebugOutputPauseAndCheckUnderADebugger) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  std::string report = std::string(dir) + "program_debug_report.txt";
  DeleteFileA(report.c_str());
  kit::Process p(kit::bin_dir() + "testdbg.exe",
                 "\"" + report + "\" \"" + kit::bin_dir() + "corelib_probe.exe\" debug");
  ASSERT_TRUE(p.started());
  DWORD code = kit::kStillRunning;
  ASSERT_TRUE(p.wait(20000, &code));
  EXPECT_EQ(code, 3u) << "the program runs on past the breakpoints";
  EXPECT_EQ(file_content(report),
            "breakpoints 2\n"
            "debug * 42\n"
            "debug * 文字\n"
            "debug * 真\n"
            "debug * \n"
            "debug * 1.5\n"
            "debug * 程序执行被“暂停”命令所中断 *\n"
            "debug * 执行“检查”命令时不能满足检查条件 *\n");
}

TEST(ProgramControl, PauseAndCheckWithoutADebuggerRunOn) {
  EXPECT_EQ(kit::run(kit::bin_dir() + "corelib_probe.exe", "debug"), 3u);
}

TEST(ProgramControl, UnsupportedCommandsAndEventSourceOutsideAHandlerRaise) {
  struct Case { const char* mode; std::string message; } cases[] = {
      {"reference", "“参考”命令已不再支持"},
      {"routine-address", "“取子程序地址”命令不被支持"},
      {"event-source", "“取事件组件”命令只能在事件处理子程序中使用"},
      {"find-by-tag", "未找到指定标记的组件"},
  };
  for (const auto& c : cases) {
    kit::Ending e = kit::run_to_end(kit::bin_dir() + "corelib_probe.exe", c.mode, 1);
    EXPECT_EQ(e.exit_code, static_cast<DWORD>(-1)) << c.mode;
    ASSERT_FALSE(e.dialogs.empty()) << c.mode;
    EXPECT_NE(e.dialogs[0].text.find(c.message), std::string::npos) << c.mode << ": " << e.dialogs[0].text;
  }
}
