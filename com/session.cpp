// Binding names through an object's type information, in the order of invocation kinds each
// operation allows, with the results cached per object value.
#include "com/session.h"
#include <span>
#include <unordered_set>
#include "com/last_error.h"

namespace com {

namespace {

// The invocation kinds each operation tries, in order, until one binds.
constexpr WORD kReadKinds[] = {INVOKE_PROPERTYGET, INVOKE_FUNC};
constexpr WORD kWriteKinds[] = {INVOKE_PROPERTYPUT, INVOKE_PROPERTYPUTREF, INVOKE_FUNC};
constexpr WORD kCallKinds[] = {INVOKE_FUNC, INVOKE_PROPERTYGET, INVOKE_PROPERTYPUT,
                               INVOKE_PROPERTYPUTREF};
constexpr std::span<const WORD> kKinds[] = {kReadKinds, kWriteKinds, kCallKinds};  // by Operation

Param param_of(const ELEMDESC& e) {
  Param p{VT_EMPTY, false, e.paramdesc.wParamFlags};
  const TYPEDESC* t = &e.tdesc;
  if (t->vt == VT_PTR && t->lptdesc) {
    p.byref = true;
    t = t->lptdesc;
  }
  // Interfaces, records and nested pointers are passed as they come.
  if (t->vt != VT_PTR && t->vt != VT_USERDEFINED && t->vt != VT_SAFEARRAY && t->vt != VT_CARRAY)
    p.vt = t->vt;
  return p;
}

Member from_function(const FUNCDESC& f) {
  Member m;
  m.id = f.memid;
  m.invoke_kind = static_cast<WORD>(f.invkind);
  for (SHORT i = 0; i < f.cParams; ++i) {
    const ELEMDESC& e = f.lprgelemdescParam[i];
    // A vtable view lists the result and locale as parameters; callers never pass them.
    if (e.paramdesc.wParamFlags & (PARAMFLAG_FRETVAL | PARAMFLAG_FLCID)) continue;
    m.params.push_back(param_of(e));
  }
  m.varargs = f.cParamsOpt == -1 && !m.params.empty();
  return m;
}

bool is_object_type(VARTYPE vt) {
  return vt == VT_DISPATCH || vt == VT_UNKNOWN || vt == VT_PTR || vt == VT_USERDEFINED;
}

// A data member: read with property-get; written with property-put, or property-put-by-
// reference when it is declared as an object reference.
Member from_variable(const VARDESC& v, Operation op) {
  Member m;
  m.id = v.memid;
  VARTYPE vt = v.elemdescVar.tdesc.vt;
  if (op == Operation::kWrite) {
    m.invoke_kind = is_object_type(vt) ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
    m.params.push_back(param_of(v.elemdescVar));
    m.params.back().flags = PARAMFLAG_FIN;
  } else {
    m.invoke_kind = DISPATCH_PROPERTYGET;
  }
  return m;
}

// The registry is read on every call and written when values come and go.
SRWLOCK g_registry_lock = SRWLOCK_INIT;
std::unordered_set<uint32_t> g_sessions;

class Shared {
 public:
  Shared() { AcquireSRWLockShared(&g_registry_lock); }
  ~Shared() { ReleaseSRWLockShared(&g_registry_lock); }
};
class Exclusive {
 public:
  Exclusive() { AcquireSRWLockExclusive(&g_registry_lock); }
  ~Exclusive() { ReleaseSRWLockExclusive(&g_registry_lock); }
};

uint32_t word_of(Session* s) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(s)); }

}  // namespace

int Session::open(IUnknown* unknown) {
  if (comp_) return kOk;
  if (!dispatch_ && FAILED(unknown->QueryInterface(IID_IDispatch, dispatch_.out_void())))
    return kNoDispatch;
  if (!dispatch_) return kNoDispatch;
  Ref<ITypeInfo> info;
  if (FAILED(dispatch_->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.out())) || !info)
    return kNoTypeInfo;
  if (FAILED(info->GetTypeComp(comp_.out())) || !comp_) return kNoTypeInfo;
  return kOk;
}

int Session::bind(const char* name, Operation op, const Member** out) {
  Members& cache = members_[static_cast<int>(op)];
  if (auto it = cache.find(std::string_view(name)); it != cache.end()) {
    *out = &it->second;
    return kOk;
  }
  std::wstring wide = to_wide(name);
  ULONG hash = LHashValOfNameSys(SYS_WIN32, LOCALE_USER_DEFAULT, wide.c_str());
  const std::span<const WORD> kinds = kKinds[static_cast<int>(op)];
  for (size_t i = 0; i < kinds.size(); ++i) {
    Ref<ITypeInfo> info;
    DESCKIND kind = DESCKIND_NONE;
    BINDPTR bound{};
    if (FAILED(comp_->Bind(wide.data(), hash, kinds[i], info.out(), &kind, &bound))) continue;
    if (kind == DESCKIND_FUNCDESC) {
      Member m = from_function(*bound.lpfuncdesc);
      if (info) info->ReleaseFuncDesc(bound.lpfuncdesc);
      *out = &(cache[name] = std::move(m));
      return kOk;
    }
    if (kind == DESCKIND_VARDESC || kind == DESCKIND_IMPLICITAPPOBJ) {
      Member m = from_variable(*bound.lpvardesc, op);
      if (info) info->ReleaseVarDesc(bound.lpvardesc);
      *out = &(cache[name] = std::move(m));
      return kOk;
    }
    if (kind == DESCKIND_TYPECOMP && bound.lptcomp) bound.lptcomp->Release();
  }
  return kNoSuchName;
}

Session* new_session() {
  Session* s = new Session;
  Exclusive lock;
  g_sessions.insert(word_of(s));
  return s;
}

Session* live_session(uint32_t aux) {
  if (aux == 0) return nullptr;
  Shared lock;
  return g_sessions.count(aux) ? reinterpret_cast<Session*>(static_cast<uintptr_t>(aux)) : nullptr;
}

void delete_session(uint32_t aux) {
  {
    Exclusive lock;
    if (aux == 0 || g_sessions.erase(aux) == 0) return;
  }
  delete reinterpret_cast<Session*>(static_cast<uintptr_t>(aux));
}

}  // namespace com
