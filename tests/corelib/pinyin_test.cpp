// Pinyin commands through the call-command service: reading counts and spellings (polyphones
// included), comparison by pinyin with the fuzzy fold and prefix mode, input code matching,
// and the coverage of all 6768 slots of rows 0xB0..0xF7.
#include <gtest/gtest.h>
#include "call.h"

using namespace calls;
using runtime::ArgRecord;

namespace {

enum Slot {
  kAll = 69, kCount = 70, kPinyin = 71, kInitial = 72, kFinal = 73, kCompare = 74, kInputCode = 75,
};

using Texts = std::vector<std::optional<std::string>>;
const std::nullopt_t null = std::nullopt;

}  // namespace

TEST(Pinyin, ReadingCountsAndSpellings) {
  struct Count {
    int line;
    std::string text;
    int want;
  } counts[] = {
      {__LINE__, "中", 1},   {__LINE__, "了", 2},  {__LINE__, "行", 3},  {__LINE__, "中国", 1},
      {__LINE__, "\xD7\xFA", 0}, {__LINE__, "a", 0}, {__LINE__, "", 0}, {__LINE__, "　", 0},
      {__LINE__, "\xD6", 0},
  };
  for (const Count& c : counts) EXPECT_EQ(static_cast<int32_t>(call(kCount, {Text(c.text)}).lo), c.want) << "line " << c.line;

  struct Piece {
    int line;
    int slot;
    std::string text;
    ArgRecord reading;
    std::optional<std::string> want;
  } pieces[] = {
      {__LINE__, kPinyin, "中", Int(1), "zhong"},
      {__LINE__, kPinyin, "中", Int(2), null},
      {__LINE__, kPinyin, "行", Int(3), "heng"},
      {__LINE__, kPinyin, "行", Int(4), null},
      {__LINE__, kPinyin, "了", Int(0), "le"},
      {__LINE__, kPinyin, "了", Int(2), "liao"},
      {__LINE__, kPinyin, "绿", Int(1), "lu"},
      {__LINE__, kPinyin, "x", Int(1), null},
      {__LINE__, kInitial, "中", Int(1), "zh"},
      {__LINE__, kFinal, "中", Int(1), "ong"},
      {__LINE__, kInitial, "啊", Int(1), null},
      {__LINE__, kFinal, "啊", Int(1), "a"},
      {__LINE__, kInitial, "嗯", Int(1), "n"},
      {__LINE__, kFinal, "嗯", Int(1), null},
      {__LINE__, kFinal, "略", Int(1), "ue"},
  };
  for (const Piece& c : pieces)
    EXPECT_EQ(take_text(call(c.slot, {Text(c.text), c.reading})), c.want) << "line " << c.line;

  EXPECT_EQ(take_array(call(kAll, {Text("了")}), true), (Texts{"le", "liao"}));
  EXPECT_EQ(take_array(call(kAll, {Text("行")}), true), (Texts{"xing", "hang", "heng"}));
  EXPECT_EQ(take_array(call(kAll, {Text("中文")}), true), (Texts{"zhong"}));
  EXPECT_EQ(take_array(call(kAll, {Text("x")}), true), Texts{});
}

TEST(Pinyin, EveryHanziSlotHasReadingsAndOnlyTheFiveEmptySlotsHaveNone) {
  int empty = 0;
  for (int lead = 0xB0; lead <= 0xF7; ++lead) {
    for (int trail = 0xA1; trail <= 0xFE; ++trail) {
      std::string ch{static_cast<char>(lead), static_cast<char>(trail)};
      int n = static_cast<int32_t>(call(kCount, {Text(ch)}).lo);
      Texts all = take_array(call(kAll, {Text(ch)}), true);
      ASSERT_EQ(all.size(), static_cast<size_t>(n)) << std::hex << lead << trail;
      if (n == 0) {
        ++empty;
        EXPECT_TRUE(lead == 0xD7 && trail >= 0xFA) << std::hex << lead << trail;
        continue;
      }
      for (const auto& s : all) {
        ASSERT_TRUE(s.has_value());
        EXPECT_EQ(s->find_first_not_of("abcdefghijklmnopqrstuvwxyz"), std::string::npos) << *s;
      }
    }
  }
  EXPECT_EQ(empty, 5);
}

TEST(Pinyin, CompareByPinyin) {
  struct Case {
    int line;
    std::string a, b;
    int fuzzy;
    ArgRecord prefix;
    bool want;
  } cases[] = {
      {__LINE__, "中国", "钟国", 0, Omit(), true},
      {__LINE__, "中", "宗", 0, Omit(), false},
      {__LINE__, "中", "宗", 1, Omit(), true},
      {__LINE__, "女", "你", 0, Omit(), false},
      {__LINE__, "女", "你", 1, Omit(), true},
      {__LINE__, "长", "常", 0, Omit(), true},
      {__LINE__, "绿", "路", 0, Omit(), true},
      {__LINE__, "中", "中国", 0, Int(1), true},
      {__LINE__, "中", "中国", 0, Omit(), false},
      {__LINE__, "中国", "中", 0, Int(1), false},
      {__LINE__, "ab", "ab", 0, Omit(), true},
      {__LINE__, "ab", "aB", 0, Omit(), false},
      {__LINE__, "中", "ａ", 0, Omit(), false},
      {__LINE__, "ａ", "ａ", 0, Omit(), true},
      {__LINE__, "a中", "a钟", 0, Omit(), true},
      {__LINE__, "", "", 0, Omit(), true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(call(kCompare, {Text(c.a), Text(c.b), Int(c.fuzzy), c.prefix}).lo, c.want ? 1u : 0u) << "line " << c.line;
}

TEST(Pinyin, InputCodeMatch) {
  struct Case {
    int line;
    std::string code, text;
    int fuzzy;
    ArgRecord kind;
    bool want;
  } cases[] = {
      {__LINE__, "zhongguo", "中国", 0, Omit(), true},
      {__LINE__, "ZhongGuo", "中国", 0, Omit(), true},
      {__LINE__, ";zhongguo", "中国", 0, Omit(), true},
      {__LINE__, ":zg", "中国", 0, Omit(), true},
      {__LINE__, "zg", "中国", 0, Int(2), true},
      {__LINE__, "zg", "中国", 0, Omit(), false},
      {__LINE__, "zongguo", "中国", 1, Omit(), true},
      {__LINE__, "zongguo", "中国", 0, Omit(), false},
      {__LINE__, "zhongguo'2", "中国", 0, Omit(), true},
      {__LINE__, "hang", "行", 0, Omit(), true},
      {__LINE__, "zhong", "中国", 0, Omit(), false},
      {__LINE__, "zhongguoa", "中国a", 0, Omit(), true},
      {__LINE__, "", "", 0, Omit(), true},
      {__LINE__, "a", "", 0, Omit(), false},
      {__LINE__, "", "中", 0, Omit(), false},
      {__LINE__, ";", "", 0, Omit(), true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(call(kInputCode, {Text(c.code), Text(c.text), Int(c.fuzzy), c.kind}).lo, c.want ? 1u : 0u) << "line " << c.line;

  // A long text of polyphones: every syllable split is tried once per position, not once per path.
  std::string text, code;
  for (int i = 0; i < 300; ++i) {
    text += "西安";
    code += "xian";
  }
  EXPECT_EQ(call(kInputCode, {Text(code), Text(text), Int(1)}).lo, 1u);
  EXPECT_EQ(call(kInputCode, {Text(code + "x"), Text(text), Int(1)}).lo, 0u);
}
