// The program-wide set-up of the first image and the hidden runtime window.
#include <string>
#include "runtime/runtime.h"
#include "image/shutdown.h"
#include "image/library_loader.h"
#include "image/prepare.h"
#include "image/startup.h"
#include "runtime/registry.h"

namespace image {

namespace {

// The hidden runtime window: its only message of its own is the cross-thread exit request.
class HiddenWindow : public framework::Window {
 protected:
  LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == kExitRequest) exit_program(static_cast<int>(wp));
    return default_proc(msg, wp, lp);
  }
};

HiddenWindow g_hidden;

std::string directory_of(const std::string& path) {
  size_t slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string module_path(HMODULE module) {
  char buf[MAX_PATH];
  DWORD n = GetModuleFileNameA(module, buf, MAX_PATH);
  return std::string(buf, n < MAX_PATH ? n : 0);
}

void create_hidden_window() {
  runtime::Runtime& r = runtime::rt();
  if (r.hidden_window) return;
  framework::Window::register_class(kHiddenWindowClass, LoadCursor(nullptr, IDC_ARROW),
                                    static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)));
  if (g_hidden.create(kHiddenWindowClass, "", 0, WS_EX_TOOLWINDOW, 0, 0, 0, 0, nullptr, nullptr))
    r.hidden_window = g_hidden.handle();
}

}  // namespace

void program_setup() {
  runtime::Runtime& r = runtime::rt();
  r.module_dir = directory_of(module_path(r.main_module ? r.main_module : GetModuleHandleA(nullptr))) + "\\";
  std::string exe = module_path(nullptr);
  r.program_file = exe.substr(exe.rfind('\\') + 1);
  if (r.run_mode == 2) {
    char cwd[MAX_PATH];
    DWORD n = GetCurrentDirectoryA(MAX_PATH, cwd);
    r.program_dir.assign(cwd, n < MAX_PATH ? n : 0);
    if (!r.program_dir.empty() && r.program_dir.back() == '\\') r.program_dir.pop_back();
  } else {
    r.program_dir = directory_of(exe);
    SetCurrentDirectoryA((r.program_dir + "\\").c_str());
  }
  static const char* const kAddons[3] = {"audiodec.vsx", "sqlbridge.vsx", "objscope.vsx"};
  for (int i = 0; i < 3; ++i) r.addon_paths[i] = r.module_dir + kAddons[i];
  create_hidden_window();
  r.main_thread = GetCurrentThreadId();
  runtime::install_subsystems();
}

void install_lifecycle() {
  runtime::Lifecycle& l = runtime::lifecycle();
  l.ensure_loaded = &ensure_loaded;
  l.shutdown = &shutdown;
  l.exit_program = &exit_program;
  l.image_offset = &offset_in_image;
}

void destroy_hidden_window() {
  g_hidden.destroy();
  runtime::rt().hidden_window = nullptr;
}

}  // namespace image

