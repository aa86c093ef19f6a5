// Support library loading: the core library from the program itself, ordinary libraries from
// files next to the runtime or the program, and the record of libraries loaded on demand.
#include "image/library_loader.h"
#include <windows.h>
#include <algorithm>
#include <cstring>
#include "corelib/descriptor.h"
#include "image/components.h"
#include "runtime/runtime.h"
#include "runtime/errors.h"
#include "runtime/notify.h"

namespace image {

namespace {

constexpr size_t kMessageRoom = 1024;
constexpr char kWebSite[] = "https://orvel.example/";  // a reserved domain: no real site

bool same_text(const std::string& a, const char* b) { return lstrcmpiA(a.c_str(), b) == 0; }

bool ends_with(const std::string& s, const char* tail) {
  size_t n = std::strlen(tail);
  return s.size() >= n && lstrcmpiA(s.c_str() + s.size() - n, tail) == 0;
}

const char* language_name(int32_t code) {
  switch (code) {
    case 1: return "中文(大陆)";
    case 2: return "英文";
    case 3: return "中文(港台)";
    case 4: return "日文";
    default: return "未知语言";
  }
}

// The checks of a descriptor, in order; an empty text when it is accepted.
std::string check_descriptor(const corelib::LibDescriptor* d, const std::string& signature,
                             bool core) {
  if (!d || d->format != corelib::kDescriptorFormat || !d->notify || d->major <= 0 ||
      !d->signature || !*d->signature)
    return "无效的支持库";
  if (lstrcmpiA(d->signature, signature.c_str()) != 0) return "支持库数字签名与程序的记录不同";
  if (d->language != 1 && d->language != 2) {
    char buf[512];
    wsprintfA(buf, "指定支持库“%s”所使用的语言为“%s”，而当前运行环境仅支持“%s”语言。",
              d->name ? d->name : "", language_name(d->language), language_name(1));
    return buf;
  }
  if (d->state_flags & 0x4) return "该支持库未提供运行支持代码";
  if (!core) {
    corelib::LibDescriptor* c = core_descriptor_loaded();
    if (!c) return "系统核心支持库应最先载入";
    if (c->major < d->core_major || (c->major == d->core_major && c->minor < d->core_minor)) {
      char buf[128];
      wsprintfA(buf, "支持库需要版本为 %d.%d 或以上的系统核心支持库的支持", d->core_major,
                d->core_minor);
      return buf;
    }
  }
  return "";
}

HMODULE load_first(const std::vector<std::string>& paths) {
  for (const std::string& p : paths)
    if (HMODULE m = LoadLibraryA(p.c_str())) return m;
  return nullptr;
}

bool is_bridge(const std::string& name) {
  return name.rfind('@', 0) == 0 || ends_with(name, ".wpa") || ends_with(name, ".wca");
}

// The message is built into one buffer of fixed size, so that the frames the error leaves
// behind hold nothing to release.
char g_message[kMessageRoom];

[[noreturn]] void refuse(const std::vector<std::string>& fields, const std::string& detail) {
  std::string name = library_file_name(fields[0]);
  std::string m = is_bridge(name) ? bridge_message(fields, detail)
                                  : missing_library_message(fields, detail);
  lstrcpynA(g_message, m.c_str(), sizeof g_message);
  runtime::raise_error(g_message, 0);
}

// Component, type library and OCX entries: through their bridge module's InitCtl2.
using InitCtl2 = const char*(__cdecl*)(const char* text, corelib::LibDescriptor** descriptor,
                                      uint32_t* data);

struct BridgeResult {
  HMODULE module = nullptr;
  corelib::LibDescriptor* descriptor = nullptr;
  uint32_t data = 0;
  std::string detail;
};

BridgeResult open_bridge(const std::vector<std::string>& f, const std::string& name) {
  runtime::Runtime& r = runtime::rt();
  bool control = (name.rfind('@', 0) == 0 && name.rfind("@@", 0) != 0 && !ends_with(name, ".wpa")) ||
                 ends_with(name, ".wca");
  const char* file = control ? "ctlbridge.vsx" : "objbridge.vsx";
  BridgeResult b;
  std::string tried = r.module_dir + file;
  b.module = LoadLibraryA(tried.c_str());
  if (!b.module) {
    tried = r.program_dir + "\\" + file;
    b.module = LoadLibraryA(tried.c_str());
  }
  if (!b.module) {
    b.detail = "无法载入OCX支持文件“" + tried + "”!";
    return b;
  }
  auto init = reinterpret_cast<InitCtl2>(GetProcAddress(b.module, "InitCtl2"));
  if (!init) {
    FreeLibrary(b.module);
    b.module = nullptr;
    b.detail = "OCX支持文件“" + tried + "”无效!";
    return b;
  }
  std::string text = f[1];
  if (f.size() > 5 && !f[5].empty()) text += "#" + f[5];
  const char* error = init(text.c_str(), &b.descriptor, &b.data);
  // A component, type library or OCX not yet known to the system: register it, then retry.
  if (error && name.rfind('@', 0) == 0 &&
      register_component(text, name.substr(std::min(name.find_first_not_of('@'), name.size())), true))
    error = init(text.c_str(), &b.descriptor, &b.data);
  if (error) {
    b.detail = std::string("OCX组件初始化错误：") + error;
    FreeLibrary(b.module);
    b.module = nullptr;
  }
  return b;
}

runtime::LibrarySlot& slot(uint32_t number) {
  auto& libs = runtime::rt().libraries;
  if (libs.size() <= number) libs.resize(number + 1);
  return libs[number];
}

void accept(uint32_t number, HMODULE module, uint32_t data, corelib::LibDescriptor* d) {
  d->notify(1, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&runtime::notify)), 0);
  runtime::LibrarySlot& lib = slot(number);  // the notification may have grown the tables
  lib.module = module;
  lib.data = data;
  lib.descriptor = d;
  lib.commands = d->commands;
  lib.pending.clear();
}

}  // namespace

std::vector<std::string> entry_fields(const char* entry) {
  std::vector<std::string> fields(1);
  for (const char* p = entry; *p; ++p) {
    if (*p == '\r' && fields.size() < 6) fields.emplace_back();
    else fields.back() += *p;
  }
  return fields;
}

std::string library_file_name(const std::string& field0) {
  std::string name = field0.substr(field0.rfind('\\') + 1);
  if (name.rfind('@', 0) == 0 || ends_with(name, ".wpa") || ends_with(name, ".wca")) return name;
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string bridge_message(const std::vector<std::string>& f, const std::string& detail) {
  std::string name = library_file_name(f[0]);
  std::string display = f[4] + f[2] + "." + f[3] + "版";
  bool package = ends_with(name, ".wpa") || ends_with(name, ".wca");
  std::string file = name.substr(name.find_first_not_of('@') == std::string::npos
                                     ? name.size() : name.find_first_not_of('@'));
  std::string kind = package ? "包装支持库文件名为“" + file + "”（运行时不需要）"
                             : "组件或类型库文件名为“" + file + "”";
  std::string m = "不能载入OCX组件“" + display + "”，其" + kind + "，数字签名为“" + f[1] +
                  "”，请确认该组件已经被安装到Windows系统中。";
  if (!detail.empty()) m += "\r\n\r\n具体信息：" + detail;
  if (m.size() >= kMessageRoom) m.resize(kMessageRoom - 1);
  return m;
}

std::string missing_library_message(const std::vector<std::string>& f, const std::string& detail) {
  std::string display = f[4] + f[2] + "." + f[3] + "版";
  std::string file = library_file_name(f[0]);
  std::string m = "您的程序缺少一个名为“" + display + "”的Orvel支持库，其文件名为“" + file +
                  ".vlr”或“" + file + ".vlb”，数字签名为“" + f[1] +
                  "”，此文件可以通过重新安装您的程序修复，或直接到Orvel网站 " + kWebSite +
                  " 下载Orvel最新版安装后得到这个文件并拷贝到您的程序目录中。";
  if (!detail.empty()) m += "\r\n\r\n具体信息：" + detail;
  if (m.size() >= kMessageRoom) m.resize(kMessageRoom - 1);
  return m;
}

corelib::LibDescriptor* core_descriptor_loaded() {
  auto& libs = runtime::rt().libraries;
  return libs.empty() ? nullptr : libs[0].descriptor;
}

bool load_library_entry(const char* entry, uint32_t number, bool on_demand) {
  runtime::Runtime& r = runtime::rt();
  runtime::LibrarySlot& lib = slot(number);
  if (!entry || !*entry) {
    lib = {};
    return true;
  }
  std::vector<std::string> f = entry_fields(entry);
  if (f.size() < 5) runtime::raise_error("无效的支持库指定!", 0);
  bool core = same_text(f[1], corelib::kCoreSignature);
  if (!core && !on_demand) {
    lib = {};
    lib.pending = entry;
    return true;
  }
  std::string name = library_file_name(f[0]);
  if (!core && is_bridge(name)) {
    BridgeResult b = open_bridge(f, name);
    std::string detail = b.detail;
    if (detail.empty()) detail = check_descriptor(b.descriptor, f[1], false);
    if (!detail.empty()) {
      if (b.module) {
        if (b.data && b.descriptor && b.descriptor->notify) b.descriptor->notify(6, b.data, 0);
        FreeLibrary(b.module);
      }
      refuse(f, detail);
    }
    accept(number, b.module, b.data, b.descriptor);
    return true;
  }

  HMODULE module = core ? r.main_module
                        : load_first({r.module_dir + name + ".vlr", r.module_dir + name + ".vlb",
                                      r.program_dir + "\\" + name + ".vlr",
                                      r.program_dir + "\\" + name + ".vlb"});
  if (!module) refuse(f, "");
  using InfoEntry = corelib::LibDescriptor*(__stdcall*)();
  auto info = reinterpret_cast<InfoEntry>(GetProcAddress(module, "GetNewInf"));
  corelib::LibDescriptor* d = info ? info() : nullptr;
  std::string detail = d ? check_descriptor(d, f[1], core) : "无效的支持库";
  if (!detail.empty()) {
    if (module != r.main_module) FreeLibrary(module);
    refuse(f, detail);
  }
  accept(number, module, 0, d);
  return true;
}

void ensure_loaded(uint32_t number) {
  runtime::LibrarySlot& lib = slot(number);
  if (lib.descriptor) return;
  if (lib.pending.empty()) runtime::raise_error("无效的支持库指定!", 0);
  std::string entry = lib.pending;
  load_library_entry(entry.c_str(), number, true);
}

}  // namespace image
