// An in-process automation server for the object tests: one class ("OrvelTest.Probe") whose
// dispatch interface has properties and methods of every kind the late-bound calls meet
// (typed, by-reference and output parameters, optional and variable argument lists, object
// results, a failing method), type information built in memory, and a count of live objects
// so that tests see every reference come back.
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// {6D1C3A52-1E4B-4C8E-9B7A-2F5D81C0E917}
const CLSID kClsid = {0x6d1c3a52, 0x1e4b, 0x4c8e, {0x9b, 0x7a, 0x2f, 0x5d, 0x81, 0xc0, 0xe9, 0x17}};
// {6D1C3A53-1E4B-4C8E-9B7A-2F5D81C0E917}
const IID kIid = {0x6d1c3a53, 0x1e4b, 0x4c8e, {0x9b, 0x7a, 0x2f, 0x5d, 0x81, 0xc0, 0xe9, 0x17}};
const wchar_t kClsidText[] = L"{6D1C3A52-1E4B-4C8E-9B7A-2F5D81C0E917}";
const wchar_t kProgId[] = L"OrvelTest.Probe";

HMODULE g_module;
LONG g_live;         // live probe objects
LONG g_locks;        // server locks
ITypeInfo* g_type;   // the dispatch interface's type information, built once

enum Member : DISPID {
  kName = 1, kNumber, kFlag, kWhen, kChild, kValue, kItem, kLive,
  kEcho = 20, kTypeOf, kOptional, kJoin, kTwice, kGreet, kFail, kMakeChild, kNoArgs,
  kRegister, kRevoke, kScale, kRaise, kFailLater,
  kTag = 40, kPeer,  // data members: a variant, and an object (put by reference)
};

// ---- type information ----

struct ParamSpec {
  const wchar_t* name;
  VARTYPE vt;
  bool byref;
  USHORT flags;  // PARAMFLAG_*
};

struct MemberSpec {
  const wchar_t* name;
  DISPID id;
  INVOKEKIND kind;
  VARTYPE result;
  std::vector<ParamSpec> params;
  SHORT optional = 0;  // -1: variable argument list
};

const std::vector<MemberSpec>& members() {
  static const std::vector<MemberSpec> m = {
      {L"Name", kName, INVOKE_PROPERTYGET, VT_BSTR, {}},
      {L"Name", kName, INVOKE_PROPERTYPUT, VT_VOID, {{L"v", VT_BSTR, false, PARAMFLAG_FIN}}},
      {L"Number", kNumber, INVOKE_PROPERTYGET, VT_R8, {}},
      {L"Number", kNumber, INVOKE_PROPERTYPUT, VT_VOID, {{L"v", VT_R8, false, PARAMFLAG_FIN}}},
      {L"Flag", kFlag, INVOKE_PROPERTYGET, VT_BOOL, {}},
      {L"Flag", kFlag, INVOKE_PROPERTYPUT, VT_VOID, {{L"v", VT_BOOL, false, PARAMFLAG_FIN}}},
      {L"When", kWhen, INVOKE_PROPERTYGET, VT_DATE, {}},
      {L"When", kWhen, INVOKE_PROPERTYPUT, VT_VOID, {{L"v", VT_DATE, false, PARAMFLAG_FIN}}},
      {L"Child", kChild, INVOKE_PROPERTYGET, VT_DISPATCH, {}},
      {L"Child", kChild, INVOKE_PROPERTYPUTREF, VT_VOID, {{L"v", VT_DISPATCH, false, PARAMFLAG_FIN}}},
      {L"Value", kValue, INVOKE_PROPERTYGET, VT_VARIANT, {}},
      {L"Value", kValue, INVOKE_PROPERTYPUT, VT_VOID, {{L"v", VT_VARIANT, false, PARAMFLAG_FIN}}},
      {L"Item", kItem, INVOKE_PROPERTYGET, VT_VARIANT, {{L"key", VT_VARIANT, false, PARAMFLAG_FIN}}},
      {L"Item", kItem, INVOKE_PROPERTYPUT, VT_VOID,
       {{L"key", VT_VARIANT, false, PARAMFLAG_FIN}, {L"v", VT_VARIANT, false, PARAMFLAG_FIN}}},
      {L"Live", kLive, INVOKE_PROPERTYGET, VT_I4, {}},
      {L"Echo", kEcho, INVOKE_FUNC, VT_VARIANT, {{L"v", VT_VARIANT, false, PARAMFLAG_FIN}}},
      {L"TypeOf", kTypeOf, INVOKE_FUNC, VT_BSTR, {{L"v", VT_VARIANT, false, PARAMFLAG_FIN}}},
      {L"Optional", kOptional, INVOKE_FUNC, VT_BSTR,
       {{L"a", VT_VARIANT, false, PARAMFLAG_FIN | PARAMFLAG_FOPT},
        {L"b", VT_VARIANT, false, PARAMFLAG_FIN | PARAMFLAG_FOPT},
        {L"c", VT_VARIANT, false, PARAMFLAG_FIN | PARAMFLAG_FOPT}}},
      {L"Join", kJoin, INVOKE_FUNC, VT_BSTR,
       {{L"sep", VT_BSTR, false, PARAMFLAG_FIN}, {L"items", VT_SAFEARRAY, false, PARAMFLAG_FIN}},
       -1},
      {L"Twice", kTwice, INVOKE_FUNC, VT_VOID, {{L"n", VT_I4, true, PARAMFLAG_FIN | PARAMFLAG_FOUT}}},
      {L"Greet", kGreet, INVOKE_FUNC, VT_VOID,
       {{L"text", VT_BSTR, true, PARAMFLAG_FOUT}, {L"v", VT_VARIANT, true, PARAMFLAG_FIN | PARAMFLAG_FOUT}}},
      {L"Fail", kFail, INVOKE_FUNC, VT_VOID, {{L"description", VT_BSTR, false, PARAMFLAG_FIN}}},
      {L"MakeChild", kMakeChild, INVOKE_FUNC, VT_DISPATCH, {}},
      {L"NoArgs", kNoArgs, INVOKE_FUNC, VT_I4, {}},
      {L"Register", kRegister, INVOKE_FUNC, VT_I4, {}},
      {L"Revoke", kRevoke, INVOKE_FUNC, VT_VOID, {}},
      {L"Scale", kScale, INVOKE_FUNC, VT_R8,
       {{L"a", VT_I4, false, PARAMFLAG_FIN}, {L"b", VT_R8, false, PARAMFLAG_FIN}}},
      {L"Raise", kRaise, INVOKE_FUNC, VT_VOID, {{L"result", VT_I4, false, PARAMFLAG_FIN}}},
      {L"FailLater", kFailLater, INVOKE_FUNC, VT_VOID, {}},
  };
  return m;
}

// Builds the dispatch interface's type information in memory (nothing is written to disk).
HRESULT build_type_info() {
  if (g_type) return S_OK;
  ICreateTypeLib2* lib = nullptr;
  HRESULT hr = CreateTypeLib2(SYS_WIN32, L"orvel_probe.tlb", &lib);
  if (FAILED(hr)) return hr;
  ICreateTypeInfo* ti = nullptr;
  hr = lib->CreateTypeInfo(const_cast<LPOLESTR>(L"IProbe"), TKIND_DISPATCH, &ti);
  ITypeLib* std_lib = nullptr;
  ITypeInfo* dispatch = nullptr;
  HREFTYPE ref = 0;
  if (SUCCEEDED(hr)) hr = ti->SetGuid(kIid);
  if (SUCCEEDED(hr)) hr = LoadRegTypeLib(IID_StdOle, 2, 0, LOCALE_NEUTRAL, &std_lib);
  if (SUCCEEDED(hr)) hr = std_lib->GetTypeInfoOfGuid(IID_IDispatch, &dispatch);
  if (SUCCEEDED(hr)) hr = ti->AddRefTypeInfo(dispatch, &ref);
  if (SUCCEEDED(hr)) hr = ti->AddImplType(0, ref);
  UINT index = 0;
  for (const MemberSpec& m : members()) {
    if (FAILED(hr)) break;
    std::vector<ELEMDESC> params(m.params.size());
    std::vector<TYPEDESC> pointed(m.params.size());
    std::vector<LPOLESTR> names{const_cast<LPOLESTR>(m.name)};
    for (size_t i = 0; i < m.params.size(); ++i) {
      const ParamSpec& p = m.params[i];
      ELEMDESC& e = params[i];
      e = {};
      if (p.byref) {
        pointed[i].vt = p.vt;
        e.tdesc.vt = VT_PTR;
        e.tdesc.lptdesc = &pointed[i];
      } else if (p.vt == VT_SAFEARRAY) {
        pointed[i].vt = VT_VARIANT;
        e.tdesc.vt = VT_SAFEARRAY;
        e.tdesc.lptdesc = &pointed[i];
      } else {
        e.tdesc.vt = p.vt;
      }
      e.paramdesc.wParamFlags = p.flags;
      names.push_back(const_cast<LPOLESTR>(p.name));
    }
    FUNCDESC fd{};
    fd.memid = m.id;
    fd.funckind = FUNC_DISPATCH;
    fd.invkind = m.kind;
    fd.callconv = CC_STDCALL;
    fd.cParams = static_cast<SHORT>(m.params.size());
    fd.cParamsOpt = m.optional;
    fd.lprgelemdescParam = params.empty() ? nullptr : params.data();
    fd.elemdescFunc.tdesc.vt = m.result;
    hr = ti->AddFuncDesc(index, &fd);
    // A property put names no parameter: its value is the unnamed last one.
    UINT count = static_cast<UINT>(names.size());
    if (m.kind & (INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF)) --count;
    if (SUCCEEDED(hr)) hr = ti->SetFuncAndParamNames(index, names.data(), count);
    ++index;
  }
  // Data members.
  const struct {
    const wchar_t* name;
    DISPID id;
    VARTYPE vt;
  } variables[] = {{L"Tag", kTag, VT_VARIANT}, {L"Peer", kPeer, VT_DISPATCH}};
  index = 0;
  for (const auto& v : variables) {
    if (FAILED(hr)) break;
    VARDESC vd{};
    vd.memid = v.id;
    vd.varkind = VAR_DISPATCH;
    vd.elemdescVar.tdesc.vt = v.vt;
    hr = ti->AddVarDesc(index, &vd);
    if (SUCCEEDED(hr)) hr = ti->SetVarName(index, const_cast<LPOLESTR>(v.name));
    ++index;
  }
  if (SUCCEEDED(hr)) hr = ti->LayOut();
  if (SUCCEEDED(hr)) hr = ti->QueryInterface(IID_ITypeInfo, reinterpret_cast<void**>(&g_type));
  if (dispatch) dispatch->Release();
  if (std_lib) std_lib->Release();
  if (ti) ti->Release();
  lib->Release();
  return hr;
}

// ---- helpers ----

const VARIANT* deref(const VARIANT* v) {
  while (V_VT(v) == (VT_BYREF | VT_VARIANT)) v = V_VARIANTREF(v);
  return v;
}

std::wstring text_of(const VARIANT* v) {
  v = deref(v);
  if (V_VT(v) == (VT_ERROR) && V_ERROR(v) == DISP_E_PARAMNOTFOUND) return L"missing";
  VARIANT t;
  VariantInit(&t);
  if (FAILED(VariantChangeType(&t, const_cast<VARIANT*>(v), VARIANT_NOUSEROVERRIDE, VT_BSTR)))
    return L"?";
  std::wstring s(V_BSTR(&t), SysStringLen(V_BSTR(&t)));
  VariantClear(&t);
  return s;
}

HRESULT return_text(VARIANT* result, const std::wstring& s) {
  if (!result) return S_OK;
  V_VT(result) = VT_BSTR;
  V_BSTR(result) = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
  return S_OK;
}

// The value of a by-value argument converted to `vt`.
HRESULT arg_as(const VARIANT* arg, VARTYPE vt, VARIANT* out) {
  VariantInit(out);
  return VariantChangeType(out, const_cast<VARIANT*>(deref(arg)), 0, vt);
}

HRESULT __stdcall fill_in_later(EXCEPINFO* exc) {
  exc->bstrDescription = SysAllocString(L"later");
  return S_OK;
}

// ---- the probe object ----

class Probe final : public IDispatch {
 public:
  Probe() {
    InterlockedIncrement(&g_live);
    VariantInit(&value_);
    VariantInit(&tag_);
    VariantInit(&peer_);
  }
  ~Probe() {
    VariantClear(&value_);
    VariantClear(&tag_);
    VariantClear(&peer_);
    for (auto& [k, v] : items_) VariantClear(&v);
    if (child_) child_->Release();
    SysFreeString(name_);
    InterlockedDecrement(&g_live);
  }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == kIid) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return n;
  }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
    if (index != 0) return DISP_E_BADINDEX;
    g_type->AddRef();
    *out = g_type;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    return DispGetIDsOfNames(g_type, names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* p,
                                   VARIANT* result, EXCEPINFO* exc, UINT* bad) override;

 private:
  HRESULT get_or_put(WORD flags, DISPPARAMS* p, VARIANT* result, VARIANT* slot);

  LONG refs_ = 1;
  BSTR name_ = nullptr;
  double number_ = 0;
  VARIANT_BOOL flag_ = VARIANT_FALSE;
  DATE when_ = 0;
  IDispatch* child_ = nullptr;
  VARIANT value_, tag_, peer_;
  std::vector<std::pair<std::wstring, VARIANT>> items_;
  DWORD cookie_ = 0;
};

// Get: copy the slot out; put: copy the (dereferenced) value in.
HRESULT Probe::get_or_put(WORD flags, DISPPARAMS* p, VARIANT* result, VARIANT* slot) {
  if (flags & DISPATCH_PROPERTYPUT) {
    if (p->cArgs < 1) return DISP_E_BADPARAMCOUNT;
    VariantClear(slot);
    return VariantCopyInd(slot, const_cast<VARIANT*>(deref(&p->rgvarg[0])));
  }
  return result ? VariantCopy(result, slot) : S_OK;
}

HRESULT Probe::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* p, VARIANT* result,
                      EXCEPINFO* exc, UINT*) {
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  VARIANT a;
  VariantInit(&a);
  auto arg = [&](UINT i) -> VARIANT* { return &p->rgvarg[p->cArgs - 1 - i]; };  // i-th in order
  HRESULT hr = S_OK;
  switch (id) {
    case kName:
      if (put) {
        if (p->cArgs != 1) return DISP_E_BADPARAMCOUNT;
        if (FAILED(hr = arg_as(&p->rgvarg[0], VT_BSTR, &a))) return hr;
        SysFreeString(name_);
        name_ = V_BSTR(&a);
        return S_OK;
      }
      return return_text(result, name_ ? name_ : L"");
    case kNumber:
      if (put) {
        if (FAILED(hr = arg_as(&p->rgvarg[0], VT_R8, &a))) return hr;
        number_ = V_R8(&a);
        return S_OK;
      }
      if (result) V_VT(result) = VT_R8, V_R8(result) = number_;
      return S_OK;
    case kFlag:
      if (put) {
        if (FAILED(hr = arg_as(&p->rgvarg[0], VT_BOOL, &a))) return hr;
        flag_ = V_BOOL(&a);
        return S_OK;
      }
      if (result) V_VT(result) = VT_BOOL, V_BOOL(result) = flag_;
      return S_OK;
    case kWhen:
      if (put) {
        if (FAILED(hr = arg_as(&p->rgvarg[0], VT_DATE, &a))) return hr;
        when_ = V_DATE(&a);
        return S_OK;
      }
      if (result) V_VT(result) = VT_DATE, V_DATE(result) = when_;
      return S_OK;
    case kChild:
      if (put) {
        const VARIANT* v = deref(&p->rgvarg[0]);
        if (V_VT(v) != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
        if (child_) child_->Release();
        child_ = V_DISPATCH(v);
        if (child_) child_->AddRef();
        return S_OK;
      }
      if (result) {
        V_VT(result) = VT_DISPATCH;
        V_DISPATCH(result) = child_;
        if (child_) child_->AddRef();
      }
      return S_OK;
    case kValue:
      return get_or_put(flags, p, result, &value_);
    case kItem: {
      if (p->cArgs < (put ? 2u : 1u)) return DISP_E_BADPARAMCOUNT;
      std::wstring key = text_of(put ? &p->rgvarg[1] : arg(0));
      for (auto& [k, v] : items_)
        if (k == key) return get_or_put(flags, p, result, &v);
      if (!put) return DISP_E_BADINDEX;
      items_.emplace_back(key, VARIANT{});
      VariantInit(&items_.back().second);
      return get_or_put(flags, p, result, &items_.back().second);
    }
    case kLive:
      if (result) V_VT(result) = VT_I4, V_I4(result) = g_live;
      return S_OK;
    case kEcho:
      if (p->cArgs != 1) return DISP_E_BADPARAMCOUNT;
      return result ? VariantCopyInd(result, const_cast<VARIANT*>(deref(arg(0)))) : S_OK;
    case kTypeOf: {
      // "<arrived vt>:<value vt>=<value>", hexadecimal types.
      if (p->cArgs != 1) return DISP_E_BADPARAMCOUNT;
      wchar_t head[32];
      swprintf(head, 32, L"%x:%x=", V_VT(arg(0)), V_VT(deref(arg(0))));
      return return_text(result, head + text_of(arg(0)));
    }
    case kOptional: {
      std::wstring s = std::to_wstring(p->cArgs);
      for (UINT i = 0; i < p->cArgs; ++i) s += L"|" + text_of(arg(i));
      return return_text(result, s);
    }
    case kJoin: {
      if (p->cArgs < 1) return DISP_E_BADPARAMCOUNT;
      std::wstring sep = text_of(arg(0)), s;
      for (UINT i = 1; i < p->cArgs; ++i) s += (i > 1 ? sep : L"") + text_of(arg(i));
      return return_text(result, s);
    }
    case kTwice: {
      VARIANT* n = arg(0);
      if (p->cArgs != 1 || V_VT(n) != (VT_BYREF | VT_I4)) return DISP_E_TYPEMISMATCH;
      *V_I4REF(n) *= 2;
      return S_OK;
    }
    case kGreet: {
      if (p->cArgs != 2) return DISP_E_BADPARAMCOUNT;
      VARIANT* text = arg(0);
      VARIANT* v = arg(1);
      if (V_VT(text) != (VT_BYREF | VT_BSTR) || V_VT(v) != (VT_BYREF | VT_VARIANT))
        return DISP_E_TYPEMISMATCH;
      SysFreeString(*V_BSTRREF(text));
      *V_BSTRREF(text) = SysAllocString(L"\u4f60\u597d");  // "ni hao"
      VARIANT* inner = V_VARIANTREF(v);
      VARIANT doubled;
      VariantInit(&doubled);
      if (FAILED(hr = VariantChangeType(&doubled, inner, 0, VT_R8))) return hr;
      VariantClear(inner);
      V_VT(inner) = VT_R8;
      V_R8(inner) = V_R8(&doubled) * 10;
      return S_OK;
    }
    case kFail: {
      if (!exc) return DISP_E_EXCEPTION;
      *exc = {};
      exc->wCode = 1001;
      exc->bstrSource = SysAllocString(kProgId);
      exc->bstrDescription = SysAllocString(p->cArgs ? text_of(arg(0)).c_str() : L"");
      return DISP_E_EXCEPTION;
    }
    case kMakeChild:
      if (result) {
        V_VT(result) = VT_DISPATCH;
        V_DISPATCH(result) = new Probe;
      }
      return S_OK;
    case kNoArgs:
      if (p->cArgs != 0) return DISP_E_BADPARAMCOUNT;
      if (result) V_VT(result) = VT_I4, V_I4(result) = 42;
      return S_OK;
    case kRegister:
      hr = RegisterActiveObject(static_cast<IUnknown*>(this), kClsid, ACTIVEOBJECT_STRONG, &cookie_);
      if (result) V_VT(result) = VT_I4, V_I4(result) = static_cast<LONG>(cookie_);
      return hr;
    case kRevoke:
      hr = cookie_ ? RevokeActiveObject(cookie_, nullptr) : S_OK;
      cookie_ = 0;
      return hr;
    case kScale: {
      if (p->cArgs != 2) return DISP_E_BADPARAMCOUNT;
      if (V_VT(arg(0)) == VT_ERROR && V_ERROR(arg(0)) == DISP_E_PARAMNOTFOUND) return DISP_E_PARAMNOTOPTIONAL;
      if (V_VT(arg(0)) != VT_I4 || V_VT(arg(1)) != VT_R8) return DISP_E_TYPEMISMATCH;
      if (result) V_VT(result) = VT_R8, V_R8(result) = V_I4(arg(0)) * V_R8(arg(1));
      return S_OK;
    }
    case kRaise:  // fails with the result given
      if (p->cArgs != 1 || V_VT(arg(0)) != VT_I4) return DISP_E_BADPARAMCOUNT;
      return V_I4(arg(0));
    case kFailLater:  // an exception whose description is filled in on request
      if (!exc) return DISP_E_EXCEPTION;
      *exc = {};
      exc->scode = E_FAIL;
      exc->pfnDeferredFillIn = &fill_in_later;
      return DISP_E_EXCEPTION;
    case kTag:  // a value: read, or written with property-put only
      if (flags & DISPATCH_PROPERTYPUTREF) return DISP_E_MEMBERNOTFOUND;
      return get_or_put(flags, p, result, &tag_);
    case kPeer:  // an object: read, or written with property-put-by-reference only
      if (flags & DISPATCH_PROPERTYPUT) return DISP_E_MEMBERNOTFOUND;
      if (flags & DISPATCH_PROPERTYPUTREF) {
        const VARIANT* v = deref(&p->rgvarg[0]);
        if (V_VT(v) != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
        VariantClear(&peer_);
        return VariantCopy(&peer_, const_cast<VARIANT*>(v));
      }
      return result ? VariantCopy(result, &peer_) : S_OK;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    HRESULT hr = build_type_info();
    if (FAILED(hr)) return hr;
    Probe* p = new Probe;
    hr = p->QueryInterface(riid, out);
    p->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    lock ? InterlockedIncrement(&g_locks) : InterlockedDecrement(&g_locks);
    return S_OK;
  }
};

Factory g_factory;

// ---- registration in the classes root (the test prefix's registry) ----

// One string value under the classes root.
LONG set_value(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY k;
  LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                            &k, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(k);
  return rc;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (clsid != kClsid) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(riid, out);
}

HRESULT __stdcall DllCanUnloadNow() {
  return g_live == 0 && g_locks == 0 ? S_OK : S_FALSE;
}

HRESULT __stdcall DllRegisterServer() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(g_module, path, MAX_PATH);
  const std::wstring clsid_key = std::wstring(L"CLSID\\") + kClsidText;
  LONG rc = set_value(clsid_key, nullptr, L"Orvel test probe");
  if (!rc) rc = set_value(clsid_key + L"\\InprocServer32", nullptr, path);
  if (!rc) rc = set_value(clsid_key + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
  if (!rc) rc = set_value(clsid_key + L"\\ProgID", nullptr, kProgId);
  if (!rc) rc = set_value(kProgId, nullptr, L"Orvel test probe");
  if (!rc) rc = set_value(std::wstring(kProgId) + L"\\CLSID", nullptr, kClsidText);
  return rc ? HRESULT_FROM_WIN32(rc) : S_OK;
}

HRESULT __stdcall DllUnregisterServer() {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kClsidText).c_str());
  RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
  return S_OK;
}

// Probe objects alive in this process.
LONG __cdecl probe_live_objects() { return g_live; }

}  // extern "C"
