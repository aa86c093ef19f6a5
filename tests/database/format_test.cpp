// The database engine's stored formats: file and field names, the password digest and the
// page cipher, checked against known vectors and against the properties the file layer needs
// (enciphering is its own inverse and does not depend on how a range is split into reads).
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <vector>
#include "database/cipher.h"
#include "database/format.h"
#include "database/names.h"

namespace {

std::string hex(const uint8_t* p, size_t n) {
  static const char k[] = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) s += k[p[i] >> 4], s += k[p[i] & 15];
  return s;
}

std::vector<uint8_t> pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i);
  return v;
}

}  // namespace

TEST(DatabaseNames, FileNamesTakeTheirExtension) {
  struct Case { const char* in; const char* db; const char* aux; } cases[] = {
      {"C:\\data\\客户", "C:\\data\\客户.VDB", "C:\\data\\客户.VDT"},
      {"C:\\data\\客户.", "C:\\data\\客户.VDB", "C:\\data\\客户.VDT"},
      {"C:\\data\\客户.dat", "C:\\data\\客户.dat", "C:\\data\\客户.VDT"},
      {"C:\\v1.2\\list", "C:\\v1.2\\list.VDB", "C:\\v1.2\\list.VDT"},
      // "昞" is 0x95 0x5C: its trail byte is no "\", so the "." before it is the extension's.
      {"D:\\a.昞", "D:\\a.昞", "D:\\a.VDT"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(database::with_default_extension(c.in, "VDB"), c.db) << c.in;
    EXPECT_EQ(database::with_extension(database::with_default_extension(c.in, "VDB"), "VDT"), c.aux) << c.in;
  }
}

TEST(DatabaseNames, FieldNameRule) {
  struct Case { std::string name; bool valid; } cases[] = {
      {"name", true}, {"_x1", true}, {"姓名", true}, {"ＡＢ", true}, {"かな", true}, {"カナ", true},
      {std::string(16, 'a'), true}, {std::string(17, 'a'), false}, {"", false},
      {"1st", false}, {".x", false}, {"１号", false}, {"a b", false}, {"a-b", false},
      {"a，b", false} /* full-width comma: a symbol */, {"a\xB0", false} /* lone lead byte */,
  };
  for (const auto& c : cases) EXPECT_EQ(database::valid_name(c.name, true), c.valid) << c.name;
  EXPECT_TRUE(database::valid_name(std::string(20, 'a'), false)) << "aliases have no length limit";
  EXPECT_TRUE(database::same_name("Name", "nAME"));
  EXPECT_FALSE(database::same_name("姓名", "姓各"));
  EXPECT_FALSE(database::same_name("ab", "abc"));
}

TEST(DatabaseCipher, Md5AndPasswordDigest) {
  struct Case { std::string in; const char* md5; } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},   // padding fits one block
      {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},   // padding needs a second
      {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
      {std::string(119, 'a'), "8a7bd0732ed6a28ce75f6dabc90e1613"},
      {std::string(120, 'a'), "5f61c0ccad4cac44c75ff505e1f1e537"},
  };
  for (const auto& c : cases) {
    auto d = database::md5(c.in.data(), c.in.size());
    EXPECT_EQ(hex(d.data(), d.size()), c.md5) << c.in.size();
  }
  // md5("abc") = 900150983cd24fb0d6963f7d28e17f72: pairs swapped, then reversed.
  EXPECT_EQ(database::password_digest("abc"), "727fe1287d3f96d6b04fd23c98500190");
  EXPECT_EQ(database::password_digest("密码"), "3c488aaa862424f6c564c9f0303e29d2");
}

TEST(DatabaseCipher, Rc4KnownVectors) {
  struct Case { const char* key; const char* text; const char* out; } cases[] = {
      {"Key", "Plaintext", "bbf316e8d940af0ad3"},
      {"Wiki", "pedia", "1021bf0420"},
      {"Secret", "Attack at dawn", "45a01f645fc35b383552544b9bf5"},
  };
  for (const auto& c : cases) {
    database::Rc4 r;
    r.key(reinterpret_cast<const uint8_t*>(c.key), std::strlen(c.key));
    std::string t = c.text;
    for (char& ch : t) ch = static_cast<char>(ch ^ r.next());
    EXPECT_EQ(hex(reinterpret_cast<const uint8_t*>(t.data()), t.size()), c.out) << c.key;
  }
}

TEST(DatabaseCipher, PageCipherVectorsAndProperties) {
  database::PageCipher c;
  c.set("密码", 4);
  ASSERT_TRUE(c.on);
  // Known bytes: the plain first 4 bytes, and both sides of the page boundaries.
  struct Case { uint64_t position; size_t n; const char* out; } cases[] = {
      {0, 12, "00010203ce55336908007638"}, {4094, 6, "7d13d4d8a8ac"}, {8191, 3, "88222c"},
  };
  for (const auto& k : cases) {
    auto v = pattern(k.n);
    c.apply(v.data(), v.size(), k.position);
    EXPECT_EQ(hex(v.data(), v.size()), k.out) << k.position;
  }
  // Its own inverse; the same bytes whether the range is taken whole or in pieces.
  auto plain = pattern(3 * 4096 + 100), whole = plain;
  c.apply(whole.data(), whole.size(), 0);
  auto pieces = plain;
  for (size_t at = 0; at < pieces.size();) {
    size_t n = std::min<size_t>(pieces.size() - at, 1 + at % 5000);
    c.apply(pieces.data() + at, n, at);
    at += n;
  }
  EXPECT_EQ(pieces, whole);
  c.apply(whole.data(), whole.size(), 0);
  EXPECT_EQ(whole, plain);
  // An empty password turns the cipher off.
  database::PageCipher off;
  off.set("", 4);
  auto v = pattern(64);
  off.apply(v.data(), v.size(), 0);
  EXPECT_EQ(v, pattern(64));
  EXPECT_FALSE(off.same_key(c));
}

TEST(DatabaseFormat, FieldSizes) {
  using namespace database;
  const int32_t sizes[] = {0, 1, 2, 4, 8, 4, 8, 1, 8, 4, 33, 4, 4};
  for (int32_t t = 1; t <= 12; ++t) EXPECT_EQ(field_size(t, 33), sizes[t]) << t;
  EXPECT_EQ(field_size(13, 33), 0);
  EXPECT_EQ(field_size(0, 33), 0);
}
