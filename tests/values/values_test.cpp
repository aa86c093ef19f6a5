// Values and the runtime heap: type classes and sizes, numeric reading, the constant-range rules
// of free, resize and make-writable, sub-statement evaluation, and the fatal paths (in a probe).
#include <gtest/gtest.h>
#include <windows.h>
#include <cstring>
#include <string>
#include "runtime/runtime.h"
#include "kit.h"
#include "runtime/heap.h"
#include "runtime/value_ops.h"

using namespace runtime;

namespace {

// Test routines for sub-statements. Register contract of a sub-statement routine: EAX in =
// context word; out EAX low word, EDX high word, ECX type code. Each one also scribbles over
// EBX, ESI and EDI, which the caller's thunk must protect.
extern "C" void substmt_int() asm("substmt_int");      // value = context, ~context; Int
extern "C" void substmt_bool() asm("substmt_bool");    // value = context; Bool
extern "C" void substmt_typed() asm("substmt_typed");  // value 0x55; type = context
asm(R"(
    .text
substmt_int:
    movl  %eax, %edx
    notl  %edx
    movl  $0x80000301, %ecx
    movl  $0x11111111, %ebx
    movl  $0x22222222, %esi
    movl  $0x33333333, %edi
    ret
substmt_bool:
    movl  $0x80000002, %ecx
    xorl  %edx, %edx
    movl  $0x44444444, %ebx
    ret
substmt_typed:
    movl  %eax, %ecx
    movl  $0x55, %eax
    xorl  %edx, %edx
    movl  $0x55555555, %edi
    ret
)");

// A sub-statement routine that reports the ECX and EDX it was entered with: EAX low word =
// ECX on entry, EDX high word = EDX on entry (left as found); type Int.
extern "C" void substmt_entry_ecx_edx() asm("substmt_entry_ecx_edx");
// Calls call(out, substmt) (a function returning an ArgRecord: the result address goes first
// on the stack) with ECX = 0xDEC0DE01 and EDX = 0xDEC0DE02 at the call. The stack is taken
// back from EBP, so it does not matter who removes the result address.
using SubStmtCall = ArgRecord (*)(const ArgRecord&);
extern "C" void call_with_dirty_ecx_edx(SubStmtCall call, ArgRecord* out, const ArgRecord* substmt)
    asm("call_with_dirty_ecx_edx");
asm(R"(
    .text
substmt_entry_ecx_edx:
    movl  %ecx, %eax
    movl  $0x80000301, %ecx
    ret
call_with_dirty_ecx_edx:
    pushl %ebp
    movl  %esp, %ebp
    pushl 16(%ebp)
    pushl 12(%ebp)
    movl  $0xDEC0DE01, %ecx
    movl  $0xDEC0DE02, %edx
    call  *8(%ebp)
    movl  %ebp, %esp
    popl  %ebp
    ret
)");

uint32_t address_of(void (*f)()) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(f)); }

// Registers a stretch of test data as a constant range for the life of the object.
class ConstantRange {
 public:
  ConstantRange(const void* begin, size_t size) {
    auto* b = static_cast<const uint8_t*>(begin);
    runtime::rt().const_ranges.push_back({b, b + size});
  }
  ~ConstantRange() { runtime::rt().const_ranges.pop_back(); }
};

}  // namespace

TEST(TypeCodes, ClassesFollowTheSignedRanges) {
  struct Case { uint32_t type; TypeClass want; } cases[] = {
      {0, TypeClass::kNone},
      {kTypeByte, TypeClass::kSystem},
      {kTypeText | kArrayBit, TypeClass::kSystem},  // 0xA0000004 stays a system type
      {0xBFFFFFFF, TypeClass::kSystem},
      {0x80000000, TypeClass::kSystem},
      {0x00010001, TypeClass::kLibrary},
      {0x3FFFFFFF, TypeClass::kLibrary},
      {0xC0000000, TypeClass::kLibrary},
      {0xFFFFFFFF, TypeClass::kLibrary},
      {0x40000000, TypeClass::kOther},
      {0x7FFFFFFF, TypeClass::kOther},
  };
  for (const auto& c : cases) EXPECT_EQ(type_class(c.type), c.want) << std::hex << c.type;
}

TEST(TypeCodes, LibraryTypeNamesLibraryAndTypeNumber) {
  EXPECT_EQ(library_of(0x00020001), 1u);  // the second library of the process
  EXPECT_EQ(type_number_of(0x00020001), 1u);
  EXPECT_EQ(library_of(0x00010001), 0u);  // the core library's window
  EXPECT_EQ(library_of(0x20030005), 2u);  // array bit ignored
  EXPECT_EQ(library_type(1, 1), 0x00020001u);
}

TEST(TypeCodes, SizesOfEveryType) {
  struct Case { uint32_t type; uint32_t size; } cases[] = {
      {kTypeByte, 1}, {kTypeShort, 2}, {kTypeInt, 4}, {kTypeLong, 8},
      {kTypeFloat, 4}, {kTypeDouble, 8}, {kTypeBool, 4}, {kTypeDateTime, 8},
      {kTypeText, 4}, {kTypeBin, 4}, {kTypeSubPtr, 4}, {kTypeSubStmt, 8},
      {kTypeNone, 0}, {kTypeInt | kArrayBit, 0}, {0x00010001, 0}, {0x80000007, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(type_size(c.type), c.size) << std::hex << c.type;
}

TEST(NumericReading, EachNumericTypeBySlotStorage) {
  float f = -2.75f;
  uint32_t fbits;
  std::memcpy(&fbits, &f, 4);
  auto dbl = [](double d) {
    uint64_t b;
    std::memcpy(&b, &d, 8);
    return ArgRecord{static_cast<uint32_t>(b), static_cast<uint32_t>(b >> 32), kTypeDouble};
  };
  struct Case { ArgRecord value; int32_t want; } cases[] = {
      {{0xFF, 0, kTypeByte}, 255},
      {{0xABCD01FF, 7, kTypeByte}, 255},       // only the low byte counts
      {{0xFFFF, 0, kTypeShort}, -1},
      {{0x12348000, 0, kTypeShort}, -32768},
      {{0xFFFFFFFE, 9, kTypeInt}, -2},
      {{0x00000005, 0x7FFFFFFF, kTypeLong}, 5},  // low word of the 64-bit value
      {{fbits, 0, kTypeFloat}, -2},              // toward zero
      {dbl(3.99), 3},
      {dbl(-3.99), -3},
      {dbl(5e9), static_cast<int32_t>(5000000000LL & 0xFFFFFFFF)},
  };
  for (const auto& c : cases)
    EXPECT_EQ(read_int(c.value), c.want) << std::hex << c.value.type << " " << c.value.lo;
}

TEST(Heap, FreeIgnoresNullAndConstantBlocks) {
  static const char text[] = "常量文本";
  ConstantRange range(text, sizeof text);
  free_block(nullptr);
  free_block(const_cast<char*>(text));
  free_block(const_cast<char*>(text + 3));  // any address inside the range
  EXPECT_STREQ(text, "常量文本");
  EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr));
}

TEST(Heap, ConstantEndFindsTheRangeOfAnAddress) {
  static const uint8_t data[16] = {};
  ConstantRange range(data, 10);
  EXPECT_EQ(constant_end(data), data + 10);
  EXPECT_EQ(constant_end(data + 9), data + 10);
  EXPECT_EQ(constant_end(data + 10), nullptr);
  EXPECT_EQ(constant_end(nullptr), nullptr);
  void* heap_block = allocate(8);
  EXPECT_EQ(constant_end(heap_block), nullptr);
  free_block(heap_block);
}

TEST(Heap, ResizeOfAConstantBlockCopiesOutUpToTheRangeEnd) {
  // 10 constant bytes, then 6 bytes outside the range that must never be copied.
  static const uint8_t data[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  ConstantRange range(data, 10);
  struct Case { uint32_t size; uint32_t copied; } cases[] = {{4, 4}, {100, 10}};
  for (const auto& c : cases) {
    auto* p = static_cast<uint8_t*>(resize(const_cast<uint8_t*>(data), c.size));
    ASSERT_NE(p, data);
    EXPECT_EQ(HeapSize(GetProcessHeap(), 0, p), c.size);
    EXPECT_EQ(std::memcmp(p, data, c.copied), 0) << c.size;
    if (c.size > c.copied) {
      EXPECT_NE(std::memcmp(p + 10, data + 10, 6), 0);
    }
    EXPECT_EQ(data[0], 1);  // the constant stays as it was
    free_block(p);
  }
}

TEST(Heap, ResizeOfNullAllocatesAndOfAHeapBlockKeepsItsBytes) {
  auto* p = static_cast<uint8_t*>(resize(nullptr, 6));
  ASSERT_NE(p, nullptr);
  std::memcpy(p, "abcde", 6);
  p = static_cast<uint8_t*>(resize(p, 4000));
  EXPECT_EQ(std::memcmp(p, "abcde", 6), 0);
  EXPECT_EQ(HeapSize(GetProcessHeap(), 0, p), 4000u);
  free_block(p);
}

TEST(Heap, MakeWritableCopiesAConstantArrayOnly) {
  static const uint32_t ints[] = {1, 3, 10, 20, 30, 0xDEADBEEF};  // {d=1, 3} + 3 Int + outside
  ConstantRange range(ints, 20);
  void* variable = const_cast<uint32_t*>(ints);
  make_array_writable(4, &variable);
  ASSERT_NE(variable, ints);
  EXPECT_EQ(HeapSize(GetProcessHeap(), 0, variable), 20u);  // 4 + 4 + 3 * 4
  EXPECT_EQ(std::memcmp(variable, ints, 20), 0);

  void* again = variable;  // already on the heap: left alone
  make_array_writable(4, &again);
  EXPECT_EQ(again, variable);
  free_block(variable);

  void* none = nullptr;
  make_array_writable(4, &none);
  EXPECT_EQ(none, nullptr);
}

TEST(Heap, MakeWritableOfATwoDimensionalArray) {
  static const uint32_t block[] = {2, 2, 3, 1, 2, 3, 4, 5, 6};  // 2 x 3 Int
  ConstantRange range(block, sizeof block);
  void* variable = const_cast<uint32_t*>(block);
  make_array_writable(4, &variable);
  EXPECT_EQ(HeapSize(GetProcessHeap(), 0, variable), sizeof block);
  EXPECT_EQ(std::memcmp(variable, block, sizeof block), 0);
  free_block(variable);
}

TEST(Heap, MakeWritableNeverReadsPastTheRangeEnd) {
  // A corrupt block claiming 1000 elements in a 12-byte range: the copy is sized as stated,
  // bytes beyond the range come out as zeros.
  static const uint32_t block[] = {1, 1000, 77, 0xDEADBEEF};
  ConstantRange range(block, 12);
  void* variable = const_cast<uint32_t*>(block);
  make_array_writable(4, &variable);
  auto* copy = static_cast<uint32_t*>(variable);
  EXPECT_EQ(copy[2], 77u);
  EXPECT_EQ(copy[3], 0u);
  EXPECT_EQ(copy[1001], 0u);
  free_block(variable);
}

TEST(Arguments, AllZeroRecordIsOmittedNotIntegerZero) {
  ArgRecord omitted{0, 0, 0};
  ArgRecord zero{0, 0, kTypeInt};
  EXPECT_EQ(type_class(omitted.type), TypeClass::kNone);
  EXPECT_EQ(type_class(zero.type), TypeClass::kSystem);
  EXPECT_EQ(read_int(zero), 0);
}

TEST(SubStatements, RoutineGetsContextInEaxAndReturnsValueAndType) {
  struct Case { void (*routine)(); uint32_t context; ArgRecord want; } cases[] = {
      {substmt_int, 7, {7, ~7u, kTypeInt}},
      {substmt_int, 0x80000000, {0x80000000, 0x7FFFFFFF, kTypeInt}},
      {substmt_bool, 1, {1, 0, kTypeBool}},
  };
  for (const auto& c : cases) {
    ArgRecord got = evaluate_substmt({address_of(c.routine), c.context, kTypeSubStmt});
    EXPECT_EQ(got.lo, c.want.lo);
    EXPECT_EQ(got.hi, c.want.hi);
    EXPECT_EQ(got.type, c.want.type);
  }
  // Arrays of any element type are data too.
  for (uint32_t type : {uint32_t{kTypeText | kArrayBit}, 0x20010001u, uint32_t{kTypeDouble}}) {
    ArgRecord got = evaluate_substmt({address_of(substmt_typed), type, kTypeSubStmt});
    EXPECT_EQ(got.type, type);
    EXPECT_EQ(got.lo, 0x55u);
  }
  EXPECT_TRUE(evaluate_condition({address_of(substmt_bool), 5, kTypeSubStmt}));
  EXPECT_FALSE(evaluate_condition({address_of(substmt_bool), 0, kTypeSubStmt}));
}

// Every call into compiled code enters with ECX = EDX = 0, whatever the caller left in them.
TEST(SubStatements, RoutineIsEnteredWithEcxAndEdxCleared) {
  ArgRecord substmt{address_of(substmt_entry_ecx_edx), 0x12345678, kTypeSubStmt};
  ArgRecord got{0xFFFFFFFF, 0xFFFFFFFF, 0};
  call_with_dirty_ecx_edx(&call_substmt, &got, &substmt);
  EXPECT_EQ(got.type, kTypeInt);  // the routine ran and its ECX came back
  EXPECT_EQ(got.lo, 0u) << "ECX on entry";
  EXPECT_EQ(got.hi, 0u) << "EDX on entry";
}

// The fatal paths end the process: each runs in the probe, whose dialog is read and closed.
TEST(FatalPaths, EachShowsItsMessageAndEndsWithMinusOne) {
  const std::string code7 = "错误代码：7\r\n\r\n错误信息：子语句参数未返回数据或者返回了非系统基本类型或数组型数据";
  struct Case { const char* mode; std::string message; } cases[] = {
      {"alloc", "错误信息：分配 1000000 字节内存失败!"},
      {"resize", "错误信息：分配 1000000 字节内存失败!"},
      {"resize-constant", "错误信息：分配 1000000 字节内存失败!"},
      {"read-omitted", "错误信息：欲转换数据类型不是数值"},
      {"read-text", "错误信息：欲转换数据类型不是数值"},
      {"substmt-none", code7},
      {"substmt-library", code7},
      {"condition-int", "错误信息：用作进行条件判断的子语句参数只能接受逻辑型数据"},
  };
  for (const auto& c : cases) {
    kit::Ending e = kit::run_to_end(kit::bin_dir() + "values_probe.exe", c.mode, 1);
    EXPECT_EQ(e.exit_code, static_cast<DWORD>(-1)) << c.mode;
    ASSERT_FALSE(e.dialogs.empty()) << c.mode;
    EXPECT_NE(e.dialogs[0].text.find(c.message), std::string::npos) << c.mode << ": " << e.dialogs[0].text;
  }
}
