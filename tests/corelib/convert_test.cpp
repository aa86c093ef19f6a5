// Conversion commands through the call-command service: numbers of every width from every kind
// of value, texts in the platform's number layouts, date-times, byte sets and their reading,
// Chinese numerals, money texts, formatted, hexadecimal and octal texts.
#include <gtest/gtest.h>
#include <cmath>
#include <cstdio>
#include <cstring>
#include "call.h"
#include "runtime/crt.h"
#include "runtime/heap.h"

using namespace calls;
using runtime::ArgRecord;

namespace {

enum Slot {
  kToDateTime = 88, kToNumber = 89, kToText = 90, kToBin = 102, kGetBinData = 103,
  kNumerals = 114, kMoney = 115, kFormatted = 116, kHex = 117, kOctal = 118,
  kToByte = 629, kToShort = 630, kToInt = 631, kToLong = 632, kToFloat = 633,
};

std::string le32(uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }
std::string le64(uint64_t v) { return std::string(reinterpret_cast<const char*>(&v), 8); }
std::string dbl_bytes(double d) { return std::string(reinterpret_cast<const char*>(&d), 8); }

struct IntCase {
  int line;
  int slot;
  ArgRecord arg;
  int64_t want;
};

}  // namespace

TEST(CoreDispatch, SelectorOfToIntegerWithText12GivesTwelveAndCleanWords) {
  ArgRecord r = call(kToInt, {Text("12")});
  EXPECT_EQ(r.lo, 12u);
  EXPECT_EQ(r.hi, 0u);
  EXPECT_EQ(r.type, 0u);
}

TEST(CoreCrt, FormattingIsTheSystemCRuntimes) {
  // The toolchain's own formatting would print 1e+20.
  EXPECT_EQ(runtime::crt_format("%.13g", 1e20), "1e+020");
}

TEST(NumericConversion, EveryWidthFromEveryKind) {
  const IntCase cases[] = {
      {__LINE__, kToInt, Text("  -12abc"), -12},
      {__LINE__, kToInt, Text("１２３"), 123},
      {__LINE__, kToInt, Text("－４５"), -45},
      {__LINE__, kToInt, Text(""), 0},
      {__LINE__, kToInt, Text("abc"), 0},
      {__LINE__, kToInt, Text("4294967297"), 1},
      {__LINE__, kToInt, Text("\t+7"), 7},
      {__LINE__, kToInt, Double(2.9), 2},
      {__LINE__, kToInt, Double(-2.9), -2},
      {__LINE__, kToInt, Float(-3.7f), -3},
      {__LINE__, kToInt, Byte(200), 200},
      {__LINE__, kToInt, Short(-5), -5},
      {__LINE__, kToInt, Long(0x100000005LL), 5},
      {__LINE__, kToInt, Bool(true), 1},
      {__LINE__, kToInt, SubPtr(0x401000), 0x401000},
      {__LINE__, kToInt, Date(40693.5), 0},
      {__LINE__, kToInt, Bin("12"), 0},
      {__LINE__, kToByte, Int(300), 44},
      {__LINE__, kToByte, Text("-1"), 255},
      {__LINE__, kToByte, Double(257.9), 1},
      {__LINE__, kToByte, Short(-1), 255},
      {__LINE__, kToShort, Int(70000), 4464},
      {__LINE__, kToShort, Text("65535"), -1},
      {__LINE__, kToShort, Byte(255), 255},
      {__LINE__, kToShort, Long(0x12345678ABCDLL), static_cast<int16_t>(0xABCD)},
      {__LINE__, kToLong, Text("9223372036854775807"), INT64_MAX},
      {__LINE__, kToLong, Text("18446744073709551617"), 1},
      {__LINE__, kToLong, Text(" -12"), -12},
      {__LINE__, kToLong, Int(-1), -1},
      {__LINE__, kToLong, Byte(255), 255},
      {__LINE__, kToLong, Short(-2), -2},
      {__LINE__, kToLong, SubPtr(0x80000000u), 0x80000000LL},
      {__LINE__, kToLong, Double(-1e10), -10000000000LL},
      {__LINE__, kToLong, Bool(true), 1},
  };
  for (const IntCase& c : cases) {
    ArgRecord r = call(c.slot, {c.arg});
    if (c.slot == kToLong) {
      EXPECT_EQ(as_long(r), c.want) << "line " << c.line;
    } else {
      EXPECT_EQ(static_cast<int32_t>(r.lo), c.want) << "line " << c.line;
      EXPECT_EQ(r.hi, 0u) << "line " << c.line;
    }
    EXPECT_EQ(r.type, 0u) << "line " << c.line;
  }
}

TEST(NumericConversion, ToNumberAndToFloat) {
  struct Case {
    int line;
    ArgRecord arg;
    double want;
  } cases[] = {
      {__LINE__, Text("3.5e2"), 350.0},
      {__LINE__, Text(" -0.25xyz"), -0.25},
      {__LINE__, Text("１．５"), 1.5},
      {__LINE__, Text("abc"), 0.0},
      {__LINE__, Long(1LL << 40), 1099511627776.0},
      {__LINE__, Int(-7), -7.0},
      {__LINE__, Byte(250), 250.0},
      {__LINE__, Short(-300), -300.0},
      {__LINE__, Float(0.5f), 0.5},
      {__LINE__, Bool(true), 1.0},
      {__LINE__, SubPtr(0x80000000u), 2147483648.0},
      {__LINE__, Date(40693.0), 0.0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(as_double(call(kToNumber, {c.arg})), c.want) << "line " << c.line;
    EXPECT_EQ(as_float(call(kToFloat, {c.arg})), static_cast<float>(c.want)) << "line " << c.line;
  }
  EXPECT_EQ(as_float(call(kToFloat, {Double(0.1)})), 0.1f);
}

TEST(ToText, LayoutsOfEveryKind) {
  struct Case {
    int line;
    ArgRecord arg;
    std::optional<std::string> want;
  } cases[] = {
      {__LINE__, Double(1.0), "1"},
      {__LINE__, Double(0.1), "0.1"},
      {__LINE__, Double(1e20), "1e+020"},
      {__LINE__, Double(-1.5e-7), "-1.5e-007"},
      {__LINE__, Double(1.0 / 3), "0.3333333333333"},
      {__LINE__, Double(1234567890123456.0), "1.234567890123e+015"},
      {__LINE__, Float(0.1f), "0.1"},
      {__LINE__, Float(1.0f / 3), "0.333333"},
      {__LINE__, Float(123456789.0f), "1.23457e+008"},
      {__LINE__, Float(2.5f), "2.5"},
      {__LINE__, Byte(255), "255"},
      {__LINE__, Short(-1), "-1"},
      {__LINE__, Int(-2147483647 - 1), "-2147483648"},
      {__LINE__, Long(-5000000000LL), "-5000000000"},
      {__LINE__, Bool(true), "真"},
      {__LINE__, Bool(false), "假"},
      {__LINE__, Date(40693.0), "2011年5月30日"},
      {__LINE__, Date(40693.0 + (12 * 3600 + 5) / 86400.0), "2011年5月30日12时0分5秒"},
      {__LINE__, Date(40693.0 + (12 * 3600 + 30 * 60) / 86400.0), "2011年5月30日12时30分"},
      {__LINE__, Date(40693.5), "2011年5月30日12时"},
      {__LINE__, Text("中文abc"), "中文abc"},
      {__LINE__, Text(""), std::nullopt},
      {__LINE__, Bin(std::string("ab\0c", 4)), "ab"},
      {__LINE__, Bin(""), std::nullopt},
      {__LINE__, Array(runtime::kTypeInt, 2, le32(0x00636261) + le32(0x64)), "abc"},
      {__LINE__, Array(runtime::kTypeByte, 3, "xyz"), "xyz"},
      {__LINE__, Array(runtime::kTypeText, 1, le32(0)), std::nullopt},
      {__LINE__, SubPtr(0x401000), std::nullopt},
      {__LINE__, Omit(), std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(take_text(call(kToText, {c.arg})), c.want) << "line " << c.line;
}

TEST(ToDateTime, TextsDateTimesAndOtherKinds) {
  struct Case {
    int line;
    ArgRecord arg;
    double want;
  } cases[] = {
      {__LINE__, Text("2011-5-30 12:30:45"), 40693.0 + (12 * 3600 + 30 * 60 + 45) / 86400.0},
      {__LINE__, Text("2011-2-30"), -657434.0},
      {__LINE__, Text("nonsense"), -657434.0},
      {__LINE__, Date(12345.25), 12345.25},
      {__LINE__, Int(40693), -657434.0},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(as_double(call(kToDateTime, {c.arg})), c.want) << "line " << c.line;
}

TEST(ToByteSet, StorageBytesOfEveryKind) {
  struct Case {
    int line;
    ArgRecord arg;
    std::optional<std::string> want;
  } cases[] = {
      {__LINE__, Text("ab中"), "ab中"},
      {__LINE__, Text(""), std::nullopt},
      {__LINE__, Bin(std::string("\0\1", 2)), std::string("\0\1", 2)},
      {__LINE__, Int(1), le32(1)},
      {__LINE__, Bool(true), le32(1)},
      {__LINE__, SubPtr(0x401000), le32(0x401000)},
      {__LINE__, Float(1.0f), le32(0x3F800000)},
      {__LINE__, Long(-2), le64(static_cast<uint64_t>(-2))},
      {__LINE__, Double(1.5), dbl_bytes(1.5)},
      {__LINE__, Date(2.0), dbl_bytes(2.0)},
      {__LINE__, Byte(7), "\7"},
      {__LINE__, Short(0x0102), "\2\1"},
      {__LINE__, Array(runtime::kTypeInt, 2, le32(1) + le32(2)), le32(1) + le32(2)},
      {__LINE__, Array(runtime::kTypeText, 1, le32(0)), std::nullopt},
      {__LINE__, Omit(), std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(take_bin(call(kToBin, {c.arg})), c.want) << "line " << c.line;
}

TEST(GetBinData, KindsPositionsAndTheAdvancingVariable) {
  ArgRecord six = Bin(std::string("\1\2\3\4\5\6", 6));
  struct Case {
    int line;
    ArgRecord bin;
    int kind;
    ArgRecord pos;
    uint32_t type;
    uint64_t want;  // value words
  } cases[] = {
      {__LINE__, Bin(std::string("\1\2", 2)), 3, Omit(), runtime::kTypeInt, 0x0201},
      {__LINE__, six, 1, Int(3), runtime::kTypeByte, 3},
      {__LINE__, six, 2, Int(5), runtime::kTypeShort, 0x0605},
      {__LINE__, six, 4, Omit(), runtime::kTypeLong, 0x060504030201ull},
      {__LINE__, six, 3, Int(0), runtime::kTypeInt, 0},
      {__LINE__, six, 3, Int(9), runtime::kTypeInt, 0},
      {__LINE__, Bin(std::string("\0\0\0\1", 4)), 7, Omit(), runtime::kTypeBool, 1},
      {__LINE__, Bin(std::string("\0\0\0\0", 4)), 7, Omit(), runtime::kTypeBool, 0},
      {__LINE__, Bin(dbl_bytes(1e10)), 8, Omit(), runtime::kTypeDateTime, 0},
      {__LINE__, Bin(le32(0x401000)), 9, Omit(), runtime::kTypeSubPtr, 0x401000},
      {__LINE__, Bin(le32(0x3F800000)), 5, Omit(), runtime::kTypeFloat, 0x3F800000},
  };
  double clamped = 2958465.0;
  uint64_t clamped_bits;
  memcpy(&clamped_bits, &clamped, 8);
  cases[8].want = clamped_bits;
  for (const Case& c : cases) {
    ArgRecord r = call(kGetBinData, {c.bin, Int(c.kind), c.pos});
    EXPECT_EQ(r.type, c.type) << "line " << c.line;
    uint64_t got = r.lo | (runtime::type_size(c.type) > 4 ? static_cast<uint64_t>(r.hi) << 32 : 0);
    EXPECT_EQ(got, c.want) << "line " << c.line;
  }
}

TEST(GetBinData, PositionVariableWalksThroughTheBytes) {
  ArgRecord bin = Bin(std::string("ab\0cd\x10\x20", 7));
  int32_t pos = 1;
  ArgRecord r = call(kGetBinData, {bin, Int(10), IntVariable(&pos)});
  EXPECT_EQ(r.type, runtime::kTypeText);
  EXPECT_EQ(take_text(r), "ab");
  EXPECT_EQ(pos, 4);
  EXPECT_EQ(take_text(call(kGetBinData, {bin, Int(10), IntVariable(&pos)})), std::string("cd\x10\x20"));
  EXPECT_EQ(pos, -1);

  ArgRecord six = Bin(std::string("\1\2\3\4\5\6", 6));
  pos = 1;
  EXPECT_EQ(call(kGetBinData, {six, Int(3), IntVariable(&pos)}).lo, 0x04030201u);
  EXPECT_EQ(pos, 5);
  EXPECT_EQ(call(kGetBinData, {six, Int(2), IntVariable(&pos)}).lo, 0x0605u);  // the last element
  EXPECT_EQ(pos, -1);
  EXPECT_EQ(call(kGetBinData, {six, Int(2), IntVariable(&pos)}).lo, 0u);  // nothing left to read
  EXPECT_EQ(pos, -1);
}

TEST(ChineseNumerals, SimplifiedAndCapitalForms) {
  struct Case {
    int line;
    double x;
    bool simplified;
    const char* want;
  } cases[] = {
      {__LINE__, 0, false, "零"},
      {__LINE__, 1e13, false, "溢出"},
      {__LINE__, -0.5, true, "负零点五"},
      {__LINE__, -0.0, true, "零"},
      {__LINE__, 101, false, "壹佰零壹"},
      {__LINE__, 100000, false, "壹拾万"},
      {__LINE__, 10010, false, "壹万零壹拾"},
      {__LINE__, 1234.5, false, "壹仟贰佰叁拾肆点伍"},
      {__LINE__, 0.05, true, "零点零五"},
      {__LINE__, 100000000, true, "一亿"},
      {__LINE__, 1010000, true, "一百零一万"},
      {__LINE__, 1000000000000, true, "一万亿"},
      {__LINE__, 2.999, true, "三"},
      {__LINE__, 9999999999999, true, "九万九千九百九十九亿九千九百九十九万九千九百九十九"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(take_text(call(kNumerals, {Double(c.x), Bool(c.simplified)})), c.want) << "line " << c.line;
}

TEST(MoneyText, AmountsInYuanJiaoFen) {
  struct Case {
    int line;
    double x;
    bool simplified;
    const char* want;
  } cases[] = {
      {__LINE__, 0.004, false, "零"},
      {__LINE__, 1.5, false, "壹元伍角整"},
      {__LINE__, 10.00, false, "壹拾元整"},
      {__LINE__, 0.5, false, "伍角整"},
      {__LINE__, 100.05, false, "壹佰元零伍分"},
      {__LINE__, -3, false, "负叁元整"},
      {__LINE__, 10.5, true, "一十元零五角整"},
      {__LINE__, 1e13, false, "溢出"},
      {__LINE__, 123456789.12, true, "一亿二千三百四十五万六千七百八十九元一角二分"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(take_text(call(kMoney, {Double(c.x), Bool(c.simplified)})), c.want) << "line " << c.line;
}

TEST(NumberTexts, FormattedHexadecimalOctal) {
  struct Case {
    int line;
    int slot;
    std::vector<ArgRecord> args;
    const char* want;
  } cases[] = {
      {__LINE__, kFormatted, {Double(1234567.891), Int(2), Bool(true)}, "1,234,567.89"},
      {__LINE__, kFormatted, {Double(5), Int(3), Bool(false)}, "5.000"},
      {__LINE__, kFormatted, {Double(-1234.5), Omit(), Bool(true)}, "-1,234.5"},
      {__LINE__, kFormatted, {Double(2.345), Int(2)}, "2.35"},
      {__LINE__, kFormatted, {Double(1.5), Int(0)}, "2"},
      {__LINE__, kFormatted, {Double(1e20), Omit(), Bool(true)}, "1e+020"},
      {__LINE__, kFormatted, {Double(999), Omit(), Bool(true)}, "999"},
      {__LINE__, kHex, {Int(-1)}, "FFFFFFFF"},
      {__LINE__, kHex, {Int(255)}, "FF"},
      {__LINE__, kHex, {Int(0)}, "0"},
      {__LINE__, kOctal, {Int(8)}, "10"},
      {__LINE__, kOctal, {Int(0)}, "0"},
      {__LINE__, kOctal, {Int(-1)}, "37777777777"},
  };
  for (const Case& c : cases) EXPECT_EQ(take_text(call(c.slot, c.args)), c.want) << "line " << c.line;
}

namespace {

// Sub-statement routines (EAX in = context word; out EAX/EDX value, ECX type code).
extern "C" void substmt_int_context() asm("corelib_test_substmt_int");    // Int = context
extern "C" void substmt_text_context() asm("corelib_test_substmt_text");  // Text = context
asm(R"(
    .text
corelib_test_substmt_int:
    movl  $0x80000301, %ecx
    xorl  %edx, %edx
    ret
corelib_test_substmt_text:
    movl  $0x80000004, %ecx
    xorl  %edx, %edx
    ret
)");

ArgRecord substmt(void (*routine)(), uint32_t context) {
  return {static_cast<uint32_t>(reinterpret_cast<uintptr_t>(routine)), context, runtime::kTypeSubStmt};
}

}  // namespace

TEST(SubStatementArguments, AreEvaluatedAndTheirTextsFreed) {
  EXPECT_EQ(take_text(call(kToText, {substmt(&substmt_int_context, 42)})), "42");
  uint64_t before = heap_busy_bytes();
  auto* text = static_cast<char*>(runtime::allocate(3));
  memcpy(text, "77", 3);
  ArgRecord r = call(kToInt, {substmt(&substmt_text_context, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(text)))});
  EXPECT_EQ(r.lo, 77u);
  EXPECT_EQ(heap_busy_bytes(), before);  // the sub-statement's text was the command's to free
}
