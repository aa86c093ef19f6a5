// Sub-statement evaluation and the basic type table.
#include "runtime/value_ops.h"
#include "runtime/errors.h"
#include "runtime/heap.h"
#include "runtime/services.h"

namespace runtime {

bool is_basic_type(uint32_t type) { return type_size(type) != 0; }

// The routine gets no stack arguments and its context word in EAX (see call_compiled).
ArgRecord call_substmt(const ArgRecord& substmt) {
  const void* routine = reinterpret_cast<const void*>(static_cast<uintptr_t>(substmt.lo));
  CompiledResult r = call_compiled(routine, nullptr, 0, substmt.hi);
  return {r.lo, r.hi, r.type};
}

ArgRecord evaluate_substmt(const ArgRecord& substmt) {
  ArgRecord value = call_substmt(substmt);
  bool array = is_array(value.type) && element_type(value.type) != kTypeNone;
  if (!array && !is_basic_type(value.type))
    raise_error("子语句参数未返回数据或者返回了非系统基本类型或数组型数据", 7);
  return value;
}

bool evaluate_condition(const ArgRecord& substmt) {
  ArgRecord value = call_substmt(substmt);
  if (value.type != kTypeBool) raise_error("用作进行条件判断的子语句参数只能接受逻辑型数据", 0);
  return value.lo != 0;
}

}  // namespace runtime
