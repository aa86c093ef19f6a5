// Image preparation of linked test images, checked in memory: section bases and relocation
// items, variables and zero-extended sections, constant ranges, DLL command tables, the
// library list, window templates, renumbering of a second image, and the carrying executable.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstring>
#include <string>
#include <vector>
#include "image/carrier.h"
#include "abi/format/form_format.h"
#include "abi/format/image_format.h"
#include "image/prepare.h"
#include "runtime/runtime.h"
#include "image/working_copy.h"
#include "image_files.h"
#include "kit.h"
#include "runtime/errors.h"
#include "runtime/heap.h"

namespace fmt = image::format;
using testimg::word;

namespace {

// ---- what preparation calls, recorded ----
int g_setups = 0;
struct LoaderCall { std::string entry; uint32_t number; bool on_demand; };
std::vector<LoaderCall> g_loader_calls;
bool g_refuse_libraries = false;
struct RewriteCall { uint32_t unit; size_t pairs; };
std::vector<RewriteCall> g_rewrites;
struct PropertyWrite { uint32_t window, unit; int32_t prop, index; std::string text; };
std::vector<PropertyWrite> g_writes;

extern "C" void* g_dll_targets[4] asm("g_dll_targets");
void* g_dll_targets[4];

// Service slot 1 as the runtime offers it: EAX = DLL command index, jump to the function
// with the caller's stack untouched.
extern "C" void test_call_dll() asm("test_call_dll");
asm(R"(
    .text
test_call_dll:
    jmp   *g_dll_targets(,%eax,4)
)");

void __cdecl test_write_property(uint32_t window, uint32_t unit, int32_t prop, int32_t index, uint32_t lo, uint32_t) {
  g_writes.push_back({window, unit, prop, index, reinterpret_cast<const char*>(static_cast<uintptr_t>(lo))});
}
void __cdecl test_unused() {}

const void* const* test_service_table() {
  static const void* table[fmt::kServiceSlots];
  for (auto& slot : table) slot = reinterpret_cast<const void*>(&test_unused);
  table[1] = reinterpret_cast<const void*>(&test_call_dll);
  table[5] = reinterpret_cast<const void*>(&test_write_property);
  return table;
}

void test_setup() { ++g_setups; }
// The loader marks the first library of the list as loaded (descriptor and command table
// set) and leaves the others recorded, as the runtime's loader does with its core library.
runtime::CommandRoutine g_fake_commands[1];
bool test_loader(const char* entry, uint32_t number, bool on_demand) {
  g_loader_calls.push_back({entry, number, on_demand});
  if (g_loader_calls.size() == 1) {
    runtime::rt().libraries.at(number).descriptor = reinterpret_cast<corelib::LibDescriptor*>(&g_fake_commands);
    runtime::rt().libraries.at(number).commands = g_fake_commands;
  } else {
    runtime::rt().libraries.at(number).pending = entry;
  }
  return !g_refuse_libraries;
}
void test_rewriter(units::WindowTemplate&, units::Entry& e, const units::IdPairs& pairs) {
  g_rewrites.push_back({e.id, pairs.size()});
}

const image::PrepareEnv kEnv{&test_setup, &test_loader, test_service_table(), &test_rewriter};

// Every test starts from a process that has prepared no image.
class Preparation : public ::testing::Test {
 protected:
  void SetUp() override {
    runtime::Runtime& r = runtime::rt();
    r.images_loaded = r.instance_counter = 0;
    r.run_mode = r.flags = r.serial_counter = 0;
    r.const_ranges.clear();
    r.instances.clear();
    for (void* b : r.blocks) runtime::free_block(b);
    r.blocks.clear();
    r.libraries.clear();
    r.command_tables.clear();
    r.dll_commands.clear();
    for (auto* t : r.templates) delete t;
    r.templates.clear();
    g_setups = 0;
    g_loader_calls.clear();
    g_refuse_libraries = false;
    g_rewrites.clear();
    g_writes.clear();
  }

  // Loads and prepares a test image; `patch` may change the stored image first.
  template <class Patch>
  void* prepare(const char* name, testimg::Loaded* out, Patch patch) {
    testimg::Loaded l = testimg::load(name);
    EXPECT_NE(l.carrier.working_place, nullptr) << name;
    if (!l.carrier.working_place) return nullptr;
    patch(l);
    uint8_t* w = image::make_working_copy(l.carrier);
    EXPECT_EQ(w, l.carrier.working_place);
    *out = l;
    return image::prepare_image(w, kEnv);
  }
  void* prepare(const char* name, testimg::Loaded* out) {
    return prepare(name, out, [](testimg::Loaded&) {});
  }

  const image::PreparedImage& last() { return image::prepared_images().back(); }
  template <class R = uint32_t>
  R call(void* routine) { return reinterpret_cast<R (*)()>(routine)(); }
  void* code(uint32_t offset) { return reinterpret_cast<void*>(static_cast<uintptr_t>(last().bases[fmt::kBaseCode] + offset)); }
  const units::Entry* entry(uint32_t id) {
    for (auto* t : runtime::rt().templates)
      for (const units::Entry& e : t->entries)
        if (e.id == id) return &e;
    return nullptr;
  }
};

// The address of the routine that a template binding names.
void* handler(const units::Entry* e, int32_t event) {
  for (const units::Binding& b : e->bindings)
    if (b.event == event) return reinterpret_cast<void*>(static_cast<uintptr_t>(b.handler));
  return nullptr;
}

uint32_t routine_result(void* routine) { return reinterpret_cast<uint32_t (*)()>(routine)(); }

}  // namespace

TEST_F(Preparation, TallyRunsWithEveryBaseRelocated) {
  testimg::Loaded l;
  void* start = prepare("tally", &l);
  ASSERT_NE(start, nullptr);
  const image::PreparedImage& img = last();
  runtime::Runtime& r = runtime::rt();

  // The start-up routine: cld; fninit.
  EXPECT_EQ(std::memcmp(start, "\xFC\xDB\xE3", 3), 0);
  // help holds the service table (base 0).
  EXPECT_EQ(std::memcmp(reinterpret_cast<void*>(static_cast<uintptr_t>(img.bases[fmt::kBaseHelp])),
                        test_service_table(), fmt::kServiceTableSize), 0);
  // const is a constant range holding the caption format (base 1).
  ASSERT_EQ(r.const_ranges.size(), 1u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(r.const_ranges[0].begin), img.bases[fmt::kBaseConst]);
  EXPECT_STREQ(reinterpret_cast<const char*>(r.const_ranges[0].begin), "已点击 %d 次");
  EXPECT_EQ(r.instances, std::vector<int>{1});
  // var is one zero-filled block of the runtime (base 2): count + caption buffer.
  ASSERT_EQ(r.blocks.size(), 1u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(r.blocks[0]), img.bases[fmt::kBaseVar]);
  EXPECT_EQ(HeapSize(GetProcessHeap(), 0, r.blocks[0]), 68u);
  // The DLL command table and the header fields of the first image.
  ASSERT_EQ(r.dll_commands.size(), 1u);
  EXPECT_STREQ(r.dll_commands[0].file, "user32.dll");
  EXPECT_STREQ(r.dll_commands[0].function, "wsprintfA");
  EXPECT_EQ(r.dll_commands[0].address, nullptr);
  // The DLL names close the constant data, and so the constant range.
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(r.dll_commands[0].function) + sizeof "wsprintfA", r.const_ranges[0].end);
  EXPECT_EQ(r.run_mode, 3u);
  EXPECT_EQ(r.serial_counter, 0x10005u);  // the header's counter 0x10004, plus one
  EXPECT_EQ(g_setups, 1);
  EXPECT_TRUE(g_loader_calls.empty());

  // Run the window's and the button's handlers the way events would.
  const units::Entry* window = entry(0x06010000);
  const units::Entry* button = entry(0x16010003);
  ASSERT_TRUE(window && button);
  EXPECT_EQ(handler(window, 0), code(0));  // offset 0 is a real handler
  g_dll_targets[0] = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "wsprintfA"));
  reinterpret_cast<void (*)()>(handler(window, 0))();
  reinterpret_cast<void (*)()>(handler(button, 0))();
  reinterpret_cast<void (*)()>(handler(button, 0))();
  EXPECT_EQ(word(r.blocks[0]), 2u);
  ASSERT_EQ(g_writes.size(), 2u);
  EXPECT_EQ(g_writes[1].window, 0x52010001u);
  EXPECT_EQ(g_writes[1].unit, 0x16010002u);
  EXPECT_EQ(g_writes[1].prop, 8);
  EXPECT_EQ(g_writes[1].index, -1);
  EXPECT_EQ(g_writes[1].text, "已点击 2 次");
}

TEST_F(Preparation, TallyTemplateReadsAsDescribed) {
  testimg::Loaded l;
  ASSERT_NE(prepare("tally", &l), nullptr);
  ASSERT_EQ(runtime::rt().templates.size(), 1u);
  const units::WindowTemplate& w = *runtime::rt().templates[0];
  EXPECT_EQ(w.id, 0x52010001u);
  EXPECT_EQ(w.module, 0x1901000Fu);
  EXPECT_EQ(w.name, "计数器");
  ASSERT_EQ(w.entries.size(), 3u);
  struct Row { uint32_t id, type; const char* name; int32_t left, top, width, height; uint32_t flags; const char* tag; };
  const Row rows[] = {
      {0x06010000, 0x10001, "计数器", 100, 100, 240, 120, fmt::kUnitVisible, ""},
      {0x16010002, 0x1000A, "计数标签", 16, 16, 200, 24, fmt::kUnitVisible, "count"},
      {0x16010003, 0x1000B, "加一按钮", 16, 48, 96, 32, fmt::kUnitVisible | fmt::kUnitTabStop, ""},
  };
  for (size_t i = 0; i < 3; ++i) {
    const units::Entry& e = w.entries[i];
    const Row& row = rows[i];
    EXPECT_EQ(e.id, row.id);
    EXPECT_EQ(e.type, row.type);
    EXPECT_EQ(e.name, row.name);
    EXPECT_EQ(e.left, row.left);
    EXPECT_EQ(e.top, row.top);
    EXPECT_EQ(e.width, row.width);
    EXPECT_EQ(e.height, row.height);
    EXPECT_EQ(e.flags, row.flags);
    EXPECT_EQ(e.tag, row.tag);
    EXPECT_EQ(e.live_object, nullptr);
  }
  EXPECT_EQ(w.entries[1].data, std::string("\x02\0\0\0", 4));
  EXPECT_EQ(w.entries[2].tab_order, 1u);
  // The button's handler begins with "incl count" (FF 05 + the address of count).
  auto* click = static_cast<const uint8_t*>(handler(&w.entries[2], 0));
  ASSERT_NE(click, nullptr);
  EXPECT_EQ(click[0], 0xFF);
  EXPECT_EQ(click[1], 0x05);
  EXPECT_EQ(word(click + 2), last().bases[fmt::kBaseVar]);
}

TEST_F(Preparation, MixedImageFirstInTheProcess) {
  testimg::Loaded l;
  void* start = prepare("mixed", &l);
  ASSERT_NE(start, nullptr);
  runtime::Runtime& r = runtime::rt();
  const image::PreparedImage& img = last();

  // No var: base 2 is 0; the only block is the zero-extended section "grown".
  EXPECT_EQ(img.bases[fmt::kBaseVar], 0u);
  ASSERT_EQ(r.blocks.size(), 1u);
  EXPECT_EQ(std::memcmp(r.blocks[0], "\x01\x02\x03\x04\0\0\0\0\0\0\0\0\0\0\0\0", 16), 0);
  EXPECT_EQ(HeapSize(GetProcessHeap(), 0, r.blocks[0]), 16u);
  // "full" (stored size = memory size) stays in place and keeps its bytes.
  const auto* w = l.carrier.working_place;
  bool full_in_place = false;
  for (uint32_t at = word(w + 0x54); at != fmt::kAbsent; at = word(w + at + 4)) {
    auto* rec = reinterpret_cast<const fmt::SectionRecord*>(w + at);
    auto* data = reinterpret_cast<const uint8_t*>(reinterpret_cast<uintptr_t>(w) + rec->data_offset);
    if (std::strcmp(rec->name, "full") == 0)
      full_in_place = rec->data_offset < l.size && std::memcmp(data, "\x05\x06\x07\x08", 4) == 0;
    if (std::strcmp(rec->name, "grown") == 0) EXPECT_EQ(data, r.blocks[0]);
  }
  EXPECT_TRUE(full_in_place);

  // Constant data: a code address relocated with base 3, reached through base 1.
  auto* numbers = reinterpret_cast<const uint32_t*>(static_cast<uintptr_t>(img.bases[fmt::kBaseConst]));
  EXPECT_EQ(numbers[0], 10u);
  EXPECT_EQ(numbers[3], reinterpret_cast<uintptr_t>(start));
  const units::Entry* first_button = entry(0x16010002);
  ASSERT_NE(first_button, nullptr);
  EXPECT_EQ(routine_result(handler(first_button, 0)), img.bases[fmt::kBaseConst]);

  // DLL commands, including an ordinal name.
  ASSERT_EQ(r.dll_commands.size(), 2u);
  EXPECT_STREQ(r.dll_commands[0].file, "");
  EXPECT_STREQ(r.dll_commands[0].function, "GetTickCount");
  EXPECT_STREQ(r.dll_commands[1].file, "kernel32.dll");
  EXPECT_STREQ(r.dll_commands[1].function, "#12");

  // The library list, descrambled, handed to the loader in order.
  ASSERT_EQ(g_loader_calls.size(), 2u);
  EXPECT_EQ(g_loader_calls[0].entry, "core.lib\rcoresig\r1\r0\r系统核心支持库");
  EXPECT_EQ(g_loader_calls[0].number, 0u);
  EXPECT_FALSE(g_loader_calls[0].on_demand);
  EXPECT_EQ(g_loader_calls[1].entry, "extra.lib\rextrasig\r2\r1\r扩展库");
  EXPECT_EQ(g_loader_calls[1].number, 1u);
  EXPECT_EQ(r.libraries.size(), 2u);
  EXPECT_EQ(r.flags, 1u);
  // The published command tables: one per library, empty for a recorded one.
  EXPECT_EQ(r.command_tables, (std::vector<runtime::CommandRoutine*>{g_fake_commands, nullptr}));

  // First image: the identifier tables change nothing.
  const units::Entry* menu = entry(0x2601000B);
  ASSERT_NE(menu, nullptr);
  EXPECT_TRUE(menu->menu_item);
  EXPECT_EQ(menu->tag, "文件(&F)");
  EXPECT_EQ(routine_result(handler(menu, 0)), 1u);  // tick_command: DLL index 1 as written
  const units::Entry* second_button = entry(0x16010007);
  ASSERT_NE(second_button, nullptr);
  EXPECT_EQ(routine_result(handler(second_button, 0)), 0x16010007u);
  EXPECT_EQ(entry(0x16010009)->event_source, 0x16010099u);
  EXPECT_EQ(entry(0x16010009)->type, 0x20001u);
  EXPECT_EQ(entry(0x06010000)->bindings.size(), 2u);
  EXPECT_EQ(handler(entry(0x06010000), 9), code(0));
  EXPECT_EQ(handler(entry(0x06010000), 3), nullptr);  // -1: no handler
  EXPECT_TRUE(g_rewrites.empty());
}

TEST_F(Preparation, LibraryListIsDescrambledInTheWorkingCopyOnly) {
  testimg::Loaded l = testimg::load("mixed");
  ASSERT_NE(l.carrier.working_place, nullptr);
  const uint8_t* stored = l.carrier.image;
  uint32_t length = word(stored + 0x54), n = word(stored + 0x38), stamp = word(stored);
  std::vector<uint8_t> before(stored, stored + length);
  uint8_t* w = image::make_working_copy(l.carrier);
  ASSERT_NE(w, nullptr);
  for (uint32_t at = 0x58 + 8 * n; at + 4 <= length; at += 4)
    EXPECT_EQ(word(w + at), word(&before[at]) ^ stamp) << at;
  EXPECT_EQ(std::memcmp(w, before.data(), 0x54), 0);
  EXPECT_EQ(std::memcmp(stored + 0x58, &before[0x58], length - 0x58), 0);  // stored list untouched
  EXPECT_EQ(word(stored + 0x54), length + (stored - w));                    // now an offset from W
  EXPECT_STREQ(reinterpret_cast<const char*>(w + 0x58 + 8 * n), "core.lib\rcoresig\r1\r0\r系统核心支持库");
}

TEST_F(Preparation, SecondImageIsRenumberedAndShifted) {
  testimg::Loaded first, second;
  ASSERT_NE(prepare("mixed", &first), nullptr);
  uint32_t counter_after_first = runtime::rt().serial_counter;
  EXPECT_EQ(counter_after_first, 0x1000Du);

  // Table 4 declares more operands than its stored size holds: only the stored ones count.
  void* start = prepare("mixed", &second, [](testimg::Loaded& l) {
    uint32_t rec = testimg::stored_section(l, "@reloc1");
    ASSERT_NE(rec, fmt::kAbsent);
    auto* r = reinterpret_cast<fmt::SectionRecord*>(l.carrier.working_place + rec);
    uint8_t* t = l.carrier.working_place + r->data_offset;
    uint32_t at = 0;
    for (int table = 0; table < 3; ++table) at += 4 + 4 * word(t + at);
    testimg::set_word(t + at, word(t + at) + 5);
  });
  ASSERT_NE(start, nullptr);
  runtime::Runtime& r = runtime::rt();
  EXPECT_EQ(r.images_loaded, 2);
  EXPECT_EQ(g_setups, 1);
  EXPECT_EQ(r.instances, (std::vector<int>{1, 2}));
  EXPECT_EQ(r.const_ranges.size(), 2u);

  // Libraries: the second image's entries become numbers 2 and 3.
  ASSERT_EQ(g_loader_calls.size(), 4u);
  EXPECT_EQ(g_loader_calls[2].number, 2u);
  EXPECT_EQ(g_loader_calls[3].number, 3u);
  EXPECT_EQ(r.libraries.size(), 4u);
  EXPECT_EQ(r.dll_commands.size(), 4u);

  // Templates: the second image's two windows with fresh serials from the counter.
  ASSERT_EQ(r.templates.size(), 4u);
  uint32_t serial = std::max(counter_after_first, 0x1000Cu) + 1;
  std::vector<uint32_t> ids;
  for (size_t i = 2; i < 4; ++i) ids.push_back(r.templates[i]->id);
  EXPECT_EQ(ids[0], 0x52000000u | serial);
  EXPECT_EQ(ids[1], 0x52000000u | (serial + 1));
  const units::WindowTemplate& w2 = *r.templates[3];
  ASSERT_EQ(w2.entries.size(), 5u);
  for (size_t i = 0; i < w2.entries.size(); ++i) EXPECT_EQ(w2.entries[i].id & 0xFF000000, (i == 0 ? 0x06000000u : i == 4 ? 0x26000000u : 0x16000000u));
  uint32_t button_b = w2.entries[1].id, button_c = w2.entries[2].id, browser = w2.entries[3].id;
  EXPECT_NE(button_b, 0x16010007u);
  EXPECT_EQ(w2.entries[0].children, (std::vector<uint32_t>{button_b, 0, button_c}));
  EXPECT_EQ(w2.entries[1].parent, browser);
  EXPECT_EQ(w2.entries[2].event_source, button_b);
  EXPECT_EQ(w2.entries[3].event_source, 0u);       // no pair: none
  EXPECT_EQ(w2.entries[3].type, 0x40001u);         // library type shifted by 2 libraries
  EXPECT_EQ(r.serial_counter, serial + 2 + 2 + 5);  // 2 windows and 7 entries renumbered
  EXPECT_EQ(g_rewrites.size(), 7u);
  EXPECT_EQ(g_rewrites[0].pairs, 9u);

  // Code operands: identifiers, DLL index, library numbers and type codes adjusted.
  EXPECT_EQ(routine_result(handler(&w2.entries[1], 0)), button_b);
  EXPECT_EQ(routine_result(handler(&w2.entries[0], 0)), ids[1]);  // second_window
  EXPECT_EQ(routine_result(handler(&w2.entries[4], 0)), 3u);  // DLL index 1 + 2 before
  uint32_t eax, edx, ecx;
  void* lib_numbers = handler(&w2.entries[2], 1);
  asm volatile("call *%3" : "=a"(eax), "=d"(edx), "=c"(ecx) : "r"(lib_numbers) : "memory");
  EXPECT_EQ(eax, 0u);
  EXPECT_EQ(edx, 3u);
  void* type_codes = handler(&w2.entries[2], 2);
  asm volatile("call *%3" : "=a"(eax), "=d"(edx), "=c"(ecx) : "r"(type_codes) : "memory");
  EXPECT_EQ(eax, 0x00010001u);
  EXPECT_EQ(edx, 0x00040003u);
  EXPECT_EQ(ecx, 0x20050002u);
}

TEST_F(Preparation, BareImageHasNoSectionsButCode) {
  testimg::Loaded l;
  std::vector<uint8_t> stored_header;
  void* start = prepare("bare", &l, [&](testimg::Loaded& x) {
    stored_header.assign(x.carrier.image, x.carrier.image + 0x58);
  });
  ASSERT_NE(start, nullptr);
  runtime::Runtime& r = runtime::rt();
  const image::PreparedImage& img = last();
  EXPECT_EQ(img.bases[fmt::kBaseHelp], 0u);
  EXPECT_EQ(img.bases[fmt::kBaseConst], 0u);
  EXPECT_EQ(img.bases[fmt::kBaseVar], 0u);
  EXPECT_NE(img.bases[fmt::kBaseCode], 0u);
  ASSERT_EQ(r.const_ranges.size(), 1u);  // an empty entry keeps the lists in step
  EXPECT_EQ(r.const_ranges[0].begin, nullptr);
  EXPECT_EQ(r.const_ranges[0].end, nullptr);
  EXPECT_EQ(r.instances.size(), r.const_ranges.size());
  EXPECT_TRUE(r.blocks.empty());
  EXPECT_TRUE(r.templates.empty());
  EXPECT_TRUE(g_loader_calls.empty());
  EXPECT_TRUE(r.command_tables.empty());  // no library loaded: none published
  // The header ends at its DLL tables (L = 0x58): the working copy equals the stored header
  // apart from the converted first-section word.
  EXPECT_EQ(std::memcmp(l.carrier.working_place, stored_header.data(), 0x54), 0);
  EXPECT_EQ(routine_result(start), 42u);
}

TEST_F(Preparation, RefusedLibraryStopsPreparation) {
  g_refuse_libraries = true;
  testimg::Loaded l;
  EXPECT_EQ(prepare("mixed", &l), nullptr);
  EXPECT_EQ(g_loader_calls.size(), 1u);
  EXPECT_TRUE(runtime::rt().templates.empty());
}

// Damaged form data never crashes the reader: it either reads or says no.
TEST(TemplateReader, SurvivesDamagedFormData) {
  testimg::Loaded l = testimg::load("mixed");
  ASSERT_NE(l.carrier.working_place, nullptr);
  uint32_t rec = testimg::stored_section(l, "form");
  ASSERT_NE(rec, fmt::kAbsent);
  auto* r = reinterpret_cast<const fmt::SectionRecord*>(l.carrier.working_place + rec);
  const uint8_t* form = l.carrier.working_place + r->data_offset;
  std::vector<uint8_t> good(form, form + r->stored_size);
  units::Templates whole;
  ASSERT_TRUE(units::read_templates(good.data(), static_cast<uint32_t>(good.size()), whole));
  EXPECT_EQ(whole.size(), 2u);
  uint32_t seed = 12345, refused = 0;
  auto next = [&] { seed = seed * 1103515245 + 12345; return seed >> 8; };
  for (int round = 0; round < 5000; ++round) {
    std::vector<uint8_t> bad = good;
    for (int k = 1 + next() % 4; k > 0; --k) {
      size_t at = next() % bad.size();
      if (next() % 2) bad[at] = static_cast<uint8_t>(next());
      else if (at + 4 <= bad.size()) testimg::set_word(&bad[at], next() % 3 == 0 ? 0xFFFFFFFF : next() % 64);
    }
    if (next() % 8 == 0) bad.resize(next() % bad.size());
    units::Templates out;
    if (!units::read_templates(bad.data(), static_cast<uint32_t>(bad.size()), out)) {
      ++refused;
      EXPECT_TRUE(out.empty());  // a refused section adds no half-read template
    }
  }
  EXPECT_GT(refused, 0u);
}

TEST(Carrier, LinkedExecutableCarriesItsImageInAnExecutableSection) {
  std::string exe = kit::bin_dir() + "images\\tally.exe";
  HMODULE m = LoadLibraryExA(exe.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  ASSERT_NE(m, nullptr);
  image::Carrier c = image::find_carrier(m);
  ASSERT_NE(c.working_place, nullptr);
  testimg::Loaded raw = testimg::load("tally");
  EXPECT_EQ(c.image_length, raw.carrier.image_length);
  EXPECT_EQ(std::memcmp(c.image, raw.carrier.image, c.image_length), 0);
  MEMORY_BASIC_INFORMATION mbi;
  ASSERT_TRUE(VirtualQuery(c.image, &mbi, sizeof mbi));
  EXPECT_TRUE(mbi.Protect == PAGE_EXECUTE_READWRITE || mbi.Protect == PAGE_EXECUTE_WRITECOPY) << std::hex << mbi.Protect;
  FreeLibrary(m);
}

// Fatal paths end the process: each runs in the probe, whose dialog is read and closed.
TEST(PreparationFailures, ShowTheirMessageAndEndWithMinusOne) {
  struct Case { const char* mode; const char* message; } cases[] = {
      {"bad-form", "错误信息：载入窗口模板数据段出错!"},
      {"bad-entry", "错误信息：载入窗口模板数据段出错!"},
      {"bad-relocation", "错误信息：应用程序映像已损坏!"},
      {"bad-base", "错误信息：应用程序映像已损坏!"},
      {"section-loop", "错误信息：应用程序映像已损坏!"},
      {"bad-dll-name", "错误信息：应用程序映像已损坏!"},
      {"startup-outside-code", "错误信息：应用程序映像已损坏!"},
      {"short-help", "错误信息：应用程序映像已损坏!"},
  };
  for (const auto& c : cases) {
    kit::Ending e = kit::run_to_end(kit::bin_dir() + "image_probe.exe", c.mode, 1);
    EXPECT_EQ(e.exit_code, static_cast<DWORD>(-1)) << c.mode;
    ASSERT_FALSE(e.dialogs.empty()) << c.mode;
    EXPECT_NE(e.dialogs[0].text.find(c.message), std::string::npos) << c.mode << ": " << e.dialogs[0].text;
  }
}

namespace {

std::vector<uint8_t> file_bytes(const std::string& path) {
  std::vector<uint8_t> b;
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return b;
  b.resize(GetFileSize(f, nullptr));
  DWORD got = 0;
  ReadFile(f, b.data(), static_cast<DWORD>(b.size()), &got, nullptr);
  CloseHandle(f);
  b.resize(got);
  return b;
}

bool write_bytes(const std::string& path, const std::vector<uint8_t>& b) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD put = 0;
  WriteFile(f, b.data(), static_cast<DWORD>(b.size()), &put, nullptr);
  CloseHandle(f);
  return put == b.size();
}

// The file offset of the carrier header in an executable's bytes, or 0.
size_t carrier_header_at(const std::vector<uint8_t>& exe) {
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(exe.data());
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(exe.data() + dos->e_lfanew);
  const IMAGE_SECTION_HEADER* sec = IMAGE_FIRST_SECTION(nt);
  for (unsigned i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++sec)
    if (std::memcmp(sec->Name, image::kCarrierSection, sizeof image::kCarrierSection) == 0)
      return sec->PointerToRawData;
  return 0;
}

}  // namespace

// A carrier header that is not valid, and an executable with no carrier at all, end like
// every fatal start-up condition: the run-time error dialog and exit -1.
TEST(Carrier, BadOrMissingCarrierIsARunTimeError) {
  std::vector<uint8_t> tally = file_bytes(kit::bin_dir() + "images\\tally.exe");
  size_t at = carrier_header_at(tally);
  ASSERT_GT(at, 0u);
  struct Case { const char* what; size_t field; uint32_t value; } cases[] = {
      {"magic", offsetof(image::CarrierHeader, magic), 0x12345678},
      {"version", offsetof(image::CarrierHeader, version), 2},
      {"offset", offsetof(image::CarrierHeader, image_offset), 0x7FFFFFF0},
      {"length", offsetof(image::CarrierHeader, image_length), 0xFFFFFF00},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bad = tally;
    std::memcpy(&bad[at + c.field], &c.value, 4);
    std::string path = kit::bin_dir() + "images\\bad_carrier_" + c.what + ".exe";
    ASSERT_TRUE(write_bytes(path, bad)) << c.what;
    kit::Ending e = kit::run_to_end(path, "", 1);
    EXPECT_EQ(e.exit_code, 0xFFFFFFFFu) << c.what;
    ASSERT_EQ(e.dialogs.size(), 1u) << c.what;
    EXPECT_EQ(e.dialogs[0].text, runtime::error_text("应用程序映像已损坏!", 0)) << c.what;
  }
  kit::Ending none = kit::run_to_end(kit::bin_dir() + "..\\..\\bin\\orvelrt.exe", "", 1);
  EXPECT_EQ(none.exit_code, 0xFFFFFFFFu);
  ASSERT_EQ(none.dialogs.size(), 1u);
  EXPECT_EQ(none.dialogs[0].text, runtime::error_text("此程序中没有应用程序映像。", 0));
}
