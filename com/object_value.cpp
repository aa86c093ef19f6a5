// Object values: storing and releasing references, creating objects by class, attaching to
// running ones, comparing them; the runtime's release request for object values.
#include "com/object_value.h"
#include <cstring>
#include <string>
#include "com/last_error.h"
#include "com/ole_types.h"
#include "com/session.h"
#include "runtime/args.h"
#include "runtime/heap.h"
#include "runtime/registry.h"

namespace com {

using runtime::ArgRecord;

namespace {

template <typename T>
T* at(uint32_t address) { return reinterpret_cast<T*>(static_cast<uintptr_t>(address)); }

// A program identifier, or a class identifier in braces.
bool class_id(const char* name, CLSID* out) {
  std::wstring w = to_wide(name);
  if (w.empty()) return false;
  HRESULT hr = w[0] == L'{' ? CLSIDFromString(w.data(), out) : CLSIDFromProgID(w.c_str(), out);
  return SUCCEEDED(hr);
}

// Creates the class named `name` through the type library in `file`: the library is loaded
// (and registered when the file name has a directory), the class found by name among its
// types and created through its class entry.
IUnknown* create_from_library(const char* name, const char* file) {
  std::wstring path = to_wide(file), wname = to_wide(name);
  bool has_directory = std::strpbrk(file, "\\/:") != nullptr;
  Ref<ITypeLib> lib;
  if (FAILED(LoadTypeLibEx(path.c_str(), has_directory ? REGKIND_REGISTER : REGKIND_NONE, lib.out())))
    return nullptr;
  UINT count = lib->GetTypeInfoCount();
  for (UINT i = 0; i < count; ++i) {
    TYPEKIND kind;
    BSTR type_name = nullptr;
    if (FAILED(lib->GetTypeInfoType(i, &kind)) || kind != TKIND_COCLASS) continue;
    if (FAILED(lib->GetDocumentation(static_cast<INT>(i), &type_name, nullptr, nullptr, nullptr)))
      continue;
    bool match = type_name && _wcsicmp(type_name, wname.c_str()) == 0;
    SysFreeString(type_name);
    if (!match) continue;
    Ref<ITypeInfo> info;
    IUnknown* made = nullptr;
    if (SUCCEEDED(lib->GetTypeInfo(i, info.out())) &&
        SUCCEEDED(info->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&made))))
      return made;
  }
  return nullptr;
}

IUnknown* create_by_class(const char* name) {
  CLSID id;
  if (!class_id(name, &id)) return nullptr;
  IUnknown* made = nullptr;
  HRESULT hr = CoCreateInstance(id, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&made));
  if (hr == E_INVALIDARG)  // a platform that refuses the remote context
    hr = CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown,
                          reinterpret_cast<void**>(&made));
  return SUCCEEDED(hr) ? made : nullptr;
}

int64_t release_request(uint32_t value, uint32_t) {
  if (ObjectValue* o = at<ObjectValue>(value)) release(o);
  return 0;
}

constexpr runtime::CodeAnswer kAnswers[] = {
    {2035, release_request},
};

}  // namespace

uint32_t unmarked_type(uint32_t type) {
  if ((type & 0xC0000000u) != runtime::kVariableMark) return type;
  uint32_t t = type & 0x3FFFFFFFu;
  // System types keep their class bit; library types have their library number above bit 16.
  return (t & 0x1FFF0000u) == 0 ? t | 0x80000000u : t;
}

bool is_variable(const ArgRecord& a) {
  return (a.type & 0xC0000000u) == runtime::kVariableMark;
}

ObjectValue* object_arg(const ArgRecord& a) {
  return unmarked_type(a.type) == kObjectType ? at<ObjectValue>(a.lo) : nullptr;
}

VARIANT* variant_arg(const ArgRecord& a) {
  return unmarked_type(a.type) == kVariantType ? at<VARIANT>(a.lo) : nullptr;
}

ObjectValue* new_object_block() {
  auto* o = static_cast<ObjectValue*>(runtime::allocate(sizeof(ObjectValue)));
  *o = {};
  return o;
}

VARIANT* new_variant_block() {
  auto* v = static_cast<VARIANT*>(runtime::allocate(sizeof(VARIANT)));
  std::memset(v, 0, sizeof *v);
  return v;
}

bool is_empty(const ObjectValue* o) { return !o || !o->unknown; }

void store(ObjectValue* o, IUnknown* any) {
  IUnknown* base = nullptr;
  if (any && FAILED(any->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&base)))) base = nullptr;
  release(o);
  o->unknown = base;
}

void release(ObjectValue* o) {
  if (!o) return;
  IUnknown* old = o->unknown;
  uint32_t aux = o->aux;
  *o = {};  // empty before the release runs: a destructor may reach this value again
  delete_session(aux);
  if (old) old->Release();
}

Session* session_of(ObjectValue* o) {
  if (is_empty(o)) return nullptr;
  if (Session* s = live_session(o->aux)) return s;
  Session* s = new_session();
  o->aux = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(s));
  return s;
}

void assign(ObjectValue* to, const ObjectValue* from) {
  if (!to) return set_last_error(kBadArgumentType);
  if (to == from) return set_last_error(kOk);
  store(to, from ? from->unknown : nullptr);
  set_last_error(kOk);
}

bool create(ObjectValue* o, const char* class_name, const char* type_library) {
  if (!o) {
    set_last_error(kBadArgumentType);
    return false;
  }
  IUnknown* made = nullptr;
  if (class_name[0] != '{' && type_library && type_library[0])
    made = create_from_library(class_name, type_library);
  if (!made) made = create_by_class(class_name);
  if (made && FAILED(OleRun(made))) {
    made->Release();
    made = nullptr;
  }
  if (!made) {
    set_last_error(kOtherFailure);
    return false;
  }
  store(o, made);
  made->Release();
  set_last_error(kOk);
  return true;
}

bool attach(ObjectValue* o, const char* class_name) {
  CLSID id;
  IUnknown* running = nullptr;
  if (!o || !class_id(class_name, &id) || FAILED(GetActiveObject(id, nullptr, &running)) || !running) {
    set_last_error(o ? kOtherFailure : kBadArgumentType);
    return false;
  }
  store(o, running);
  running->Release();
  set_last_error(kOk);
  return true;
}

bool same(const ObjectValue* a, const ObjectValue* b) {
  set_last_error(kOk);
  if (is_empty(a) || is_empty(b)) return is_empty(a) && is_empty(b);
  Ref<IUnknown> x, y;
  if (FAILED(a->unknown->QueryInterface(IID_IUnknown, x.out_void())) ||
      FAILED(b->unknown->QueryInterface(IID_IUnknown, y.out_void())))
    return false;
  return x.get() == y.get();
}

void install_object_values() { runtime::register_answers(kAnswers); }

}  // namespace com
