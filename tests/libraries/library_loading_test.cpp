// Support library loading end to end: programs linked with the image linker list one library
// beside the core library and call its command 0 with the argument 7 (a test library answers
// 1000 + 100 x count + 7, a bridge's library 2000 + ...). Accepted libraries give that exit
// code and log notifications 1 and 6; every refusal shows its exact message and exits with -1.
#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>
#include <tlhelp32.h>
#include <string>
#include "kit.h"
#include "logged_run.h"

using libtest::dir;
using libtest::LoggedRun;

namespace {

const std::string kSig = "a1b2c3d4e5f60718293a4b5c6d7e8f90";
const std::string kWeb = "https://orvel.example/";

std::string missing(const std::string& display, const std::string& file, const std::string& sig) {
  return "您的程序缺少一个名为“" + display + "”的Orvel支持库，其文件名为“" + file + ".vlr”或“" +
         file + ".vlb”，数字签名为“" + sig + "”，此文件可以通过重新安装您的程序修复，或直接到Orvel网站 " +
         kWeb + " 下载Orvel最新版安装后得到这个文件并拷贝到您的程序目录中。";
}

std::string bridge(const std::string& display, const std::string& kind, const std::string& sig) {
  return "不能载入OCX组件“" + display + "”，其" + kind + "，数字签名为“" + sig +
         "”，请确认该组件已经被安装到Windows系统中。";
}

constexpr int kLeaveOpen = 0x4321;  // a button no message box has: the watcher leaves it open

// Whether process `pid` has a module of that file name loaded.
bool module_loaded(DWORD pid, const char* file) {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
  if (snap == INVALID_HANDLE_VALUE) return true;  // unknown counts as loaded
  MODULEENTRY32 m{};
  m.dwSize = sizeof m;
  bool found = false;
  for (BOOL more = Module32First(snap, &m); more && !found; more = Module32Next(snap, &m))
    found = lstrcmpiA(m.szModule, file) == 0;
  CloseHandle(snap);
  return found;
}

// Presses OK in the run-time error message of process `pid`.
void close_message(DWORD pid) {
  HWND box = kit::drive::find_window(pid, "错误", "#32770");
  if (HWND ok = box ? GetDlgItem(box, IDOK) : nullptr) PostMessageA(ok, BM_CLICK, 0, 0);
}

std::string detail(const std::string& text) { return "\r\n\r\n具体信息：" + text; }

TEST(LibraryLoading, AcceptedLibrariesRunTheirCommand) {
  struct Case {
    const char* program;
    DWORD want;
    const char* want_log;
  } cases[] = {
      // Recorded at start, loaded by the first call (the program checks it was not loaded before).
      {"pending", 1107, "notify 1 0\nnotify 6 0\n"},
      // A recorded library that is never called is never looked for.
      {"nocall", 0, ""},
      // Drive, directory and ".vlb" removed from field 0 before the search.
      {"reduced", 1107, "notify 1 0\nnotify 6 0\n"},
      // Found by the second attempt, name + ".vlb".
      {"vlbonly", 1107, "notify 1 0\nnotify 6 0\n"},
      // Signature compared without case.
      {"upper", 1107, "notify 1 0\nnotify 6 0\n"},
      // Both libraries recorded; library 1's command looks up a data type of library 2, which
      // loads library 2 on demand.
      {"typelookup", 3001, "notify 1 0\nnotify 1 0\nnotify 6 0\nnotify 6 0\n"},
      // Requires core library 3.7: accepted by core 5.0.
      {"core37", 1107, "notify 1 0\nnotify 6 0\n"},
      // An OCX entry through the OCX bridge's InitCtl2: notification 6 carries its data word.
      {"ocx_ok", 2107, "bridge notify 1 0\nbridge notify 6 5151\n"},
      // InitCtl2 fails until the control is registered: registered, retried, unregistered at exit.
      {"ocx_register", 2107, "register\nbridge notify 1 0\nbridge notify 6 5151\nunregister\n"},
  };
  for (const Case& c : cases) {
    LoggedRun run(dir() + c.program + ".exe");
    ASSERT_TRUE(run.process().started()) << c.program;
    kit::DialogWatcher watcher(run.process().pid());
    EXPECT_EQ(run.exit_code(), c.want) << c.program;
    EXPECT_TRUE(watcher.seen().empty()) << c.program << ": " << watcher.seen()[0].text;
    EXPECT_EQ(run.log(), c.want_log) << c.program;
  }
}

TEST(LibraryLoading, RefusalsShowTheirExactMessage) {
  const std::string sig = kSig;
  const std::string ocx = "{FAIL0000-1111-2222-3333-444455556666}";
  const std::string guid = "{0C0C0C0C-1111-2222-3333-444455556666}";
  struct Case {
    const char* program;
    std::string message;
    const char* want_log;
    const char* released = nullptr;  // a refused module, gone while the message shows
  } cases[] = {
      {"missing", missing("缺失库1.0版", "missinglib", sig), ""},
      {"fourfields", "无效的支持库指定!", ""},
      {"lang3", missing("港台语言库1.0版", "lang3lib", sig) +
                    detail("指定支持库“港台语言库”所使用的语言为“中文(港台)”，而当前运行环境仅支持“中文(大陆)”语言。"), "", "lang3lib.vlr"},
      {"core51", missing("新核心库1.0版", "core51lib", sig) +
                     detail("支持库需要版本为 5.1 或以上的系统核心支持库的支持"), "", "core51lib.vlr"},
      {"badsig", missing("错签名库1.0版", "badsiglib", sig) + detail("支持库数字签名与程序的记录不同"), "", "badsiglib.vlr"},
      {"noruntime", missing("无运行库1.0版", "noruntimelib", sig) + detail("该支持库未提供运行支持代码"), "", "noruntimelib.vlb"},
      {"badformat", missing("旧格式库1.0版", "badformatlib", sig) + detail("无效的支持库"), "", "badformatlib.vlr"},
      {"noinf", missing("无入口库1.0版", "noinflib", sig) + detail("无效的支持库"), "", "noinflib.vlr"},
      {"ocx_fail", bridge("测试控件1.0版", "组件或类型库文件名为“testocx.ocx”", ocx) +
                       detail("OCX组件初始化错误：测试组件未注册"), "register\nunregister\n", "ctlbridge.vsx"},
      {"typelib_nobridge", bridge("测试类型库1.0版", "组件或类型库文件名为“testtyp.tlb”", guid + "#1.0#0") +
                               detail("OCX支持文件“" + dir() + "objbridge.vsx”无效!"), "", "objbridge.vsx"},
      {"nobridge\\wca_unloadable", bridge("测试包1.0版", "包装支持库文件名为“pack.wca”（运行时不需要）", guid) +
                                       detail("无法载入OCX支持文件“" + dir() + "nobridge\\ctlbridge.vsx”!"), ""},
  };
  for (const Case& c : cases) {
    LoggedRun run(dir() + c.program + ".exe");
    ASSERT_TRUE(run.process().started()) << c.program;
    const DWORD pid = run.process().pid();
    kit::DialogWatcher watcher(pid, kLeaveOpen);
    ASSERT_TRUE(watcher.wait_for(1)) << c.program;
    EXPECT_TRUE(module_loaded(pid, "kernel32.dll")) << c.program;  // the snapshot sees modules
    if (c.released) EXPECT_FALSE(module_loaded(pid, c.released)) << c.program << ": " << c.released;
    close_message(pid);
    const auto seen = watcher.seen();
    EXPECT_EQ(seen[0].caption, "错误") << c.program;
    EXPECT_EQ(seen[0].text, "运行时出错!\r\n\r\n错误信息：" + c.message + "\r\n") << c.program;
    EXPECT_EQ(run.exit_code(), DWORD(-1)) << c.program;
    EXPECT_EQ(seen.size(), 1u) << c.program;
    EXPECT_EQ(run.log(), c.want_log) << c.program;
  }
}

// A type library entry whose bridge refuses it until the type library is registered: the
// loader registers it from the file next to the program, retries, and unregisters it at exit.
TEST(LibraryLoading, TypeLibraryRegisteredForTheRunOnly) {
  const wchar_t kId[] = L"{7C0DE000-1111-2222-3333-444455556666}";
  GUID id;
  ASSERT_EQ(IIDFromString(kId, &id), S_OK);
  const std::string file = dir() + "typelib\\testtyp.tlb";
  std::wstring wfile(file.begin(), file.end());
  ICreateTypeLib2* make = nullptr;
  ASSERT_EQ(CreateTypeLib2(SYS_WIN32, wfile.c_str(), &make), S_OK);
  make->SetGuid(id);
  make->SetVersion(1, 0);
  make->SetLcid(0);
  make->SetName(const_cast<LPOLESTR>(L"OrvelTestTypes"));
  ASSERT_EQ(make->SaveAllChanges(), S_OK);
  make->Release();
  auto registered = [&] {
    ITypeLib* library = nullptr;
    if (FAILED(LoadRegTypeLib(id, 1, 0, 0, &library))) return false;
    library->Release();
    return true;
  };
  ASSERT_FALSE(registered());

  LoggedRun run(dir() + "typelib\\typelib_register.exe");
  ASSERT_TRUE(run.process().started());
  kit::DialogWatcher watcher(run.process().pid());
  EXPECT_EQ(run.exit_code(), 2107u);
  EXPECT_TRUE(watcher.seen().empty()) << watcher.seen()[0].text;
  EXPECT_EQ(run.log(), "bridge notify 1 0\nbridge notify 6 5151\n");
  EXPECT_FALSE(registered());  // unregistered at shutdown
  DeleteFileA(file.c_str());
}

}  // namespace
