// Service entries, run-time error texts, the core descriptor and routine table, the runtime
// and library notification routines, DLL command resolution and the interception of module
// loading, checked inside one process.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstring>
#include <string>
#include "corelib/descriptor.h"
#include "corelib/library_notify.h"
#include "corelib/routine_table.h"
#include "image/dll_commands.h"
#include "image/intercept.h"
#include "image/shutdown.h"
#include "image/library_loader.h"
#include "image/startup.h"
#include "runtime/runtime.h"
#include "runtime/errors.h"
#include "runtime/heap.h"
#include "runtime/notify.h"
#include "runtime/services.h"

using runtime::ArgRecord;

namespace {

// Calls service slot 3 (core command) the way compiled code does: argument records pushed
// last first, then the count, EBX = selector. Returns EAX, EDX, ECX.
runtime::CompiledResult call_core(uint32_t selector, const ArgRecord* args, uint32_t count) {
  runtime::CompiledResult out{};
  const void* entry = runtime::service_table()[3];
  uint32_t words = count * 3;
  asm volatile(
      "pushl %%ebx\n\t"
      "movl  %%esp, %%edi\n\t"        // EDI keeps the stack (kept by the entry)
      "movl  %[words], %%ecx\n\t"
      "1: testl %%ecx, %%ecx\n\t"
      "jz 2f\n\t"
      "decl %%ecx\n\t"
      "pushl (%[args],%%ecx,4)\n\t"
      "jmp 1b\n\t"
      "2: pushl %[count]\n\t"
      "movl  %[sel], %%ebx\n\t"
      "call  *%[entry]\n\t"
      "movl  %%edi, %%esp\n\t"
      "popl  %%ebx\n\t"
      : "=a"(out.lo), "=d"(out.hi), "=c"(out.type)
      : [args] "S"(args), [words] "m"(words), [count] "m"(count), [sel] "m"(selector),
        [entry] "m"(entry)
      : "edi", "memory", "cc");
  return out;
}

// The core library registered as library 0 through its list entry, the way preparation does.
void load_core() {
  runtime::Runtime& r = runtime::rt();
  if (!r.libraries.empty() && r.libraries[0].descriptor) return;
  r.main_module = GetModuleHandleA(nullptr);
  image::install_interceptions(r.main_module);
  std::string entry = std::string("core.vlr\r") + corelib::kCoreSignature + "\r5\r0\r系统核心支持库";
  ASSERT_TRUE(image::load_library_entry(entry.c_str(), 0, false));
}

}  // namespace

TEST(Errors, DialogTextsAreBuiltByteForByte) {
  struct Case { const char* message; int code; const char* text; } cases[] = {
      {"数组成员引用下标必须大于等于1", 4,
       "运行时出错!\r\n\r\n错误代码：4\r\n\r\n错误信息：数组成员引用下标必须大于等于1\r\n"},
      {"载入启动窗口失败", 0, "运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n"},
      {"", 7, "运行时出错!\r\n\r\n错误代码：7\r\n\r\n"},
      {nullptr, -3, "运行时出错!\r\n\r\n错误代码：-3\r\n\r\n"},
      {nullptr, 0, "运行时出错!\r\n\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(runtime::error_text(c.message, c.code), c.text);
}

TEST(Errors, ElevenCodedMessages) {
  EXPECT_STREQ(runtime::coded_message(1), "数组成员引用下标超出定义范围");
  EXPECT_STREQ(runtime::coded_message(6), "调用DLL命令后发现堆栈错误");
  EXPECT_STREQ(runtime::coded_message(11), "所提供参数的数据类型不符合要求");
  EXPECT_EQ(runtime::coded_message(0), nullptr);
  EXPECT_EQ(runtime::coded_message(12), nullptr);
}

TEST(Descriptor, CoreValues) {
  const corelib::LibDescriptor& d = corelib::core_descriptor();
  EXPECT_EQ(d.format, 20000101u);
  EXPECT_STREQ(d.signature, "5b1e07c2a94d4f3e8c61d0a7f2b83e19");
  EXPECT_EQ(d.major, 5);
  EXPECT_EQ(d.minor, 0);
  EXPECT_EQ(d.build, 64);
  EXPECT_EQ(d.core_major, 3);
  EXPECT_EQ(d.core_minor, 7);
  EXPECT_STREQ(d.name, "系统核心支持库");
  EXPECT_EQ(d.language, 1);
  EXPECT_EQ(d.state_flags, 0xC0000009u);
  EXPECT_EQ(d.type_count, 51);
  EXPECT_EQ(d.commands, corelib::routine_table());
  EXPECT_EQ(d.category_count, 0);
  EXPECT_EQ(d.command_info, nullptr);
  EXPECT_EQ(d.constants, nullptr);
  EXPECT_EQ(d.add_in(nullptr), nullptr);
  const corelib::UnitTypeEntry& window = d.types[0];
  EXPECT_STREQ(window.name, "窗口");
  EXPECT_STREQ(window.english, "window");
  EXPECT_EQ(window.flags, 0x800000D0u);
  EXPECT_EQ(window.property_count, 32);
  EXPECT_EQ(window.properties[0].flags, 0xE000);
  EXPECT_EQ(window.properties[8].flags, 0x8000);
  EXPECT_EQ(window.properties[8].type, 1005) << "title is a text";
  // The record is read through raw offsets by every loader.
  auto* raw = reinterpret_cast<const uint8_t*>(&d);
  EXPECT_EQ(*reinterpret_cast<const int32_t*>(raw + 0x54), 51);
  EXPECT_EQ(*reinterpret_cast<void* const*>(raw + 0x78), reinterpret_cast<void*>(d.notify));
}

TEST(RoutineTable, EmptySlotsAndSharedRoutines) {
  const runtime::CommandRoutine* t = corelib::routine_table();
  for (int slot : {0, 16, 19, 21, 38, 43, 45, 47, 52, 53, 55, 62, 148, 201, 203, 417, 622, 656}) {
    EXPECT_TRUE(corelib::is_empty_slot(slot)) << slot;
    EXPECT_EQ(t[slot], nullptr) << slot;
  }
  EXPECT_EQ(t[556], t[557]);
  EXPECT_EQ(t[208], t[335]);
  EXPECT_EQ(t[208], t[558]);
  EXPECT_EQ(t[208], t[620]);
  EXPECT_EQ(t[336], t[572]);
  EXPECT_EQ(t[264], t[246]);
  EXPECT_EQ(t[275], t[263]);
  EXPECT_EQ(t[449], t[437]);
}

TEST(RoutineTable, FixedResultsThroughTheCoreCommandEntry) {
  load_core();
  ArgRecord args[2] = {{7, 8, runtime::kTypeInt}, {0, 0, 0}};
  struct Case { uint32_t slot; uint32_t lo; } cases[] = {
      {556, 0}, {557, 0}, {208, 0}, {335, 0}, {558, 0}, {620, 0}, {336, 1}, {572, 1},
  };
  for (const Case& c : cases) {
    runtime::CompiledResult r = call_core(c.slot * 4, args, 2);
    EXPECT_EQ(r.lo, c.lo) << c.slot;
    EXPECT_EQ(r.hi, 0u) << c.slot;
    EXPECT_EQ(r.type, 0u) << c.slot;
  }
}

TEST(LibraryNotify, Codes) {
  EXPECT_EQ(corelib::library_notify(1, 0x1234, 0), 0);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(corelib::runtime_notify()), 0x1234u);
  EXPECT_EQ(corelib::library_notify(2, 1, 2), 0) << "no unit framework yet";
  EXPECT_EQ(corelib::library_notify(13, 1, 0), 0);
  EXPECT_EQ(corelib::library_notify(8, 0, 0), -1);
  EXPECT_EQ(corelib::library_notify(77, 0, 0), -1);
  corelib::unit_operations().redraw = [](uint32_t object) { return object == 5 ? 1 : 0; };
  EXPECT_EQ(corelib::library_notify(13, 5, 0), 1);
  corelib::unit_operations().redraw = nullptr;
}

TEST(RuntimeNotify, PlainCodes) {
  runtime::Runtime& r = runtime::rt();
  r.program_dir = "C:\\prog";
  r.program_file = "p.exe";
  r.module_dir = "C:\\mod\\";
  r.run_mode = 3;
  EXPECT_EQ(runtime::notify(1004, 0, 0), 1);
  EXPECT_EQ(runtime::notify(1005, 0, 0), 5);
  EXPECT_EQ(runtime::notify(2002, 0, 0), 0);
  EXPECT_EQ(runtime::notify(999, 0, 0), 0);
  EXPECT_EQ(runtime::notify(2030, 0, 0), 3);
  EXPECT_EQ(runtime::notify(2005, 0, 0), -1) << "no window can be loaded yet";
  struct Dir { uint32_t selector; const char* text; } dirs[] = {
      {1, "C:\\mod\\"}, {2001, "C:\\prog\\"}, {2002, "p.exe"}, {5, ""}};
  for (const Dir& d : dirs) {
    char buf[64] = "x";
    runtime::notify(1006, d.selector, uint32_t(uintptr_t(buf)));
    EXPECT_STREQ(buf, d.text) << d.selector;
  }
  EXPECT_STREQ(reinterpret_cast<const char*>(uintptr_t(runtime::notify(2003, 0, 0))), "C:\\prog");
  EXPECT_STREQ(reinterpret_cast<const char*>(uintptr_t(runtime::notify(2004, 0, 0))), "p.exe");
  ArgRecord small{0xFFFF, 0, runtime::kTypeShort};
  EXPECT_EQ(runtime::notify(2001, uint32_t(uintptr_t(&small)), 0), -1);
}

TEST(RuntimeNotify, EventHoldCounter) {
  runtime::Runtime& r = runtime::rt();
  r.event_hold = 0;
  runtime::notify(2009, 0, 0);
  runtime::notify(2009, 0, 0);
  EXPECT_EQ(r.event_hold, 2);
  runtime::notify(2010, 0, 0);
  runtime::notify(2010, 0, 0);
  runtime::notify(2010, 0, 0);
  EXPECT_EQ(r.event_hold, 0) << "never below 0";
}

TEST(RuntimeNotify, RegisteredObjectsAreClosedOnce) {
  static int closed = 0, destroyed = 0;
  struct Obj : runtime::RegisteredObject {
    void close() override { ++closed; }
    ~Obj() override { ++destroyed; }
  };
  auto* a = new Obj;
  auto* b = new Obj;
  uint32_t va = uint32_t(uintptr_t(static_cast<runtime::RegisteredObject*>(a)));
  uint32_t vb = uint32_t(uintptr_t(static_cast<runtime::RegisteredObject*>(b)));
  EXPECT_EQ(runtime::notify(2011, va, 0), -1);
  runtime::notify(2012, va, 7);
  runtime::notify(2012, va, 9);  // already registered: the first flag stays
  runtime::notify(2012, vb, 1);
  EXPECT_EQ(runtime::notify(2011, va, 0), 7);
  EXPECT_EQ(runtime::notify(2013, vb, 0), 1);
  EXPECT_EQ(runtime::notify(2013, vb, 0), 0);
  delete b;
  destroyed = 0;
  runtime::notify(2014, 0, 0);
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(runtime::notify(2011, va, 0), -1);
}

TEST(RuntimeNotify, IdleRoutinesOncePerWindow) {
  HWND w = CreateWindowA("STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  static int runs = 0;
  auto routine = [](uint32_t arg) { runs += int(arg); };
  uint32_t req[3] = {uint32_t(uintptr_t(w)),
                     uint32_t(uintptr_t(static_cast<void(__cdecl*)(uint32_t)>(routine))), 5};
  runtime::notify(1012, uint32_t(uintptr_t(req)), 0);
  runtime::notify(1012, uint32_t(uintptr_t(req)), 0);
  EXPECT_EQ(runtime::rt().idle_routines.size(), 1u);
  runtime::notify(1013, uint32_t(uintptr_t(w)), 0);
  EXPECT_TRUE(runtime::rt().idle_routines.empty());
  DestroyWindow(w);
}

TEST(RuntimeNotify, WindowObjects) {
  HWND w = CreateWindowA("STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  uint32_t hw = uint32_t(uintptr_t(w));
  uint32_t obj = uint32_t(runtime::notify(1007, hw, 0));
  ASSERT_NE(obj, 0u);
  EXPECT_EQ(runtime::notify(1007, hw, 0), 0) << "the handle already has an object";
  EXPECT_EQ(uint32_t(runtime::notify(1010, obj, 0)), hw);
  EXPECT_EQ(uint32_t(runtime::notify(1009, obj, 0)), hw);
  EXPECT_EQ(runtime::notify(1010, obj, 0), 0);
  EXPECT_EQ(runtime::notify(1011, hw, obj), 1);
  EXPECT_EQ(runtime::notify(1011, hw, obj), 0) << "the object already has a handle";
  runtime::notify(1008, obj, 0);
  EXPECT_TRUE(IsWindow(w));
  EXPECT_EQ(runtime::notify(1010, obj, 0), 0) << "a destroyed object is not used";
  DestroyWindow(w);
}

TEST(RuntimeNotify, MemoryAndArrays) {
  runtime::rt().heap = GetProcessHeap();
  void* p = reinterpret_cast<void*>(uintptr_t(runtime::notify(2024, 16, 0)));
  ASSERT_NE(p, nullptr);
  p = reinterpret_cast<void*>(uintptr_t(runtime::notify(2026, uint32_t(uintptr_t(p)), 64)));
  ASSERT_NE(p, nullptr);
  runtime::notify(2025, uint32_t(uintptr_t(p)), 0);
  EXPECT_EQ(runtime::notify(2024, 0x7FFFFFF0, 1), 0) << "flag 1: null instead of the error";
  // A text array of 2 x 1 elements with its element blocks.
  auto* a = static_cast<uint32_t*>(runtime::allocate(4 + 8 + 8));
  a[0] = 2; a[1] = 2; a[2] = 1;
  a[3] = uint32_t(uintptr_t(runtime::allocate(4)));
  a[4] = 0;
  EXPECT_EQ(runtime::notify(2023, runtime::kTypeText | runtime::kArrayBit, uint32_t(uintptr_t(a))), 0);
}

TEST(RuntimeNotify, InterfaceIdentifierAndTypeFlags) {
  load_core();
  uint32_t rec[4] = {9, 9, 9, 9};
  EXPECT_EQ(runtime::notify(2036, 0x00010030, uint32_t(uintptr_t(rec))), 1);
  EXPECT_EQ(rec[0], 0u);
  EXPECT_EQ(rec[2], 0xC0u);
  EXPECT_EQ(rec[3], 0x46000000u);
  EXPECT_EQ(runtime::notify(2036, 0x00010001, uint32_t(uintptr_t(rec))), -1)
      << "the core library gives no identifiers";
  EXPECT_EQ(runtime::notify(2036, runtime::kTypeInt, uint32_t(uintptr_t(rec))), 0);
  EXPECT_EQ(runtime::notify(2029, 0x00010001, 0), 1) << "the window is a window unit";
  EXPECT_EQ(runtime::notify(2029, 0x00010002, 0), 0) << "entries not filled yet";
  auto* entry = reinterpret_cast<corelib::UnitTypeEntry*>(uintptr_t(runtime::notify(1002, 0x00010001, 0)));
  ASSERT_NE(entry, nullptr);
  EXPECT_STREQ(entry->english, "window");
  EXPECT_EQ(runtime::notify(1002, 0x00010034, 0), 0) << "type 52 does not exist";
}

TEST(Interception, CoreLibraryFileIsTheProgram) {
  load_core();
  HMODULE self = GetModuleHandleA(nullptr);
  EXPECT_EQ(LoadLibraryA("C:\\X\\TOLVA.VLR"), self);
  EXPECT_EQ(LoadLibraryA("tolva.vlr"), self);
  EXPECT_EQ(FreeLibrary(self), TRUE);
  EXPECT_EQ(FreeLibrary(nullptr), TRUE);
  EXPECT_EQ(GetProcAddress(self, "GetProcAddress"), nullptr);
  EXPECT_EQ(GetProcAddress(self, "main"), nullptr);
  EXPECT_EQ(GetProcAddress(nullptr, "GetNewInf"), nullptr);
  EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(self, "getnewinf")),
            reinterpret_cast<void*>(&corelib::get_new_inf));
  auto sock = reinterpret_cast<void*(__stdcall*)(int)>(GetProcAddress(self, "GetNewSock"));
  ASSERT_NE(sock, nullptr);
  EXPECT_EQ(sock(999), nullptr);
  EXPECT_EQ(sock(1004), nullptr);
  EXPECT_NE(sock(1000), nullptr);
  EXPECT_EQ(sock(1000), sock(1001));
  EXPECT_NE(sock(1002), nullptr);
  // Other modules go to the system.
  HMODULE k = LoadLibraryA("kernel32.dll");
  EXPECT_NE(k, nullptr);
  EXPECT_NE(GetProcAddress(k, "GetTickCount"), nullptr);
}

TEST(Interception, ImportPatchReturnsThePreviousSlot) {
  HMODULE self = GetModuleHandleA(nullptr);
  void* mine = reinterpret_cast<void*>(&GetTickCount);
  void* previous = image::patch_import(self, "kernel32.DLL", "GetTickCount", mine);
  EXPECT_NE(previous, nullptr);
  EXPECT_EQ(image::patch_import(self, "kernel32.dll", "GetTickCount", previous), mine);
  EXPECT_EQ(image::patch_import(self, "kernel32.dll", "NoSuchFunction", mine), nullptr);
  EXPECT_EQ(image::patch_import(self, "nosuch.dll", "GetTickCount", mine), nullptr);
  EXPECT_EQ(image::patch_import(self, "kernel32.dll", "gettickcount", mine), nullptr)
      << "function names compare with case";
}

TEST(DllCommands, OrdinalNames) {
  struct Case { const char* name; uint32_t ordinal; } cases[] = {
      {"#12", 12}, {"#1", 1}, {"#65548", 12}, {"#", 0}, {"#1a", 0}, {"MessageBoxA", 0}, {"", 0}};
  for (const Case& c : cases) EXPECT_EQ(image::ordinal_of(c.name), c.ordinal) << c.name;
}

TEST(DllCommands, SearchOrderAndOverrides) {
  runtime::Runtime& r = runtime::rt();
  load_core();
  char dir[MAX_PATH];
  GetModuleFileNameA(nullptr, dir, MAX_PATH);
  *std::strrchr(dir, '\\') = 0;
  r.program_dir = dir;
  r.module_dir = std::string(dir) + "\\";
  HMODULE k32 = GetModuleHandleA("kernel32.dll");
  HMODULE u32 = LoadLibraryA("user32.dll");
  r.dll_commands = {
      {nullptr, nullptr, "", "GetTickCount"},           // system library: Kernel32
      {nullptr, nullptr, "", "MessageBeep"},            // system library: User32
      {nullptr, nullptr, "kernel32.dll", "GetVersion"},
      {nullptr, nullptr, "services_dll.dll", "#12"},    // ordinal 12 of the test DLL
      {nullptr, nullptr, "services_dll.dll", "twelve"},
  };
  EXPECT_EQ(image::resolve_dll_command(0), reinterpret_cast<void*>(GetProcAddress(k32, "GetTickCount")));
  EXPECT_EQ(image::resolve_dll_command(1), reinterpret_cast<void*>(GetProcAddress(u32, "MessageBeep")));
  EXPECT_EQ(image::resolve_dll_command(2), reinterpret_cast<void*>(GetProcAddress(k32, "GetVersion")));
  void* by_ordinal = image::resolve_dll_command(3);
  EXPECT_NE(by_ordinal, nullptr);
  EXPECT_EQ(by_ordinal, image::resolve_dll_command(4)) << "export twelve has ordinal 12";
  EXPECT_EQ(r.dll_commands[3].module, GetModuleHandleA("services_dll.dll"));
  // The one-shot module override: used once, then the command's own resolution again.
  r.set_module_override(k32, "GetCurrentProcessId");
  EXPECT_EQ(image::resolve_dll_command(0),
            reinterpret_cast<void*>(GetProcAddress(k32, "GetCurrentProcessId")));
  EXPECT_EQ(image::resolve_dll_command(0), reinterpret_cast<void*>(GetProcAddress(k32, "GetTickCount")));
  r.set_module_override(k32, nullptr);  // the command's own function name in that module
  EXPECT_EQ(image::resolve_dll_command(2), reinterpret_cast<void*>(GetProcAddress(k32, "GetVersion")));
  EXPECT_EQ(r.module_override.module, nullptr);
  r.set_dll_directory("C:\\somewhere");
  EXPECT_EQ(r.dll_directory, "C:\\somewhere\\");
  r.set_dll_directory(nullptr);
  EXPECT_EQ(r.dll_directory, "");
}

TEST(FindFiles, PatternThenContinue) {
  char dir[MAX_PATH];
  GetModuleFileNameA(nullptr, dir, MAX_PATH);
  *std::strrchr(dir, '\\') = 0;
  std::string pattern = std::string(dir) + "\\services_test*.exe";
  runtime::rt().heap = GetProcessHeap();
  void* handle = nullptr;
  char* first = runtime::find_next_file(pattern.c_str(), 0, 1, &handle);
  ASSERT_NE(first, nullptr);
  EXPECT_STREQ(first, "services_test.exe");
  runtime::free_block(first);
  EXPECT_EQ(runtime::find_next_file("", 0, 1, &handle), nullptr);
  EXPECT_EQ(handle, nullptr) << "the search ended and closed its handle";
  std::string dirs = std::string(dir) + "\\*";
  char* d = runtime::find_next_file(dirs.c_str(), FILE_ATTRIBUTE_DIRECTORY, 0, &handle);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d[0], '.') << "the first directory entry";
  runtime::free_block(d);
  if (handle) FindClose(handle);
}

namespace {

// GetNewSock called the way an outside caller does, with EBX = `word`; returns EAX and EDX.
std::pair<uint32_t, uint32_t> get_new_sock_with_ebx(int code, uint32_t word) {
  uint32_t eax, edx;
  asm volatile(
      "pushl %%ebx\n\t"
      "movl  %[word], %%ebx\n\t"
      "pushl %[code]\n\t"
      "call  orvel_get_new_sock\n\t"   // removes its argument
      "popl  %%ebx\n\t"
      : "=a"(eax), "=d"(edx)
      : [word] "m"(word), [code] "m"(code)
      : "ecx", "memory", "cc");
  return {eax, edx};
}

}  // namespace

TEST(Interception, GetNewSockInstanceCodes) {
  runtime::Runtime& r = runtime::rt();
  r.instance_counter = 4;
  auto [run, none] = get_new_sock_with_ebx(1000, 0);
  EXPECT_EQ(run, uint32_t(uintptr_t(&image::run_entry)));
  auto [run1, n1] = get_new_sock_with_ebx(1001, 0);
  EXPECT_EQ(run1, run);
  EXPECT_EQ(n1, 5u);
  auto [run3, n3] = get_new_sock_with_ebx(1003, 0xABCD);
  EXPECT_EQ(run3, run);
  EXPECT_EQ(n3, 5u);
  ASSERT_EQ(r.runtime_instances.size(), 1u);
  EXPECT_EQ(r.runtime_instances[0], (std::pair<int, uint32_t>{5, 0xABCD}));
  auto [release, zero] = get_new_sock_with_ebx(1002, 0);
  EXPECT_EQ(release, uint32_t(uintptr_t(&image::release_instance)));
  EXPECT_EQ(get_new_sock_with_ebx(1004, 0).first, 0u);
}

TEST(Interception, InstanceReleaseForgetsItsConstantRange) {
  runtime::Runtime& r = runtime::rt();
  static const uint8_t a[4] = {}, b[4] = {};
  r.instances = {1, 2};
  r.const_ranges = {{a, a + 4}, {b, b + 4}};
  r.runtime_instances = {{2, 7}};
  r.images_loaded = 2;
  image::release_instance(2);
  EXPECT_EQ(r.instances, std::vector<int>{1});
  ASSERT_EQ(r.const_ranges.size(), 1u);
  EXPECT_EQ(r.const_ranges[0].begin, a);
  EXPECT_TRUE(r.runtime_instances.empty());
  EXPECT_EQ(r.images_loaded, 1);
  EXPECT_FALSE(r.shutting_down);
  image::release_instance(-1);  // no instance named; the last image: shutdown with code 0
  EXPECT_EQ(r.images_loaded, 0);
  EXPECT_TRUE(r.shutting_down);
  EXPECT_TRUE(r.const_ranges.empty());
}

TEST(DllCommands, DirectoryOverrideIsTriedFirst) {
  runtime::Runtime& r = runtime::rt();
  load_core();
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string bin(exe, std::strrchr(exe, '\\') + 1);
  std::string dir = bin + "dll_override";
  CreateDirectoryA(dir.c_str(), nullptr);
  ASSERT_TRUE(CopyFileA((bin + "services_dll.dll").c_str(), (dir + "\\only_here.dll").c_str(), FALSE));
  r.program_dir = bin.substr(0, bin.size() - 1);
  r.module_dir = bin;
  r.dll_commands = {{nullptr, nullptr, "only_here.dll", "twelve"}};
  r.set_dll_directory(dir.c_str());
  void* p = image::resolve_dll_command(0);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(reinterpret_cast<int(__stdcall*)()>(p)(), 12);
  char found[MAX_PATH];
  GetModuleFileNameA(r.dll_commands[0].module, found, MAX_PATH);
  EXPECT_EQ(lstrcmpiA(found, (dir + "\\only_here.dll").c_str()), 0) << found;
}

TEST(Services, CommandEntryKeepsTheCallersRegisters) {
  load_core();
  uint32_t ebx = 0, esi = 0, edi = 0;
  uint32_t selector = 572 * 4, count = 0;
  const void* entry = runtime::service_table()[3];
  asm volatile(
      "pushl %%ebp\n\t"
      "pushl %%ebx\n\t"
      "movl  %[sel], %%ebx\n\t"
      "movl  $0x51515151, %%esi\n\t"
      "movl  $0x71717171, %%edi\n\t"
      "pushl %[count]\n\t"
      "call  *%[entry]\n\t"
      "addl  $4, %%esp\n\t"
      "movl  %%ebx, %%eax\n\t"
      "popl  %%ebx\n\t"
      "popl  %%ebp\n\t"
      : "=a"(ebx), "=S"(esi), "=D"(edi)
      : [sel] "m"(selector), [count] "m"(count), [entry] "m"(entry)
      : "ecx", "edx", "memory", "cc");
  EXPECT_EQ(ebx, selector);
  EXPECT_EQ(esi, 0x51515151u);
  EXPECT_EQ(edi, 0x71717171u);
}

TEST(MainLoop, IdleRoutinesLastRegisteredFirst) {
  runtime::Runtime& r = runtime::rt();
  r.idle_routines.clear();
  static std::vector<uint32_t> order;
  HWND a = CreateWindowA("STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  HWND b = CreateWindowA("STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  HWND gone = CreateWindowA("STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  auto routine = [](uint32_t arg) {
    order.push_back(arg);
    if (order.size() >= 4) PostQuitMessage(0);
  };
  auto fn = uint32_t(uintptr_t(static_cast<void(__cdecl*)(uint32_t)>(routine)));
  for (auto [w, arg] : {std::pair{a, 1u}, std::pair{gone, 9u}, std::pair{b, 2u}}) {
    uint32_t req[3] = {uint32_t(uintptr_t(w)), fn, arg};
    runtime::notify(1012, uint32_t(uintptr_t(req)), 0);
  }
  DestroyWindow(gone);
  r.run_loop(framework::App::kMainLoop);
  ASSERT_GE(order.size(), 4u);
  EXPECT_EQ(order[0], 2u);
  EXPECT_EQ(order[1], 1u);
  EXPECT_EQ(order[2], 2u);
  EXPECT_EQ(order[3], 1u);
  EXPECT_EQ(r.idle_routines.size(), 2u) << "the routine of a destroyed window is removed";
  DestroyWindow(a);
  DestroyWindow(b);
}

namespace {
int g_unloads = 0, g_finalised = 0;
int32_t __cdecl counting_notify(int32_t code, uint32_t, uint32_t) {
  if (code == 6) ++g_unloads;
  return 0;
}
void __stdcall finaliser() { ++g_finalised; }
}  // namespace

TEST(Shutdown, RunsTwiceReleasingEverythingOnce) {
  runtime::Runtime& r = runtime::rt();
  r.heap = GetProcessHeap();
  static corelib::LibDescriptor lib{};
  lib.notify = counting_notify;
  HMODULE dll = LoadLibraryA("services_dll.dll");
  ASSERT_NE(dll, nullptr);
  r.libraries.resize(2);
  r.libraries[1].descriptor = &lib;
  r.libraries[1].module = LoadLibraryA("services_dll.dll");  // one more reference
  r.dll_commands = {{LoadLibraryA("services_dll.dll"), nullptr, "services_dll.dll", "twelve"}};
  r.blocks = {HeapAlloc(r.heap, 0, 64), HeapAlloc(r.heap, 0, 64)};
  r.finalise_routine = reinterpret_cast<void*>(&finaliser);
  static int closed = 0;
  struct Obj : runtime::RegisteredObject {
    void close() override { ++closed; }
  };
  r.registered_objects = {{new Obj, 0}};
  image::shutdown(0);
  image::shutdown(0);
  EXPECT_EQ(g_finalised, 1);
  EXPECT_EQ(g_unloads, 1);
  EXPECT_EQ(closed, 1);
  EXPECT_TRUE(r.libraries.empty());
  EXPECT_TRUE(r.dll_commands.empty());
  EXPECT_TRUE(r.blocks.empty());
  EXPECT_TRUE(r.shutting_down);
  EXPECT_GE(r.event_hold, 2) << "events are held from the first step on";
  // Exactly the two references taken above were given back: one remains, ours.
  EXPECT_EQ(GetModuleHandleA("services_dll.dll"), dll);
  FreeLibrary(dll);
  EXPECT_EQ(GetModuleHandleA("services_dll.dll"), nullptr);
}

namespace {
std::vector<DWORD> g_idle_calls;
bool window_idle(DWORD elapsed, std::vector<HWND>& finished) {
  // A new idle period starts with an empty finished set.
  if (finished.empty()) g_idle_calls.push_back(elapsed);
  finished.push_back(reinterpret_cast<HWND>(1));
  if (g_idle_calls.size() >= 2) PostQuitMessage(0);
  return false;  // no window wants more: idle work stops until the next message
}
void CALLBACK wake(HWND, UINT, UINT_PTR id, DWORD) { KillTimer(nullptr, id); }
}  // namespace

TEST(MainLoop, IdleHandlerAsksTheWindowsOncePerIdlePeriod) {
  runtime::Runtime& r = runtime::rt();
  r.idle_routines.clear();
  r.units.window_idle = window_idle;
  SetTimer(nullptr, 0, 40, wake);  // a message that starts a second idle period
  r.run_loop(framework::App::kMainLoop);
  r.units.window_idle = nullptr;
  ASSERT_EQ(g_idle_calls.size(), 2u) << "once per idle period: the handler stopped after it";
  EXPECT_LT(g_idle_calls[0], 1000u) << "milliseconds since the period began";
}

TEST(RuntimeNotify, EventSourceAndIconEntries) {
  runtime::Runtime& r = runtime::rt();
  r.heap = GetProcessHeap();
  uint32_t source[2] = {0, 0};
  r.event_window = 0;
  EXPECT_EQ(runtime::notify(2017, uint32_t(uintptr_t(source)), 0), 0) << "no handler runs";
  r.event_window = 0x52010001;
  r.event_unit = 0x16010013;
  EXPECT_EQ(runtime::notify(2017, uint32_t(uintptr_t(source)), 0), 1);
  EXPECT_EQ(source[0], 0x52010001u);
  EXPECT_EQ(source[1], 0x16010013u);
  r.event_window = 0;

  auto* e = static_cast<runtime::IconEntry*>(runtime::allocate(sizeof(runtime::IconEntry)));
  e->icon = CopyIcon(LoadIcon(nullptr, IDI_APPLICATION));
  e->data = runtime::allocate(16);
  uint32_t v = uint32_t(uintptr_t(e));
  EXPECT_EQ(runtime::notify(2021, v, 0), 0);
  runtime::notify(2019, v, 0);
  runtime::notify(2019, v, 0);
  EXPECT_EQ(runtime::notify(2021, v, 0), 1);
  EXPECT_EQ(r.icon_entries.size(), 1u) << "an entry is listed once";
  runtime::notify(2020, v, 0);  // destroys the icon, frees the data and the entry
  EXPECT_EQ(runtime::notify(2021, v, 0), 0);
  EXPECT_TRUE(r.icon_entries.empty());
}
