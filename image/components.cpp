// Run-time registration of OCX controls and type libraries named by bridge entries.
#include "image/components.h"
#include <windows.h>
#include <oleauto.h>
#include <cstdlib>
#include <vector>
#include "runtime/runtime.h"

namespace image {

namespace {

std::wstring wide(const std::string& gbk) {
  int n = MultiByteToWideChar(CP_ACP, 0, gbk.c_str(), -1, nullptr, 0);
  std::wstring w(n > 0 ? n - 1 : 0, L'\0');
  if (n > 1) MultiByteToWideChar(CP_ACP, 0, gbk.c_str(), -1, w.data(), n);
  return w;
}

struct Parts {
  std::string identifier, version, locale;
};

Parts split(const std::string& s) {
  Parts p;
  std::string* parts[3] = {&p.identifier, &p.version, &p.locale};
  size_t at = 0;
  for (int i = 0; i < 3 && at <= s.size(); ++i) {
    size_t hash = i < 2 ? s.find('#', at) : std::string::npos;
    *parts[i] = s.substr(at, hash == std::string::npos ? std::string::npos : hash - at);
    if (hash == std::string::npos) break;
    at = hash + 1;
  }
  return p;
}

// The places a component file is looked for: next to the runtime, next to the program.
std::vector<std::string> places(const std::string& file) {
  const runtime::Runtime& r = runtime::rt();
  return {r.module_dir + file, r.program_dir + "\\" + file};
}

bool type_library(const Parts& p, const std::string& text, const std::string& file, bool do_register) {
  if (!do_register) {
    GUID id;
    if (FAILED(IIDFromString(wide(p.identifier).c_str(), &id))) return false;
    size_t dot = p.version.find('.');
    WORD major = WORD(std::atoi(p.version.c_str()));
    WORD minor = WORD(dot == std::string::npos ? 0 : std::atoi(p.version.c_str() + dot + 1));
    UnRegisterTypeLib(id, major, minor, LCID(std::atoi(p.locale.c_str())), SYS_WIN32);
    return true;
  }
  std::vector<std::string> tries = places(file);
  tries.push_back(file);
  for (const std::string& path : tries) {
    std::wstring w = wide(path);
    ITypeLib* library = nullptr;
    if (FAILED(LoadTypeLibEx(w.c_str(), REGKIND_NONE, &library))) continue;
    HRESULT hr = RegisterTypeLib(library, w.data(), nullptr);
    library->Release();
    if (FAILED(hr)) return false;
    runtime::rt().component_texts.push_back(text);
    runtime::rt().registered_files.push_back(file);
    return true;
  }
  return false;
}

bool control(const std::string& text, const std::string& file, bool do_register) {
  HMODULE module = nullptr;
  for (const std::string& path : places(file))
    if ((module = LoadLibraryA(path.c_str()))) break;
  if (!module) return false;
  using Server = HRESULT(__stdcall*)();
  auto server = reinterpret_cast<Server>(
      GetProcAddress(module, do_register ? "DllRegisterServer" : "DllUnregisterServer"));
  bool ok = server && SUCCEEDED(server());
  FreeLibrary(module);
  if (ok && do_register) {
    runtime::rt().component_texts.push_back(text);
    runtime::rt().registered_files.push_back(file);
  }
  return ok;
}

}  // namespace

bool register_component(const std::string& text, const std::string& file, bool do_register) {
  if (runtime::rt().run_mode == 2 || file.empty()) return false;
  Parts p = split(text);
  if (!p.version.empty() && p.version[0] != '{') return type_library(p, text, file, do_register);
  return control(text, file, do_register);
}

void unregister_components() {
  runtime::Runtime& r = runtime::rt();
  std::vector<std::string> texts, files;
  texts.swap(r.component_texts);
  files.swap(r.registered_files);
  for (size_t i = 0; i < texts.size() && i < files.size(); ++i)
    register_component(texts[i], files[i], false);
}

}  // namespace image
