// The steps of a call by name: bind the name (cached per object value), convert the
// arguments last first, invoke, map the failure, write output parameters back, convert the
// result. Every temporary variant is cleared on every path.
#include "com/invoke.h"
#include <new>
#include <vector>
#include "com/last_error.h"

namespace com {

using runtime::ArgRecord;
using runtime::ResultRecord;

namespace {

// The address a by-reference argument points at inside its holding variant.
void* data_of(VARIANT* v) {
  return V_VT(v) == VT_DECIMAL ? static_cast<void*>(&V_DECIMAL(v)) : static_cast<void*>(&V_UI1(v));
}

// Converts `v` to `vt` in place; a value that does not convert stays as it is.
void try_change(VARIANT* v, VARTYPE vt) {
  if (vt == VT_EMPTY || vt == VT_VARIANT || V_VT(v) == vt) return;
  Variant c;
  if (SUCCEEDED(VariantChangeType(&c.v, v, 0, vt))) {
    VariantClear(v);
    *v = c.v;
    VariantInit(&c.v);
  }
}

struct Call {
  std::vector<VARIANT> holding;   // the values, owned
  std::vector<VARIANTARG> passed; // what Invoke sees, last argument first
  explicit Call(size_t n) : holding(n), passed(n) {
    for (VARIANT& v : holding) VariantInit(&v);
    for (VARIANT& v : passed) VariantInit(&v);
  }
  ~Call() {
    for (VARIANT& v : holding) VariantClear(&v);
  }
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;
};

// Builds argument i into the call: the value is held in the holding area; what is passed is
// the value itself, a reference to it (by-reference parameters), or a reference to the
// variant (variant parameters).
int prepare(Call& call, size_t i, const ArgRecord& a, const Param* declared) {
  VARIANT& held = call.holding[i];
  int code = to_variant(a, &held, Widen::kCallArgument);
  if (code != kOk) return code;
  VARIANTARG& out = call.passed[call.passed.size() - 1 - i];
  bool omitted = a.type == runtime::kTypeNone;
  if (!declared || omitted) {
    out = held;  // a variable argument list's items, and the omitted marker, go as they are
    return kOk;
  }
  if (declared->vt == VT_VARIANT) {
    V_VT(&out) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&out) = &held;
    return kOk;
  }
  try_change(&held, declared->vt);
  if (declared->byref) {
    V_VT(&out) = VT_BYREF | V_VT(&held);
    V_BYREF(&out) = data_of(&held);
  } else {
    out = held;
  }
  return kOk;
}

int invoke(ObjectValue* o, const char* name, Operation op, const ArgRecord* args, int argc,
           ResultKind kind, ResultRecord* r, std::string* detail) {
  if (!o) return kBadArgumentType;
  if (is_empty(o)) return kEmptyObject;
  Session* session = session_of(o);
  int code = session->open(o->unknown);
  if (code != kOk) return code;
  const Member* m = nullptr;
  if ((code = session->bind(name, op, &m)) != kOk) return code;

  // Trailing omitted arguments are not passed.
  size_t n = argc > 0 ? static_cast<size_t>(argc) : 0;
  while (n > 0 && args[n - 1].type == runtime::kTypeNone) --n;
  size_t declared = m->params.size();
  if (n > declared && !m->varargs) return kTooManyArguments;
  bool put = m->invoke_kind & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
  if (put && n == 0) return kBadParameterCount;

  Call call(n);
  for (size_t i = 0; i < n; ++i) {
    bool in_list = m->varargs && i + 1 >= declared;
    const Param* p = !in_list && i < declared ? &m->params[i] : nullptr;
    if ((code = prepare(call, i, args[i], p)) != kOk) return code;
  }
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{n ? call.passed.data() : nullptr, put ? &named : nullptr,
                    static_cast<UINT>(n), put ? 1u : 0u};
  Variant result;
  EXCEPINFO exception{};
  UINT bad_argument = 0;
  HRESULT hr = session->dispatch()->Invoke(m->id, IID_NULL, LOCALE_USER_DEFAULT, m->invoke_kind,
                                           &params, put ? nullptr : &result.v, &exception,
                                           &bad_argument);
  if (hr == DISP_E_EXCEPTION) {
    if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
    *detail = from_bstr(exception.bstrDescription);
  }
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  if (FAILED(hr)) return code_of(hr);

  // Output parameters passed as variables get what the member left in them.
  for (size_t i = 0; i < n && i < declared; ++i) {
    const Param& p = m->params[i];
    if ((p.flags & PARAMFLAG_FOUT) && (p.byref || p.vt == VT_VARIANT) && is_variable(args[i]))
      write_variable(args[i], call.holding[i]);
  }
  return put_result(result.v, kind, r);
}

}  // namespace

int invoke_by_name(ObjectValue* o, const char* name, Operation op, const ArgRecord* args,
                   int argc, ResultKind kind, ResultRecord* r) {
  std::string detail;
  int code;
  *r = {};
  try {
    code = invoke(o, name ? name : "", op, args, argc, kind, r, &detail);
  } catch (const std::bad_alloc&) {
    code = kOtherFailure;
  }
  if (code != kOk && code != kResultMismatch) put_empty(kind, r);
  set_last_error(code, detail);
  return code;
}

}  // namespace com
