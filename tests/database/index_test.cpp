// Index files: the header's checks, page capacity, and the order of keys by part type.
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include "database/format.h"
#include "corelib/install.h"
#include "database/index_format.h"
#include "database/key_transform.h"

namespace {

using namespace database;

template <class T>
std::string raw(T v) {
  std::string s(sizeof v, '\0');
  std::memcpy(s.data(), &v, sizeof v);
  return s;
}

std::string text(const std::string& s, size_t n) {
  std::string r = s;
  r.resize(n, '\0');
  return r;
}

int cmp(const KeyShape& k, const std::string& a, const std::string& b) {
  return compare_keys(k, reinterpret_cast<const uint8_t*>(a.data()), reinterpret_cast<const uint8_t*>(b.data()));
}

KeyShape shape(std::initializer_list<int32_t> types) {
  KeyShape k;
  for (int32_t t : types) k.types[k.count++] = t;
  return k;
}

IndexHeader good_header() {
  IndexHeader h{};
  std::memcpy(h.magic, kIndexMagic, 4);
  h.version = kVersion;
  h.page_count = 2;
  h.root = 1;
  h.page_size = 512;
  h.key_length = 4 + 10;
  h.part_count = 2;
  std::strcpy(h.names[0], "号");
  std::strcpy(h.names[1], "名称");
  h.types[0] = kInt;
  h.types[1] = -10;
  return h;
}

}  // namespace

TEST(DatabaseIndex, KeysOrderByPartType) {
  struct Case { KeyShape k; std::string a, b; int sign; const char* what; } cases[] = {
      {shape({kByte}), raw<uint8_t>(200), raw<uint8_t>(3), 1, "bytes unsigned"},
      {shape({kShort}), raw<int16_t>(-2), raw<int16_t>(1), -1, "shorts signed"},
      {shape({kInt}), raw<int32_t>(-5), raw<int32_t>(4), -1, "integers signed"},
      {shape({kLong}), raw<int64_t>(1LL << 40), raw<int64_t>(-(1LL << 40)), 1, "longs signed, 64 bits"},
      {shape({kFloat}), raw<float>(-1.5f), raw<float>(0.25f), -1, "floats by value"},
      {shape({kDouble}), raw<double>(2.5), raw<double>(2.5), 0, "equal doubles"},
      {shape({kDateTime}), raw<double>(-3.25), raw<double>(-3.5), 1, "dates before 1899 too"},
      {shape({kBool}), raw<uint8_t>(2), raw<uint8_t>(1), 0, "two true values are equal"},
      {shape({kBool}), raw<uint8_t>(0), raw<uint8_t>(7), -1, "false before true"},
      {shape({kSubPtr}), raw<uint32_t>(0x90000000u), raw<uint32_t>(1), 1, "pointers unsigned"},
      {shape({-6}), text("abc", 6), text("abd", 6), -1, "texts by bytes"},
      {shape({-6}), text("ab", 6), text("abc", 6), -1, "a shorter text first"},
      {shape({-4}), std::string("abcd"), std::string("abcz"), -1, "texts filling their part"},
      {shape({-6}), text("中", 6), text("a", 6), 1, "a double-byte character after ASCII"},
      {shape({-6}), text("啊", 6), text("吧", 6), -1, "GBK order of characters"},
      {shape({kInt, -4}), raw<int32_t>(1) + text("z", 4), raw<int32_t>(2) + text("a", 4), -1, "the first part decides"},
      {shape({kInt, -4}), raw<int32_t>(2) + text("b", 4), raw<int32_t>(2) + text("a", 4), 1, "then the next"},
  };
  for (const Case& c : cases) {
    int got = cmp(c.k, c.a, c.b);
    EXPECT_EQ((got > 0) - (got < 0), c.sign) << c.what;
    int back = cmp(c.k, c.b, c.a);
    EXPECT_EQ((back > 0) - (back < 0), -c.sign) << c.what << " (reversed)";
  }
}

TEST(DatabaseIndex, HeaderChecksAndPageCapacity) {
  EXPECT_EQ(max_entries(512, 4), 63);
  EXPECT_EQ(min_entries(512, 4), 31);
  EXPECT_EQ(max_entries(51200, 80), 609);
  KeyShape k;
  ASSERT_EQ(check_index_header(good_header(), 1024, &k), 0);
  EXPECT_EQ(k.count, 2);
  EXPECT_EQ(k.length(), 14);
  EXPECT_EQ(check_index_header(good_header(), 1023, &k), -49) << "shorter than its page count";
  struct Case { void (*damage)(IndexHeader&); const char* what; } cases[] = {
      {[](IndexHeader& h) { h.magic[3] = 'Y'; }, "magic"},
      {[](IndexHeader& h) { h.page_count = 1; }, "one page"},
      {[](IndexHeader& h) { h.free_count = 2; }, "free count not below the page count"},
      {[](IndexHeader& h) { h.free_head = -1; }, "negative free head"},
      {[](IndexHeader& h) { h.root = 0; }, "root 0"},
      {[](IndexHeader& h) { h.root = 2; }, "root past the pages"},
      {[](IndexHeader& h) { h.page_size = 256; }, "page below 512"},
      {[](IndexHeader& h) { h.key_length = 81; }, "key of 81 bytes"},
      {[](IndexHeader& h) { h.part_count = 0; }, "no parts"},
      {[](IndexHeader& h) { h.part_count = 9; }, "nine parts"},
      {[](IndexHeader& h) { h.types[1] = kMemo; }, "a memo part"},
      {[](IndexHeader& h) { h.names[1][0] = 0; }, "an empty name slot"},
      {[](IndexHeader& h) { std::memset(h.names[0], 'n', 17); }, "a name without terminator"},
      {[](IndexHeader& h) { h.key_length = 15; }, "parts that do not sum to the key length"},
  };
  for (const Case& c : cases) {
    IndexHeader h = good_header();
    c.damage(h);
    EXPECT_EQ(check_index_header(h, 1 << 20, &k), -31) << c.what;
  }
}

namespace {

std::string transformed(const KeyShape& k, int32_t mode, int32_t flags, const std::string& in) {
  std::string out(in.size(), '\x7f');
  transform_key(k, mode, flags, reinterpret_cast<const uint8_t*>(in.data()), reinterpret_cast<uint8_t*>(out.data()));
  return out;
}

}  // namespace

TEST(DatabaseIndex, KeyTransformFoldsCaseSpacesAndPronunciation) {
  corelib::install();  // the pronunciation table
  KeyShape k = shape({kInt, -8});
  auto key = [](int32_t n, const std::string& s) { return raw<int32_t>(n) + text(s, 8); };
  // Case and spaces, ASCII and full-width; the integer part is copied as it is.
  EXPECT_EQ(transformed(k, 0, kIgnoreCase, key(-7, "abC")), key(-7, "ABC"));
  EXPECT_EQ(transformed(k, 0, kIgnoreSpaces, key(1, "a b　c")), key(1, "abc"));
  EXPECT_EQ(transformed(k, 0, kIgnoreCase | kIgnoreSpaces, key(1, "x Y z")), key(1, "XYZ"));
  EXPECT_EQ(transformed(k, 0, kIgnoreCase, key(1, "中文ab")), key(1, "中文AB")) << "ideographs stay in byte mode";
  // A lead byte that ends the part ends the text.
  EXPECT_EQ(transformed(shape({-3}), 0, kIgnoreCase, "ab\xD6"), text("AB", 3));

  // Pronunciation order: 丌 (ji, second-level, after 子 in byte order) comes before 子 (zi).
  KeyShape t = shape({-4});
  std::string ji = transformed(t, 1, 0, text("丌", 4)), zi = transformed(t, 1, 0, text("子", 4));
  EXPECT_GT(cmp(t, text("丌", 4), text("子", 4)), 0) << "byte order";
  EXPECT_LT(cmp(t, ji, zi), 0) << "pronunciation order";
  for (const std::string& s : {ji, zi}) {
    EXPECT_NE(s[0], 0) << "no zero byte inside a transformed text";
    EXPECT_LT(static_cast<uint8_t>(s[0]), 0x81);
    EXPECT_LT(static_cast<uint8_t>(s[1]), 0x81);
  }
  EXPECT_EQ(transformed(t, 1, 0, text("啊", 4)), transformed(t, 1, 0, text("阿", 4))) << "same reading, same key";
  EXPECT_EQ(transformed(t, 1, 0, text("，", 4)), text("，", 4)) << "symbols stay as they are";
  EXPECT_EQ(transformed(t, 2, 0, text("子", 4)).size(), 4u);
}
