// Byte-set commands through the call-command service: lengths, cutting, search, replacing,
// zero and repeated bytes, splitting. Empty byte sets must come back null.
#include <gtest/gtest.h>
#include "call.h"

using namespace calls;
using runtime::ArgRecord;

namespace {

enum Slot {
  kLength = 101, kLeft = 104, kRight = 105, kMiddle = 106, kFind = 107, kFindBack = 108,
  kReplaceAt = 109, kReplace = 110, kZero = 111, kRepeat = 112, kSplit = 113,
};

using Items = std::vector<std::optional<std::string>>;
const std::nullopt_t null = std::nullopt;
std::string b(const char* s, size_t n) { return std::string(s, n); }

}  // namespace

TEST(ByteSetCommands, ByteSetResults) {
  ArgRecord abc = Bin("abcdef");
  struct Case {
    int line;
    int slot;
    std::vector<ArgRecord> args;
    std::optional<std::string> want;
  } cases[] = {
      {__LINE__, kLeft, {abc, Int(2)}, "ab"},
      {__LINE__, kLeft, {abc, Int(10)}, "abcdef"},
      {__LINE__, kLeft, {abc, Int(-1)}, null},
      {__LINE__, kRight, {abc, Int(2)}, "ef"},
      {__LINE__, kRight, {abc, Int(0)}, null},
      {__LINE__, kMiddle, {abc, Int(2), Int(3)}, "bcd"},
      {__LINE__, kMiddle, {abc, Int(-5), Int(2)}, "ab"},
      {__LINE__, kMiddle, {abc, Int(6), Int(9)}, "f"},
      {__LINE__, kMiddle, {abc, Int(7), Int(1)}, null},
      {__LINE__, kMiddle, {abc, Int(1), Int(-1)}, null},
      {__LINE__, kReplaceAt, {abc, Int(2), Int(2), Bin("XYZ")}, "aXYZdef"},
      {__LINE__, kReplaceAt, {abc, Int(5), Int(9)}, "abcd"},
      {__LINE__, kReplaceAt, {abc, Int(0), Int(-3), Bin("_")}, "_abcdef"},
      {__LINE__, kReplaceAt, {abc, Int(1), Int(6)}, null},
      {__LINE__, kReplace, {Bin("aXbXc"), Bin("X")}, "abc"},
      {__LINE__, kReplace, {Bin("aXbXc"), Bin("X"), Bin("--"), Int(3)}, "aXb--c"},
      {__LINE__, kReplace, {Bin("XXXX"), Bin("X"), Bin("y"), Omit(), Int(3)}, "yyyX"},
      {__LINE__, kReplace, {Bin("XXXX"), Bin("X"), Bin("y"), Omit(), Int(-1)}, "XXXX"},
      {__LINE__, kReplace, {Bin("aXb"), Bin("x"), Bin("y")}, "aXb"},
      {__LINE__, kReplace, {Bin("ab"), Bin(""), Bin("y")}, "ab"},
      {__LINE__, kZero, {Int(3)}, b("\0\0\0", 3)},
      {__LINE__, kZero, {Int(0)}, null},
      {__LINE__, kRepeat, {Int(2), Bin(b("\1\0", 2))}, b("\1\0\1\0", 4)},
      {__LINE__, kRepeat, {Int(-1), Bin("a")}, null},
  };
  for (const Case& c : cases) EXPECT_EQ(take_bin(call(c.slot, c.args)), c.want) << "line " << c.line;
}

TEST(ByteSetCommands, IntegerResults) {
  ArgRecord data = Bin(b("ab\0ab\0", 6));
  struct Case {
    int line;
    int slot;
    std::vector<ArgRecord> args;
    int32_t want;
  } cases[] = {
      {__LINE__, kLength, {data}, 6},
      {__LINE__, kLength, {Bin("")}, 0},
      {__LINE__, kFind, {data, Bin("b")}, 2},
      {__LINE__, kFind, {data, Bin("b"), Int(3)}, 5},
      {__LINE__, kFind, {data, Bin(b("\0", 1))}, 3},
      {__LINE__, kFind, {data, Bin("")}, -1},
      {__LINE__, kFind, {data, Bin("ab"), Int(9)}, -1},
      {__LINE__, kFindBack, {data, Bin("ab")}, 4},
      {__LINE__, kFindBack, {data, Bin("ab"), Int(5)}, 4},
      {__LINE__, kFindBack, {data, Bin("ab"), Int(4)}, 1},
      {__LINE__, kFindBack, {data, Bin("x")}, -1},
  };
  for (const Case& c : cases) EXPECT_EQ(static_cast<int32_t>(call(c.slot, c.args).lo), c.want) << "line " << c.line;
}

TEST(ByteSetCommands, SplitWithNullElements) {
  struct Case {
    int line;
    std::vector<ArgRecord> args;
    Items want;
  } cases[] = {
      {__LINE__, {Bin(b("a\0b\0\0c", 6))}, {"a", "b", null, "c"}},
      {__LINE__, {Bin("a,b,,c"), Bin(",")}, {"a", "b", null, "c"}},
      {__LINE__, {Bin("a,b,,c"), Bin(","), Int(2)}, {"a", "b"}},
      {__LINE__, {Bin("a,b,"), Bin(",")}, {"a", "b"}},
      {__LINE__, {Bin("ab"), Bin("")}, {"ab"}},
      {__LINE__, {Bin("")}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(take_array(call(kSplit, c.args), false), c.want) << "line " << c.line;
}
