// Conversions between system values and automation variants.
#include "com/convert.h"
#include <cstring>
#include <vector>
#include "com/last_error.h"
#include "com/object_value.h"
#include "runtime/args.h"
#include "runtime/heap.h"
#include "runtime/value_ops.h"

namespace com {

using runtime::ArgRecord;
using runtime::ResultRecord;

namespace {

template <typename T>
T* at(uint32_t address) { return reinterpret_cast<T*>(static_cast<uintptr_t>(address)); }
uint32_t word(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

// The system's numbers (and date-times) and the automation types that hold them as they are.
struct NumberType {
  uint32_t type;
  VARTYPE vt;
  uint32_t size;
};
constexpr NumberType kNumberTypes[] = {
    {runtime::kTypeByte, VT_UI1, 1},  {runtime::kTypeShort, VT_I2, 2},
    {runtime::kTypeInt, VT_I4, 4},    {runtime::kTypeLong, VT_I8, 8},
    {runtime::kTypeFloat, VT_R4, 4},  {runtime::kTypeDouble, VT_R8, 8},
    {runtime::kTypeDateTime, VT_DATE, 8},
};

// The automation element type of a system array's elements.
VARTYPE element_vt(uint32_t type) {
  switch (type) {
    case runtime::kTypeByte: return VT_UI1;
    case runtime::kTypeShort: return VT_I2;
    case runtime::kTypeInt: return VT_I4;
    case runtime::kTypeLong: return VT_I8;
    case runtime::kTypeFloat: return VT_R4;
    case runtime::kTypeDouble: return VT_R8;
    case runtime::kTypeBool: return VT_BOOL;
    case runtime::kTypeDateTime: return VT_DATE;
    case runtime::kTypeText: return VT_BSTR;
    case runtime::kTypeBin: return VT_VARIANT;  // each byte set an array of bytes
    default: return VT_EMPTY;
  }
}

int bytes_to_variant(std::string_view bytes, VARIANT* out) {
  SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  if (!sa) return kOtherFailure;
  void* data = nullptr;
  if (SUCCEEDED(SafeArrayAccessData(sa, &data))) {
    if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    SafeArrayUnaccessData(sa);
  }
  V_VT(out) = VT_ARRAY | VT_UI1;
  V_ARRAY(out) = sa;
  return kOk;
}

// A system array block as an automation array of the same shape, indexes from 0.
int array_to_variant(uint32_t element, const uint32_t* block, VARIANT* out) {
  VARTYPE vt = element_vt(element);
  uint32_t dims = block ? block[0] : 0;
  if (vt == VT_EMPTY || dims == 0 || dims > 60) return kBadArgumentType;
  std::vector<SAFEARRAYBOUND> bounds(dims);
  uint64_t count = 1;
  for (uint32_t d = 0; d < dims; ++d) {
    bounds[d] = {block[1 + d], 0};
    count *= block[1 + d];
  }
  if (count > 0x10000000) return kOverflow;
  SAFEARRAY* sa = SafeArrayCreate(vt, dims, bounds.data());
  if (!sa) return kOtherFailure;
  const uint8_t* elements = reinterpret_cast<const uint8_t*>(block + 1 + dims);
  uint32_t size = runtime::type_size(element);
  std::vector<LONG> index(dims, 0);
  for (uint64_t n = 0; n < count; ++n) {
    Variant v;
    int code = element_to_variant(element, elements + n * size, &v.v, Widen::kVariantValue);
    if (code == kOk && FAILED(SafeArrayPutElement(sa, index.data(), element_data(vt, &v.v))))
      code = kOtherFailure;
    if (code != kOk) {
      SafeArrayDestroy(sa);
      return code;
    }
    // Row order: the last index runs fastest.
    for (uint32_t d = dims; d-- > 0;) {
      if (++index[d] < static_cast<LONG>(block[1 + d])) break;
      index[d] = 0;
    }
  }
  V_VT(out) = VT_ARRAY | vt;
  V_ARRAY(out) = sa;
  return kOk;
}

// A record's value read through the variable's address, as a plain record of its type.
ArgRecord through_variable(const ArgRecord& a) {
  uint32_t type = unmarked_type(a.type);
  const void* p = at<void>(a.lo);
  ArgRecord r{0, 0, type};
  if (!p || type == kObjectType || type == kVariantType || runtime::is_array(type)) {
    r.lo = runtime::is_array(type) && p ? *static_cast<const uint32_t*>(p) : a.lo;
    return r;
  }
  uint32_t size = runtime::type_size(type);
  std::memcpy(&r.lo, p, size > 8 ? 8 : size);
  return r;
}

}  // namespace

void* element_data(VARTYPE vt, VARIANT* v) {
  switch (vt) {
    case VT_VARIANT: return v;
    case VT_BSTR: return V_BSTR(v);
    case VT_DISPATCH: case VT_UNKNOWN: return V_UNKNOWN(v);
    case VT_DECIMAL: return &V_DECIMAL(v);
    default: return &V_UI1(v);
  }
}

const VARIANT* deref(const VARIANT* v) {
  while (v && V_VT(v) == (VT_BYREF | VT_VARIANT)) v = V_VARIANTREF(v);
  return v;
}

int element_to_variant(uint32_t type, const void* p, VARIANT* out, Widen widen) {
  VariantInit(out);
  if (type == runtime::kTypeLong && widen == Widen::kCallArgument) {
    V_VT(out) = VT_I4;  // the low 32 bits
    std::memcpy(&V_I4(out), p, 4);
    return kOk;
  }
  for (const NumberType& n : kNumberTypes) {
    if (n.type != type) continue;
    V_VT(out) = n.vt;
    std::memcpy(&V_UI1(out), p, n.size);
    return kOk;
  }
  switch (type) {
    case runtime::kTypeBool: {
      uint32_t b;
      std::memcpy(&b, p, 4);
      V_VT(out) = VT_BOOL;
      V_BOOL(out) = b ? VARIANT_TRUE : VARIANT_FALSE;
      return kOk;
    }
    case runtime::kTypeText: {
      const char* s = *static_cast<const char* const*>(p);
      V_VT(out) = VT_BSTR;
      V_BSTR(out) = Bstr(s ? s : "").detach();
      return kOk;
    }
    case runtime::kTypeBin: {
      if (widen != Widen::kVariantValue) return kBadArgumentType;
      auto* h = *static_cast<const runtime::BinHeader* const*>(p);
      std::string_view bytes;
      if (h) bytes = {reinterpret_cast<const char*>(h + 1), h->length};
      return bytes_to_variant(bytes, out);
    }
    default:
      return kBadArgumentType;
  }
}

int to_variant(const ArgRecord& record, VARIANT* out, Widen widen) {
  VariantInit(out);
  if (record.type == runtime::kTypeNone) {
    V_VT(out) = VT_ERROR;
    V_ERROR(out) = DISP_E_PARAMNOTFOUND;
    return kOk;
  }
  runtime::Arg evaluated(record);  // a sub-statement yields its value here
  ArgRecord a = evaluated.record();
  if (is_variable(a)) a = through_variable(a);
  if (a.type == kObjectType) {
    ObjectValue* o = at<ObjectValue>(a.lo);
    IDispatch* d = nullptr;
    if (!is_empty(o) &&
        SUCCEEDED(o->unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d))) && d) {
      V_VT(out) = VT_DISPATCH;
      V_DISPATCH(out) = d;
    } else if (!is_empty(o)) {
      V_VT(out) = VT_UNKNOWN;
      V_UNKNOWN(out) = o->unknown;
      o->unknown->AddRef();
    } else {
      V_VT(out) = VT_DISPATCH;
      V_DISPATCH(out) = nullptr;
    }
    return kOk;
  }
  if (a.type == kVariantType) {
    VARIANT* v = at<VARIANT>(a.lo);
    if (!v) return kOk;  // no block: an empty variant
    return FAILED(VariantCopyInd(out, v)) ? kTypeMismatch : kOk;
  }
  if (runtime::is_array(a.type)) {
    if (widen != Widen::kVariantValue) return kBadArgumentType;
    return array_to_variant(runtime::element_type(a.type), at<uint32_t>(a.lo), out);
  }
  if (!runtime::is_basic_type(a.type) || a.type == runtime::kTypeSubPtr ||
      a.type == runtime::kTypeSubStmt)
    return kBadArgumentType;
  return element_to_variant(a.type, &a.lo, out, widen);
}

void put_empty(ResultKind kind, ResultRecord* r) {
  *r = {};
  if (kind == ResultKind::kObject) r->lo = word(new_object_block());
  if (kind == ResultKind::kVariant) r->lo = word(new_variant_block());
}

// The common results that need no conversion call: numbers of the usual widths, texts,
// logicals and dates already of the kind asked for.
static bool put_direct(const VARIANT* v, ResultKind kind, ResultRecord* r) {
  switch (kind) {
    case ResultKind::kNumber:
      switch (V_VT(v)) {
        case VT_I4: runtime::set_double(r, V_I4(v)); return true;
        case VT_R8: runtime::set_double(r, V_R8(v)); return true;
        case VT_I2: runtime::set_double(r, V_I2(v)); return true;
        case VT_UI1: runtime::set_double(r, V_UI1(v)); return true;
        default: return false;
      }
    case ResultKind::kText:
      if (V_VT(v) != VT_BSTR) return false;
      runtime::set_text(r, from_bstr(V_BSTR(v)));
      return true;
    case ResultKind::kLogical:
      if (V_VT(v) != VT_BOOL) return false;
      runtime::set_bool(r, V_BOOL(v) != VARIANT_FALSE);
      return true;
    case ResultKind::kDate:
      if (V_VT(v) != VT_DATE) return false;
      runtime::set_double(r, V_DATE(v));
      return true;
    default:
      return false;
  }
}

int put_result(const VARIANT& value, ResultKind kind, ResultRecord* r) {
  const VARIANT* v = deref(&value);
  if (put_direct(v, kind, r)) return kOk;
  Variant c;
  auto change = [&](VARTYPE vt) {
    return SUCCEEDED(VariantChangeType(&c.v, const_cast<VARIANT*>(v), 0, vt));
  };
  switch (kind) {
    case ResultKind::kNone:
      return kOk;
    case ResultKind::kVariant: {
      VARIANT* block = new_variant_block();
      if (FAILED(VariantCopyInd(block, const_cast<VARIANT*>(v)))) {
        std::memset(block, 0, sizeof *block);
        r->lo = word(block);
        return kResultMismatch;
      }
      r->lo = word(block);
      return kOk;
    }
    case ResultKind::kText:
      if (!change(VT_BSTR)) break;
      runtime::set_text(r, from_bstr(V_BSTR(&c.v)));
      return kOk;
    case ResultKind::kNumber:
      if (!change(VT_R8)) break;
      runtime::set_double(r, V_R8(&c.v));
      return kOk;
    case ResultKind::kLogical:
      if (!change(VT_BOOL)) break;
      runtime::set_bool(r, V_BOOL(&c.v) != VARIANT_FALSE);
      return kOk;
    case ResultKind::kDate:
      if (!change(VT_DATE)) break;
      runtime::set_double(r, V_DATE(&c.v));
      return kOk;
    case ResultKind::kObject: {
      VARTYPE vt = V_VT(v) & ~VT_BYREF;
      if (vt != VT_DISPATCH && vt != VT_UNKNOWN) break;
      IUnknown* u = (V_VT(v) & VT_BYREF) ? *V_UNKNOWNREF(v) : V_UNKNOWN(v);
      ObjectValue* o = new_object_block();
      store(o, u);
      r->lo = word(o);
      return kOk;
    }
  }
  put_empty(kind, r);
  return kResultMismatch;
}

int variant_to_element(uint32_t type, const VARIANT& value, void* p) {
  const VARIANT* v = deref(&value);
  Variant c;
  auto change = [&](VARTYPE vt) {
    return SUCCEEDED(VariantChangeType(&c.v, const_cast<VARIANT*>(v), 0, vt));
  };
  for (const NumberType& n : kNumberTypes) {
    if (n.type != type) continue;
    if (!change(n.vt)) return kTypeMismatch;
    std::memcpy(p, &V_UI1(&c.v), n.size);  // the value sits at the start of the variant's data
    return kOk;
  }
  switch (type) {
    case runtime::kTypeBool: {
      if (!change(VT_BOOL)) return kTypeMismatch;
      uint32_t b = V_BOOL(&c.v) != VARIANT_FALSE;
      std::memcpy(p, &b, 4);
      return kOk;
    }
    case runtime::kTypeText: {
      if (!change(VT_BSTR)) return kTypeMismatch;
      std::string s = from_bstr(V_BSTR(&c.v));
      // A text variable always holds a block, the empty text too.
      char* block = static_cast<char*>(runtime::allocate(static_cast<uint32_t>(s.size() + 1)));
      std::memcpy(block, s.c_str(), s.size() + 1);
      char** slot = static_cast<char**>(p);
      runtime::free_block(*slot);
      *slot = block;
      return kOk;
    }
    default:
      return kTypeMismatch;
  }
}

int write_variable(const ArgRecord& variable, const VARIANT& value) {
  if (!is_variable(variable) || variable.lo == 0) return kBadArgumentType;
  uint32_t type = unmarked_type(variable.type);
  if (type == kObjectType) {
    const VARIANT* v = deref(&value);
    VARTYPE vt = V_VT(v) & ~VT_BYREF;
    if (vt != VT_DISPATCH && vt != VT_UNKNOWN && vt != VT_EMPTY) return kTypeMismatch;
    IUnknown* u = vt == VT_EMPTY ? nullptr : (V_VT(v) & VT_BYREF) ? *V_UNKNOWNREF(v) : V_UNKNOWN(v);
    store(at<ObjectValue>(variable.lo), u);
    return kOk;
  }
  if (type == kVariantType) {
    VARIANT* block = at<VARIANT>(variable.lo);
    Variant copy;
    if (FAILED(VariantCopyInd(&copy.v, const_cast<VARIANT*>(&value)))) return kTypeMismatch;
    VariantClear(block);
    *block = copy.v;
    VariantInit(&copy.v);
    return kOk;
  }
  return variant_to_element(type, value, at<void>(variable.lo));
}

}  // namespace com
