// Module interception for other modules: a module loaded through the intercepted LoadLibraryA
// has its own loader imports patched, and "objbridge.vsx" comes from a compressed copy in
// memory when the program carries one.
#include <gtest/gtest.h>
#include <zlib.h>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include "image/intercept.h"
#include "image/memory_module.h"
#include "kit.h"

namespace {

using LoadFn = HMODULE (*)(const char*);
using FreeFn = BOOL (*)(HMODULE);
using ProcFn = FARPROC (*)(HMODULE, const char*);

std::string env(const char* name) {
  char buf[64] = {};
  return GetEnvironmentVariableA(name, buf, sizeof buf) ? buf : "";
}

TEST(ModuleInterception, LoadedModulesSeeTheProgramAsTheCoreLibrary) {
  const std::string path = kit::bin_dir() + "patchme.dll";
  HMODULE plain = LoadLibraryA(path.c_str());  // this test program's own slots are not swapped
  ASSERT_NE(plain, nullptr);
  auto load = reinterpret_cast<LoadFn>(GetProcAddress(plain, "pm_load"));
  auto release = reinterpret_cast<FreeFn>(GetProcAddress(plain, "pm_free"));
  auto proc = reinterpret_cast<ProcFn>(GetProcAddress(plain, "pm_proc"));
  ASSERT_TRUE(load && release && proc);
  const HMODULE self = GetModuleHandleA(nullptr);
  EXPECT_EQ(load("C:\\any\\TOLVA.VLR"), nullptr);  // not patched yet: no such file

  HMODULE patched = image::intercepted_load_library(path.c_str());
  ASSERT_EQ(patched, plain);
  EXPECT_EQ(load("C:\\any\\TOLVA.VLR"), self);
  EXPECT_EQ(load("tolva.vlr"), self);
  EXPECT_EQ(release(self), TRUE);                  // the program's module is never released
  EXPECT_NE(proc(self, "GetNewSock"), nullptr);
  EXPECT_NE(proc(self, "getnewinf"), nullptr);
  EXPECT_EQ(proc(self, "GetProcAddress"), nullptr);
  EXPECT_EQ(proc(nullptr, "GetNewSock"), nullptr);
  // Other modules still reach the system's own routines.
  HMODULE kernel = load("kernel32.dll");
  EXPECT_EQ(proc(kernel, "GetTickCount"), GetProcAddress(kernel, "GetTickCount"));
  EXPECT_TRUE(release(kernel));

  // Imports that are not there, or imported by ordinal, are left alone with null.
  const std::string mm = kit::bin_dir() + "mmtest.dll";
  HMODULE mmtest = LoadLibraryA(mm.c_str());
  ASSERT_NE(mmtest, nullptr);
  int marker = 0;
  EXPECT_EQ(image::patch_import(mmtest, "mmord.dll", "ord_add", &marker), nullptr);  // by ordinal
  EXPECT_EQ(image::patch_import(mmtest, "Kernel32.dll", "LoadLibraryA", &marker), nullptr);
  EXPECT_EQ(image::patch_import(mmtest, "user32.dll", "MessageBoxA", &marker), nullptr);
  // A patch returns the previous address; patching it back restores the module.
  void* previous = image::patch_import(mmtest, "KERNEL32.DLL", "SetEnvironmentVariableA", &marker);
  EXPECT_EQ(previous, reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetEnvironmentVariableA")));
  EXPECT_EQ(image::patch_import(mmtest, "kernel32.dll", "SetEnvironmentVariableA", previous), &marker);
  FreeLibrary(mmtest);
  FreeLibrary(plain);
  FreeLibrary(patched);
}

TEST(ModuleInterception, BridgeFromACompressedCopy) {
  // Without a copy, "objbridge.vsx" is looked for on disk like any other module.
  EXPECT_EQ(image::intercepted_load_library("C:\\nowhere\\objbridge.vsx"), nullptr);
  EXPECT_EQ(image::memory_bridge(), nullptr);

  std::ifstream f(kit::bin_dir() + "mmtest.dll", std::ios::binary);
  const std::vector<uint8_t> raw((std::istreambuf_iterator<char>(f)), {});
  uLongf n = compressBound(raw.size());
  std::vector<uint8_t> packed(n);
  ASSERT_EQ(compress2(packed.data(), &n, raw.data(), raw.size(), 9), Z_OK);
  image::set_bridge_copy(packed.data(), n, uint32_t(raw.size()));

  SetEnvironmentVariableA("MMTEST_STATE", "none");
  HMODULE bridge = image::intercepted_load_library("C:\\somewhere\\ObjBridge.vsx");
  ASSERT_NE(bridge, nullptr);
  EXPECT_TRUE(image::is_memory_module(bridge));
  EXPECT_EQ(image::memory_bridge(), bridge);
  EXPECT_EQ(env("MMTEST_STATE"), "attached");
  EXPECT_EQ(image::intercepted_load_library("objbridge.vsx"), bridge);  // one module, two uses
  auto sum = reinterpret_cast<int (*)(int, int)>(image::intercepted_get_proc_address(bridge, "MM_SUM"));
  ASSERT_NE(sum, nullptr);
  EXPECT_EQ(sum(1, 2), 1003);
  EXPECT_NE(image::intercepted_get_proc_address(bridge, MAKEINTRESOURCEA(9)), nullptr);
  EXPECT_EQ(image::intercepted_get_proc_address(bridge, "GetNewSock"), nullptr);

  EXPECT_TRUE(image::intercepted_free_library(bridge));  // first use released: still loaded
  EXPECT_EQ(env("MMTEST_STATE"), "attached");
  EXPECT_TRUE(image::intercepted_free_library(bridge));  // last use: detached and released
  EXPECT_EQ(env("MMTEST_STATE"), "detached");
  EXPECT_EQ(image::memory_bridge(), nullptr);
  EXPECT_FALSE(image::is_memory_module(bridge));

  // A damaged copy gives no module.
  packed[n / 2] ^= 0x5A;
  EXPECT_EQ(image::intercepted_load_library("objbridge.vsx"), nullptr);
  image::set_bridge_copy(nullptr, 0, 0);
}

}  // namespace
