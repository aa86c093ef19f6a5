// Temporaries of the commands are freed: after a million calls per command family, with every
// returned block freed as compiled code would, the runtime heap has grown by less than 64 KiB.
#include <gtest/gtest.h>
#include "call.h"

using namespace calls;
using runtime::ArgRecord;

namespace {

enum class Kind { kValue, kText, kBin, kTextArray, kBinArray };

struct Call {
  int slot;
  std::vector<ArgRecord> args;
  Kind kind;
};

void release(const ArgRecord& r, Kind kind) {
  switch (kind) {
    case Kind::kText: take_text(r); break;
    case Kind::kBin: take_bin(r); break;
    case Kind::kTextArray: take_array(r, true); break;
    case Kind::kBinArray: take_array(r, false); break;
    case Kind::kValue: break;
  }
}

void expect_bounded_growth(const std::vector<Call>& family) {
  constexpr int kCalls = 1000000;
  for (const Call& c : family) release(call(c.slot, c.args), c.kind);  // warm-up
  uint64_t before = heap_busy_bytes();
  for (int i = 0; i < kCalls; ++i) {
    const Call& c = family[i % family.size()];
    release(call(c.slot, c.args), c.kind);
  }
  uint64_t after = heap_busy_bytes();
  EXPECT_LT(after > before ? after - before : 0, 64u * 1024u);
}

}  // namespace

TEST(CoreHeapGrowth, ConversionFamily) {
  int32_t pos = 1;
  ArgRecord var = IntVariable(&pos);
  expect_bounded_growth({
      {631, {Text("  -12abc")}, Kind::kValue},
      {631, {Text("１２３")}, Kind::kValue},
      {89, {Text("3.5e2")}, Kind::kValue},
      {90, {Double(1e20)}, Kind::kText},
      {90, {Float(0.1f)}, Kind::kText},
      {90, {Date(40693.5)}, Kind::kText},
      {88, {Text("2011-5-30 12:30:45")}, Kind::kValue},
      {102, {Text("abc")}, Kind::kBin},
      {103, {Bin(std::string("ab\0cd", 5)), Int(10), var}, Kind::kText},
      {114, {Double(1234.5), Bool(false)}, Kind::kText},
      {115, {Double(100.05), Bool(true)}, Kind::kText},
      {116, {Double(1234567.891), Int(2), Bool(true)}, Kind::kText},
      {117, {Int(-1)}, Kind::kText},
  });
}

TEST(CoreHeapGrowth, ArithmeticFamily) {
  expect_bounded_growth({
      {17, {Double(100), Double(3)}, Kind::kValue},
      {26, {Double(2.345), Int(2)}, Kind::kValue},
      {37, {Int(1), Int(10)}, Kind::kValue},
      {44, {Text("abc"), Text("ab")}, Kind::kValue},
      {49, {Int(12), Int(10), Int(8)}, Kind::kValue},
  });
}

TEST(CoreHeapGrowth, TextFamily) {
  expect_bounded_growth({
      {82, {Text("文中文"), Text("中文")}, Kind::kValue},
      {79, {Text("abcdef"), Int(2), Int(3)}, Kind::kText},
      {84, {Text("abc中z")}, Kind::kText},
      {86, {Text("a~")}, Kind::kText},
      {93, {Text("　 a b 　")}, Kind::kText},
      {94, {Text(" a　b ")}, Kind::kText},
      {95, {Text("abcdef"), Int(2), Int(3), Text("XY")}, Kind::kText},
      {96, {Text("AbcABC"), Text("abc"), Text("x")}, Kind::kText},
      {98, {Int(3), Text("ab")}, Kind::kText},
      {100, {Text("a,b,,c")}, Kind::kTextArray},
  });
}

TEST(CoreHeapGrowth, ByteSetFamily) {
  expect_bounded_growth({
      {104, {Bin("abcdef"), Int(2)}, Kind::kBin},
      {107, {Bin("abcdef"), Bin("cd")}, Kind::kValue},
      {109, {Bin("abcdef"), Int(2), Int(2), Bin("XYZ")}, Kind::kBin},
      {110, {Bin("aXbXc"), Bin("X"), Bin("--")}, Kind::kBin},
      {112, {Int(3), Bin("ab")}, Kind::kBin},
      {113, {Bin(std::string("a\0b\0\0c", 6))}, Kind::kBinArray},
  });
}

TEST(CoreHeapGrowth, PinyinFamily) {
  expect_bounded_growth({
      {69, {Text("行")}, Kind::kTextArray},
      {71, {Text("中"), Int(1)}, Kind::kText},
      {74, {Text("中国"), Text("钟国"), Int(1)}, Kind::kValue},
      {75, {Text("zhongguo"), Text("中国"), Int(0)}, Kind::kValue},
  });
}

TEST(CoreHeapGrowth, DateFamily) {
  expect_bounded_growth({
      {119, {Date(40574), Int(3), Int(1)}, Kind::kValue},
      {120, {Date(40909), Date(40908), Int(4)}, Kind::kValue},
      {122, {Date(40693.5), Int(1)}, Kind::kText},
      {123, {Date(40693.5), Int(10)}, Kind::kValue},
      {131, {Int(2011), Int(5), Int(30)}, Kind::kValue},
  });
}

TEST(CoreHeapGrowth, TheMeasureSeesBlocksThatAreNotFreed) {
  uint64_t before = heap_busy_bytes();
  std::vector<ArgRecord> kept;
  for (int i = 0; i < 1000; ++i) kept.push_back(call(90, {Double(1e20)}));  // "1e+020": 7 bytes
  uint64_t after = heap_busy_bytes();
  for (const ArgRecord& r : kept) take_text(r);
  EXPECT_GE(after - before, 7000u);
  EXPECT_LT(heap_busy_bytes() - before, 1024u);
}
