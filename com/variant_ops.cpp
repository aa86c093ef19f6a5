// Variant commands. Arrays are the platform's automation arrays: made here with indexes from
// 0 in every dimension, read with whatever bounds they carry; an index outside them is the
// overflow error.
#include "com/variant_ops.h"
#include <cstring>
#include <new>
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

uint32_t word(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

int scalar_kind(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY: return kKindEmpty;
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_I8:
    case VT_UI8: case VT_INT: case VT_UINT: case VT_R4: case VT_R8: case VT_CY: case VT_DECIMAL:
      return kKindNumber;
    case VT_BSTR: return kKindText;
    case VT_BOOL: return kKindLogical;
    case VT_DATE: return kKindDate;
    case VT_DISPATCH: case VT_UNKNOWN: return kKindObject;
    case VT_ERROR: return kKindError;
    default: return kKindOther;
  }
}

// The automation type a kind converts to (0..6), and the element type of an array kind.
constexpr VARTYPE kKindTypes[7] = {VT_EMPTY, VT_R8, VT_BSTR, VT_BOOL, VT_DATE, VT_DISPATCH, VT_ERROR};

VARTYPE array_element_type(int kind) {
  if (kind == kKindVariantArray) return VT_VARIANT;
  if (kind >= kKindArrayFirst && kind < kKindVariantArray) return kKindTypes[kind - kKindArrayFirst + 1];
  return VT_EMPTY;
}

SAFEARRAY* array_of(const VARIANT* v) {
  if (!v) return nullptr;
  v = deref(v);
  if (!(V_VT(v) & VT_ARRAY)) return nullptr;
  return (V_VT(v) & VT_BYREF) ? (V_ARRAYREF(v) ? *V_ARRAYREF(v) : nullptr) : V_ARRAY(v);
}

// The indexes checked against the array's bounds: kOk, kBadParameterCount or kOverflow.
int check_index(SAFEARRAY* sa, const int32_t* index, int count, std::vector<LONG>* out) {
  UINT dims = SafeArrayGetDim(sa);
  if (count != static_cast<int>(dims)) return kBadParameterCount;
  out->resize(dims);
  for (UINT d = 0; d < dims; ++d) {
    LONG lo = 0, hi = -1;
    SafeArrayGetLBound(sa, d + 1, &lo);
    SafeArrayGetUBound(sa, d + 1, &hi);
    if (index[d] < lo || index[d] > hi) return kOverflow;
    (*out)[d] = index[d];
  }
  return kOk;
}

// One element as a variant (a copy the caller clears).
HRESULT fetch(SAFEARRAY* sa, LONG* index, VARIANT* out) {
  VariantInit(out);
  VARTYPE vt = VT_EMPTY;
  SafeArrayGetVartype(sa, &vt);
  if (vt == VT_VARIANT) return SafeArrayGetElement(sa, index, out);
  if (vt == VT_DECIMAL) {
    DECIMAL d;
    HRESULT hr = SafeArrayGetElement(sa, index, &d);
    if (SUCCEEDED(hr)) V_DECIMAL(out) = d, V_VT(out) = VT_DECIMAL;
    return hr;
  }
  if (vt == VT_RECORD || scalar_kind(vt) == kKindOther) return DISP_E_BADVARTYPE;
  HRESULT hr = SafeArrayGetElement(sa, index, &V_UI1(out));
  if (SUCCEEDED(hr)) V_VT(out) = vt;
  return hr;
}

// Stores a value into an element, converted to the array's element type.
int place(SAFEARRAY* sa, LONG* index, const VARIANT& value) {
  VARTYPE vt = VT_EMPTY;
  SafeArrayGetVartype(sa, &vt);
  if (vt == VT_VARIANT)
    return FAILED(SafeArrayPutElement(sa, index, const_cast<VARIANT*>(deref(&value)))) ? kOtherFailure : kOk;
  Variant c;
  if (FAILED(VariantChangeType(&c.v, const_cast<VARIANT*>(deref(&value)), 0, vt))) return kTypeMismatch;
  return FAILED(SafeArrayPutElement(sa, index, element_data(vt, &c.v))) ? kOtherFailure : kOk;
}

// The system type an array's elements read as by default.
uint32_t default_element_type(VARTYPE vt) {
  switch (vt) {
    case VT_UI1: return runtime::kTypeByte;
    case VT_I2: return runtime::kTypeShort;
    case VT_I1: case VT_UI2: case VT_I4: case VT_INT: return runtime::kTypeInt;
    case VT_I8: return runtime::kTypeLong;
    case VT_R4: return runtime::kTypeFloat;
    case VT_UI4: case VT_UINT: case VT_UI8: case VT_R8: case VT_CY: case VT_DECIMAL:
      return runtime::kTypeDouble;
    case VT_BOOL: return runtime::kTypeBool;
    case VT_DATE: return runtime::kTypeDateTime;
    case VT_BSTR: case VT_VARIANT: return runtime::kTypeText;
    default: return 0;
  }
}

// Frees an array block made here (and the texts in it).
void free_array_block(uint32_t element, uint32_t* block, uint64_t count) {
  if (element == runtime::kTypeText) {
    char** items = reinterpret_cast<char**>(block + 1 + block[0]);
    for (uint64_t i = 0; i < count; ++i) runtime::free_block(items[i]);
  }
  runtime::free_block(block);
}

bool finish(int code) {
  set_last_error(code);
  return code == kOk;
}

}  // namespace

int kind_of(const VARIANT* v) {
  set_last_error(kOk);
  if (!v) return kKindEmpty;
  v = deref(v);
  VARTYPE vt = V_VT(v) & ~VT_BYREF;
  if (vt & VT_ARRAY) {
    VARTYPE el = vt & ~VT_ARRAY;
    if (el == VT_VARIANT) return kKindVariantArray;
    int k = scalar_kind(el);
    return k >= kKindNumber ? kKindArrayFirst + k - 1 : kKindOther;
  }
  return scalar_kind(vt);
}

void copy_variant(VARIANT* to, const VARIANT* from) {
  if (!to) return (void)finish(kBadArgumentType);
  if (to == from) return (void)finish(kOk);
  Variant copy;
  if (from && FAILED(VariantCopyInd(&copy.v, const_cast<VARIANT*>(from)))) return (void)finish(kTypeMismatch);
  VariantClear(to);
  *to = copy.v;
  VariantInit(&copy.v);
  finish(kOk);
}

void clear_variant(VARIANT* v) {
  if (v) VariantClear(v);
  finish(v ? kOk : kBadArgumentType);
}

bool set_variant(VARIANT* v, const ArgRecord& value, int kind) {
  if (!v) return finish(kBadArgumentType);
  Variant made;
  int code = to_variant(value, &made.v, Widen::kVariantValue);
  if (code != kOk) return finish(code);
  if (value.type == runtime::kTypeNone) VariantClear(&made.v);  // nothing given: empty
  if (kind >= 0) {
    if (kind <= kKindError) {
      Variant c;
      if (FAILED(VariantChangeType(&c.v, &made.v, 0, kKindTypes[kind]))) return finish(kTypeMismatch);
      VariantClear(&made.v);
      made.v = c.v;
      VariantInit(&c.v);
    } else if (kind_of(&made.v) != kind) {
      return finish(kTypeMismatch);  // arrays keep the kind they were made with
    }
  }
  VariantClear(v);
  *v = made.v;
  VariantInit(&made.v);
  return finish(kOk);
}

void read_variant(const VARIANT* v, ResultKind kind, ResultRecord* r) {
  *r = {};
  if (!v) {
    put_empty(kind, r);
    return (void)finish(kBadArgumentType);
  }
  int code = put_result(*v, kind, r);
  finish(code == kResultMismatch ? kTypeMismatch : code);
}

void read_bytes(const VARIANT* v, ResultRecord* r) {
  *r = {};
  SAFEARRAY* sa = array_of(v);
  VARTYPE vt = VT_EMPTY;
  if (v && V_VT(deref(v)) == VT_EMPTY) return (void)finish(kOk);  // empty: the empty byte set
  if (!sa || FAILED(SafeArrayGetVartype(sa, &vt)) || (vt != VT_UI1 && vt != VT_I1))
    return (void)finish(kTypeMismatch);
  uint64_t count = 1;
  for (UINT d = 1; d <= SafeArrayGetDim(sa); ++d) {
    LONG lo = 0, hi = -1;
    SafeArrayGetLBound(sa, d, &lo);
    SafeArrayGetUBound(sa, d, &hi);
    count *= hi >= lo ? static_cast<uint64_t>(hi - lo + 1) : 0;
  }
  void* data = nullptr;
  if (count > 0x7FFFFFF0 || FAILED(SafeArrayAccessData(sa, &data))) return (void)finish(kOverflow);
  runtime::set_bin(r, std::string_view(static_cast<const char*>(data), count));
  SafeArrayUnaccessData(sa);
  finish(kOk);
}

void read_array(const VARIANT* v, uint32_t element, ResultRecord* r) {
  *r = {};
  SAFEARRAY* sa = array_of(v);
  VARTYPE vt = VT_EMPTY;
  if (!sa || FAILED(SafeArrayGetVartype(sa, &vt))) return (void)finish(kTypeMismatch);
  if (element == 0) element = default_element_type(vt);
  uint32_t size = runtime::type_size(element);
  bool storable = size != 0 && element != runtime::kTypeBin && element != runtime::kTypeSubPtr &&
                  element != runtime::kTypeSubStmt;
  if (!storable)
    return (void)finish(element == 0 ? kTypeMismatch : kBadArgumentType);
  UINT dims = SafeArrayGetDim(sa);
  std::vector<LONG> lower(dims), upper(dims);
  uint64_t count = 1;
  for (UINT d = 0; d < dims; ++d) {
    SafeArrayGetLBound(sa, d + 1, &lower[d]);
    SafeArrayGetUBound(sa, d + 1, &upper[d]);
    count *= upper[d] >= lower[d] ? static_cast<uint64_t>(upper[d] - lower[d] + 1) : 0;
  }
  if (dims == 0 || count * size > 0x7FFFFF00) return (void)finish(kOverflow);
  uint32_t head = 4 + 4 * dims;
  auto* block = static_cast<uint32_t*>(runtime::allocate(static_cast<uint32_t>(head + count * size)));
  std::memset(block, 0, head + count * size);
  block[0] = dims;
  for (UINT d = 0; d < dims; ++d) block[1 + d] = static_cast<uint32_t>(upper[d] - lower[d] + 1);
  uint8_t* items = reinterpret_cast<uint8_t*>(block + 1 + dims);
  std::vector<LONG> index(lower);
  for (uint64_t n = 0; n < count; ++n) {
    Variant e;
    int code = FAILED(fetch(sa, index.data(), &e.v)) ? kTypeMismatch
                                                     : variant_to_element(element, e.v, items + n * size);
    if (code != kOk) {
      free_array_block(element, block, n);
      return (void)finish(code);
    }
    for (UINT d = dims; d-- > 0;) {  // row order: the last index runs fastest
      if (++index[d] <= upper[d]) break;
      index[d] = lower[d];
    }
  }
  r->lo = word(block);
  r->type = element | runtime::kArrayBit;
  finish(kOk);
}

bool create_array(VARIANT* v, int kind, const int32_t* sizes, int dims) {
  VARTYPE vt = array_element_type(kind);
  if (!v) return finish(kBadArgumentType);
  if (vt == VT_EMPTY) return finish(kBadVarType);
  if (dims < 1 || dims > 60) return finish(kBadParameterCount);
  std::vector<SAFEARRAYBOUND> bounds(dims);
  uint64_t count = 1;
  for (int d = 0; d < dims; ++d) {
    if (sizes[d] < 0) return finish(kOverflow);
    bounds[d] = {static_cast<ULONG>(sizes[d]), 0};
    count *= static_cast<uint64_t>(sizes[d]);
  }
  if (count > 0x4000000) return finish(kOverflow);
  SAFEARRAY* sa = SafeArrayCreate(vt, static_cast<UINT>(dims), bounds.data());
  if (!sa) return finish(kOtherFailure);
  VariantClear(v);
  V_VT(v) = VT_ARRAY | vt;
  V_ARRAY(v) = sa;
  return finish(kOk);
}

int dimension_count(const VARIANT* v) {
  SAFEARRAY* sa = array_of(v);
  finish(kOk);
  return sa ? static_cast<int>(SafeArrayGetDim(sa)) : 0;
}

int32_t bound(const VARIANT* v, int dim, bool upper) {
  SAFEARRAY* sa = array_of(v);
  if (!sa) return finish(kTypeMismatch), 0;
  LONG b = 0;
  if (dim < 1 || dim > static_cast<int>(SafeArrayGetDim(sa))) return finish(kOverflow), 0;
  HRESULT hr = upper ? SafeArrayGetUBound(sa, dim, &b) : SafeArrayGetLBound(sa, dim, &b);
  finish(FAILED(hr) ? kOtherFailure : kOk);
  return b;
}

void get_element(const VARIANT* v, const int32_t* index, int count, ResultRecord* r) {
  *r = {};
  put_empty(ResultKind::kVariant, r);
  SAFEARRAY* sa = array_of(v);
  if (!sa) return (void)finish(kTypeMismatch);
  std::vector<LONG> at;
  int code = check_index(sa, index, count, &at);
  if (code == kOk && FAILED(fetch(sa, at.data(), reinterpret_cast<VARIANT*>(static_cast<uintptr_t>(r->lo)))))
    code = kOtherFailure;
  finish(code);
}

bool set_element(VARIANT* v, const ArgRecord& value, const int32_t* index, int count) {
  SAFEARRAY* sa = array_of(v);
  if (!sa) return finish(kTypeMismatch);
  std::vector<LONG> at;
  int code = check_index(sa, index, count, &at);
  if (code != kOk) return finish(code);
  Variant made;
  if ((code = to_variant(value, &made.v, Widen::kVariantValue)) != kOk) return finish(code);
  return finish(place(sa, at.data(), made.v));
}

}  // namespace com
