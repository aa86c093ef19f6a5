// Sub-statement evaluation and the basic type table.
#include "runtime/value_ops.h"
#include "runtime/errors.h"
#include "runtime/heap.h"

// orvel_call_substmt(routine, context, out): calls a compiled sub-statement routine.
//   in:  [esp+4] routine address, [esp+8] context word, [esp+12] ArgRecord* out
//   the routine is entered with EAX = context word; it returns the value in EAX (low word)
//   and EDX (high word), its type code in ECX. EBX, ESI, EDI and EBP are kept for our caller
//   whatever the routine does with them; the direction flag is cleared before the call.
extern "C" void orvel_call_substmt(uint32_t routine, uint32_t context, runtime::ArgRecord* out)
    asm("orvel_call_substmt");
asm(R"(
    .text
    .globl orvel_call_substmt
orvel_call_substmt:
    pushl %ebp
    movl  %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    cld
    movl  12(%ebp), %eax
    call  *8(%ebp)
    movl  16(%ebp), %edi
    movl  %eax, 0(%edi)
    movl  %edx, 4(%edi)
    movl  %ecx, 8(%edi)
    leal  -12(%ebp), %esp
    popl  %edi
    popl  %esi
    popl  %ebx
    popl  %ebp
    ret
)");

namespace runtime {

bool is_basic_type(uint32_t type) { return type_size(type) != 0; }

ArgRecord call_substmt(const ArgRecord& substmt) {
  ArgRecord out{};
  orvel_call_substmt(substmt.lo, substmt.hi, &out);
  return out;
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
