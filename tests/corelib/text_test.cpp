// Text commands through the call-command service: byte-position cutting, GBK-aware search,
// case and width changes, trimming with full-width spaces, replacing, repeating, comparing and
// splitting. Results are compared by bytes; empty texts must come back null.
#include <gtest/gtest.h>
#include "call.h"

using namespace calls;
using runtime::ArgRecord;

namespace {

enum Slot {
  kLength = 76, kLeft = 77, kRight = 78, kMiddle = 79, kChar = 80, kCharCode = 81, kFind = 82,
  kFindBack = 83, kUpper = 84, kLower = 85, kFull = 86, kHalf = 87, kTrimLead = 91, kTrimTrail = 92,
  kTrim = 93, kNoSpaces = 94, kReplaceAt = 95, kReplace = 96, kSpaces = 97, kRepeat = 98,
  kCompare = 99, kSplit = 100,
};

using Texts = std::vector<std::optional<std::string>>;
const std::nullopt_t null = std::nullopt;

}  // namespace

TEST(TextCommands, TextResults) {
  const std::string full_space = "\xA1\xA1";
  struct Case {
    int line;
    int slot;
    std::vector<ArgRecord> args;
    std::optional<std::string> want;
  } cases[] = {
      {__LINE__, kLeft, {Text("abcdef"), Int(2)}, "ab"},
      {__LINE__, kLeft, {Text("abc"), Int(9)}, "abc"},
      {__LINE__, kLeft, {Text("abc"), Int(0)}, null},
      {__LINE__, kLeft, {Text("中a"), Int(1)}, "\xD6"},
      {__LINE__, kRight, {Text("abcdef"), Int(2)}, "ef"},
      {__LINE__, kRight, {Text("abc"), Int(-1)}, null},
      {__LINE__, kRight, {Text("abc"), Int(5)}, "abc"},
      {__LINE__, kMiddle, {Text("abcdef"), Int(7), Int(1)}, null},
      {__LINE__, kMiddle, {Text("abcdef"), Int(5), Int(10)}, "ef"},
      {__LINE__, kMiddle, {Text("abcdef"), Int(2), Int(3)}, "bcd"},
      {__LINE__, kMiddle, {Text("abcdef"), Int(0), Int(3)}, null},
      {__LINE__, kMiddle, {Text("abcdef"), Int(2), Int(0)}, null},
      {__LINE__, kChar, {Byte(65)}, "A"},
      {__LINE__, kChar, {Byte(0)}, null},
      {__LINE__, kUpper, {Text("abc中z文Q")}, "ABC中Z文Q"},
      {__LINE__, kLower, {Text("ABC中Z")}, "abc中z"},
      // A trail byte in the letter range (0x81 0x61) is never changed.
      {__LINE__, kUpper, {Text("\x81\x61" "a")}, "\x81\x61" "A"},
      {__LINE__, kFull, {Text("a~")}, "ａ～"},
      {__LINE__, kFull, {Text("A 1中")}, "Ａ　１中"},
      {__LINE__, kHalf, {Text("ＡＢ１")}, "AB1"},
      {__LINE__, kHalf, {Text("　～中＊")}, " ~中*"},
      {__LINE__, kHalf, {Text("\xA1\xEE\xA1\xEF")}, "**"},
      {__LINE__, kHalf, {Text("a\xA3")}, "a"},
      {__LINE__, kTrimLead, {Text(full_space + " ab ")}, "ab "},
      {__LINE__, kTrimTrail, {Text(" ab " + full_space)}, " ab"},
      {__LINE__, kTrim, {Text(full_space + " a b " + full_space)}, "a b"},
      {__LINE__, kTrim, {Text("   ")}, null},
      // The last two bytes read 0xA1 0xA1, but the first of them is the trail byte of 0xB0 0xA1.
      {__LINE__, kTrimTrail, {Text("A\xB0\xA1\xA1")}, "A\xB0\xA1\xA1"},
      {__LINE__, kNoSpaces, {Text(" a" + full_space + "b c ")}, "abc"},
      {__LINE__, kNoSpaces, {Text("\xB0\xA1\xA1\xA1")}, "\xB0\xA1"},
      {__LINE__, kReplaceAt, {Text("abcdef"), Int(2), Int(3), Text("XY")}, "aXYef"},
      {__LINE__, kReplaceAt, {Text("abcdef"), Int(5), Int(10)}, "abcd"},
      {__LINE__, kReplaceAt, {Text("abc"), Int(0), Int(0), Text("X")}, "Xabc"},
      {__LINE__, kReplaceAt, {Text("abc"), Int(9), Int(1), Text("X")}, "abcX"},
      {__LINE__, kReplaceAt, {Text("abc"), Int(1), Int(3)}, null},
      {__LINE__, kReplace, {Text("AbcABC"), Text("abc"), Text("x")}, "xx"},
      {__LINE__, kReplace, {Text("Abcabc"), Text("abc"), Text("x"), Omit(), Omit(), Bool(true)}, "Abcx"},
      {__LINE__, kReplace, {Text("abcabc"), Text("b")}, "acac"},
      {__LINE__, kReplace, {Text("abcabc"), Text("b"), Text("_"), Int(3)}, "abca_c"},
      {__LINE__, kReplace, {Text("bbbb"), Text("b"), Text("x"), Int(1), Int(2)}, "xxbb"},
      {__LINE__, kReplace, {Text("abc"), Text("b"), Text("x"), Int(1), Int(0)}, "abc"},
      {__LINE__, kReplace, {Text("abc"), Text("b"), Text("x"), Int(4)}, "abc"},
      {__LINE__, kReplace, {Text("abc"), Text(""), Text("x")}, "abc"},
      {__LINE__, kReplace, {Text(""), Text("a"), Text("x")}, null},
      // Never a match starting on a trail byte: 文中 is CE C4 D6 D0, "\xC4\xD6" lies across.
      {__LINE__, kReplace, {Text("文中"), Text("\xC4\xD6"), Text("x")}, "文中"},
      {__LINE__, kReplace, {Text("中文中"), Text("中"), Text("A")}, "A文A"},
      {__LINE__, kSpaces, {Int(3)}, "   "},
      {__LINE__, kSpaces, {Int(0)}, null},
      {__LINE__, kRepeat, {Int(3), Text("ab")}, "ababab"},
      {__LINE__, kRepeat, {Int(-2), Text("ab")}, null},
      {__LINE__, kRepeat, {Int(2), Text("")}, null},
  };
  for (const Case& c : cases) EXPECT_EQ(take_text(call(c.slot, c.args)), c.want) << "line " << c.line;
}

TEST(TextCommands, IntegerResults) {
  struct Case {
    int line;
    int slot;
    std::vector<ArgRecord> args;
    int32_t want;
  } cases[] = {
      {__LINE__, kLength, {Text("中文ab")}, 6},
      {__LINE__, kLength, {Text("")}, 0},
      {__LINE__, kCharCode, {Text("中")}, static_cast<int8_t>(0xD6)},
      {__LINE__, kCharCode, {Text("abc"), Int(2)}, 'b'},
      {__LINE__, kCharCode, {Text("abc"), Int(0)}, 0},
      {__LINE__, kCharCode, {Text("abc"), Int(4)}, 0},
      {__LINE__, kFind, {Text("文中文"), Text("中文")}, 3},
      {__LINE__, kFind, {Text("文中"), Text("\xC4\xD6")}, -1},
      {__LINE__, kFind, {Text("abc"), Text("")}, 1},
      {__LINE__, kFind, {Text(""), Text("")}, -1},
      {__LINE__, kFind, {Text("abcabc"), Text("c"), Int(4)}, 6},
      {__LINE__, kFind, {Text("abcabc"), Text("c"), Int(7)}, -1},
      {__LINE__, kFind, {Text("abcabc"), Text("c"), Int(-3)}, 3},
      {__LINE__, kFind, {Text("xABc"), Text("abC"), Omit(), Bool(true)}, 2},
      {__LINE__, kFind, {Text("xABc"), Text("abC")}, -1},
      {__LINE__, kFind, {Text("x\x81\x41"), Text("\x81\x61"), Omit(), Bool(true)}, -1},
      {__LINE__, kFindBack, {Text("abcabc"), Text("c")}, 6},
      {__LINE__, kFindBack, {Text("abcabc"), Text("c"), Int(6)}, 3},
      {__LINE__, kFindBack, {Text("abcabc"), Text("c"), Int(1)}, -1},
      {__LINE__, kFindBack, {Text("abcABC"), Text("c"), Omit(), Bool(true)}, 6},
      {__LINE__, kFindBack, {Text("中文中文"), Text("中")}, 5},
      {__LINE__, kFindBack, {Text("abc"), Text("x")}, -1},
      {__LINE__, kCompare, {Text("abc"), Text("abd"), Bool(true)}, -1},
      {__LINE__, kCompare, {Text("abc"), Text("ABC"), Bool(true)}, 1},
      {__LINE__, kCompare, {Text("abc"), Text("ABC"), Bool(false)}, 0},
      {__LINE__, kCompare, {Text("ab"), Text("abc"), Bool(false)}, -1},
      {__LINE__, kCompare, {Text("中"), Text("a"), Bool(true)}, 1},
      {__LINE__, kCompare, {Text("中文"), Text("中文"), Bool(false)}, 0},
  };
  for (const Case& c : cases) {
    ArgRecord r = call(c.slot, c.args);
    EXPECT_EQ(static_cast<int32_t>(r.lo), c.want) << "line " << c.line;
    EXPECT_EQ(r.type, 0u) << "line " << c.line;
  }
}

TEST(TextCommands, SplitWithNullElements) {
  struct Case {
    int line;
    std::vector<ArgRecord> args;
    Texts want;
  } cases[] = {
      {__LINE__, {Text("a,b,,c")}, {"a", "b", null, "c"}},
      {__LINE__, {Text("a,b,,c"), Omit(), Int(2)}, {"a", "b"}},
      {__LINE__, {Text("a,b,")}, {"a", "b"}},
      {__LINE__, {Text(",a")}, {null, "a"}},
      {__LINE__, {Text("")}, {}},
      {__LINE__, {Text("a,b"), Omit(), Int(0)}, {}},
      {__LINE__, {Text("a,b"), Omit(), Int(-1)}, {}},
      {__LINE__, {Text("a,b"), Text("")}, {"a,b"}},
      {__LINE__, {Text("1--2--3"), Text("--")}, {"1", "2", "3"}},
      {__LINE__, {Text("中文中"), Text("文")}, {"中", "中"}},
      // The separator never matches from a trail byte: 0xC4 0xD6 lies across 文中.
      {__LINE__, {Text("文中"), Text("\xC4\xD6")}, {"文中"}},
  };
  for (const Case& c : cases) EXPECT_EQ(take_array(call(kSplit, c.args), true), c.want) << "line " << c.line;
}
