// DLL commands for the start-up test programs: call-backs into compiled code, stack checks,
// address-space exhaustion, interception probes, a second image, an exit from another thread.
#include <windows.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <vector>

extern "C" {

// The test mode the program runs (environment variable ORVEL_MODE).
int __stdcall test_mode() {
  char buf[32] = "";
  GetEnvironmentVariableA("ORVEL_MODE", buf, sizeof buf);
  return std::atoi(buf);
}

// Appends one character to the file named by ORVEL_MARKS.
void __stdcall mark(int c) {
  char path[MAX_PATH] = "";
  if (!GetEnvironmentVariableA("ORVEL_MARKS", path, sizeof path)) return;
  if (FILE* f = std::fopen(path, "ab")) {
    std::fputc(c, f);
    std::fclose(f);
  }
}

// Calls a compiled routine that takes one argument and removes it.
int __stdcall call_back(void* routine, int argument) {
  return reinterpret_cast<int(__stdcall*)(int)>(routine)(argument);
}

int __stdcall add_std(int a, int b) { return a + b; }
int __cdecl add_cdecl(int a, int b) { return a + b; }
int __stdcall twelve() { return 12; }

// What exhaust() took: address-space reservations and process heap blocks.
std::vector<void*> g_reserved, g_heap_blocks;
HHOOK g_hook = nullptr;

// Gives everything back as soon as the error dialog's window is being created, so that the
// dialog has room; the allocation that raised the error had failed before that.
LRESULT CALLBACK give_back(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_CREATEWND && g_hook) {
    for (void* p : g_reserved) VirtualFree(p, 0, MEM_RELEASE);
    for (void* p : g_heap_blocks) HeapFree(GetProcessHeap(), 0, p);
    g_reserved.clear();
    g_heap_blocks.clear();
    UnhookWindowsHookEx(g_hook);
    g_hook = nullptr;
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

// Reserves the whole free address space and takes the process heap's free room, so that the
// next allocation of 1000000 bytes fails for real. Everything is given back when the next
// window of this thread is created (the error dialog).
int __stdcall exhaust() {
  g_reserved.reserve(100000);
  g_heap_blocks.reserve(100000);
  g_hook = SetWindowsHookExA(WH_CBT, give_back, nullptr, GetCurrentThreadId());
  for (SIZE_T size = 0x40000000; size >= 0x10000; size /= 2)
    while (void* p = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS)) {
      if (g_reserved.size() == g_reserved.capacity()) break;
      g_reserved.push_back(p);
    }
  for (SIZE_T size = 0x80000; size >= 0x1000; size /= 2)
    while (void* p = HeapAlloc(GetProcessHeap(), 0, size)) {
      if (g_heap_blocks.size() == g_heap_blocks.capacity()) break;
      g_heap_blocks.push_back(p);
    }
  return int(g_reserved.size());
}

// Checks of the interception of the program's own module: 0x1F when all hold.
int __stdcall probe_core() {
  HMODULE self = GetModuleHandleA(nullptr);
  int bits = 0;
  HMODULE core = LoadLibraryA("C:\\X\\TOLVA.VLR");
  if (core == self) bits |= 1;
  if (FreeLibrary(core) == 1 && GetModuleHandleA(nullptr) == self) bits |= 2;
  if (!GetProcAddress(self, "SomethingElse") && !GetProcAddress(self, "WinMain")) bits |= 4;
  auto sock = reinterpret_cast<void*(__stdcall*)(int)>(GetProcAddress(core, "GetNewSock"));
  if (sock && !sock(999) && !sock(1004) && sock(1000)) bits |= 8;
  if (GetProcAddress(core, "GetNewInf")) bits |= 16;
  return bits;
}

struct ExitRequest { void* service; int code; };
ExitRequest g_request;

DWORD WINAPI exit_thread(void*) {
  Sleep(100);
  reinterpret_cast<void(__cdecl*)(int)>(g_request.service)(g_request.code);
  return 0;
}

// Starts a thread that calls the exit service with `code`, then pumps messages for ever: the
// exit must come back to the main thread through the hidden runtime window.
void __stdcall exit_from_thread(void* exit_service, int code) {
  g_request = {exit_service, code};
  CreateThread(nullptr, 0, exit_thread, nullptr, 0, nullptr);
  MSG m;
  while (GetMessageA(&m, nullptr, 0, 0) > 0) DispatchMessageA(&m);
}

// Takes the application image of another executable built by the image linker, makes its
// header working copy and runs it through the run entry of the core library.
int __stdcall join_image(const char* exe) {
  HANDLE f = CreateFileA(exe, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return -100;
  DWORD size = GetFileSize(f, nullptr), got = 0;
  std::vector<uint8_t> file(size);
  ReadFile(f, file.data(), size, &got, nullptr);
  CloseHandle(f);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(file.data());
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(file.data() + dos->e_lfanew);
  IMAGE_SECTION_HEADER* sec = IMAGE_FIRST_SECTION(nt);
  for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++sec) {
    if (std::memcmp(sec->Name, ".orvimg", 8) != 0) continue;
    auto* place = static_cast<uint8_t*>(VirtualAlloc(nullptr, sec->Misc.VirtualSize,
                                                     MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
    std::memcpy(place, file.data() + sec->PointerToRawData,
                std::min<DWORD>(sec->SizeOfRawData, sec->Misc.VirtualSize));
    uint32_t image_offset = *reinterpret_cast<uint32_t*>(place + 8);
    uint8_t* working = place + 0x40;
    uint8_t* image = working + image_offset;
    auto word = [](uint8_t* p, uint32_t at) -> uint32_t& { return *reinterpret_cast<uint32_t*>(p + at); };
    uint32_t length = word(image, 0x54);
    word(image, 0x54) = length + uint32_t(image - working);
    std::memcpy(working, image, length);
    uint32_t n = word(working, 0x38);
    for (uint32_t at = 0x58 + 8 * n; at + 4 <= length; at += 4) word(working, at) ^= word(working, 0);
    HMODULE core = LoadLibraryA("tolva.vlr");
    auto sock = reinterpret_cast<void*(__stdcall*)(int)>(GetProcAddress(core, "GetNewSock"));
    auto run = reinterpret_cast<int(__stdcall*)(uint8_t*)>(sock(1000));
    return run(working);
  }
  return -101;
}

}  // extern "C"
