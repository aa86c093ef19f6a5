// The index B+tree on real files: open checks, splits, equal keys, deletes that free and cut
// pages, key folding, rebuild and clear, a model-based run against std::set checked page by
// page, and damaged files that must give errors, never a crash.
#include <gtest/gtest.h>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>
#include "corelib/install.h"
#include "database/format.h"
#include "database/index_check.h"
#include "database/index_op.h"
#include "database/index_tree.h"
#include "database/key_transform.h"
#include "tests/database/scratch_dir.h"

namespace {

using namespace database;

FieldDescriptor field(const char* name, int32_t type, int32_t offset, int32_t text_size = 0) {
  FieldDescriptor d{};
  std::strncpy(d.name, name, 16);
  d.type = type;
  d.offset = offset;
  d.text_size = type == kText ? text_size : 0;
  return d;
}

// Fields of the test database: status word, then these.
const std::vector<FieldDescriptor> kFields = {
    field("num", kInt, 4),          // 4 bytes
    field("name", kText, 8, 76),    // 76 bytes: num + name = an 80-byte key
    field("memo", kMemo, 84),       // 4 bytes
    field("wide", kText, 88, 77),   // 77 bytes
    field("flag", kBool, 165),      // 1 byte
    field("price", kDouble, 166),   // 8 bytes
};
constexpr int32_t kRecordLength = 174;
constexpr int32_t kNum = 0, kName = 1, kMemoField = 2, kWide = 3, kFlag = 4, kPrice = 5;

// Records in memory, handed to rebuild and to the checker.
struct Records {
  std::vector<uint8_t> bytes;
  int32_t count() const { return int32_t(bytes.size() / kRecordLength); }
  uint8_t* at(int32_t r) { return bytes.data() + size_t(r) * kRecordLength; }
  int32_t add(int32_t num, const std::string& name = "") {
    bytes.resize(bytes.size() + kRecordLength, 0);
    int32_t r = count() - 1;
    std::memcpy(at(r) + 4, &num, 4);
    std::memcpy(at(r) + 8, name.data(), std::min<size_t>(name.size(), 76));
    return r;
  }
  RecordSource source() {
    RecordSource s;
    s.count = count();
    s.record_length = kRecordLength;
    s.read = [this](int32_t first, int32_t n, uint8_t* out) {
      std::memcpy(out, at(first), size_t(n) * kRecordLength);
      return 0;
    };
    return s;
  }
};

std::string int_key(int32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }
std::string num_name_key(int32_t v, const std::string& name) {
  std::string k = int_key(v) + name;
  k.resize(80, '\0');
  return k;
}
const uint8_t* u8(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

class IndexTreeTest : public ScratchDirTest {
 protected:
  std::string path(const char* name = "t.vnx") { return dir_ + name; }

  // Creates an index on `fields` over `records` and leaves `tree` open on it.
  void make(IndexTree& tree, std::vector<int32_t> fields, Records& records, int32_t factor = 1, int32_t flags = 0,
            const char* name = "t.vnx") {
    IndexDef def;
    def.fields = std::move(fields);
    def.page_factor = factor;
    def.key_flags = flags;
    ASSERT_EQ(tree.create(path(name), kFields, kVersion, def, records.source()), 0);
  }

  std::string bytes_of(const char* name = "t.vnx") {
    std::string s;
    if (FILE* f = std::fopen(path(name).c_str(), "rb")) {
      char buf[4096];
      size_t n;
      while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
      std::fclose(f);
    }
    return s;
  }
  void write_bytes(const std::string& s, const char* name = "t.vnx") {
    FILE* f = std::fopen(path(name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(s.data(), 1, s.size(), f);
    std::fclose(f);
  }

  // Every entry in order, as (key bytes, record).
  static std::vector<std::pair<std::string, int32_t>> entries(IndexTree& tree) {
    std::vector<std::pair<std::string, int32_t>> out;
    size_t K = size_t(tree.key().key_length);
    EXPECT_EQ(tree.scan([&](int32_t r, const uint8_t* k) {
      out.emplace_back(std::string(reinterpret_cast<const char*>(k), K), r);
      return true;
    }),
              0);
    return out;
  }

  static void expect_sound(IndexTree& tree, Records* records = nullptr, const char* when = "") {
    IndexReport report;
    RecordSource src;
    if (records) src = records->source();
    ASSERT_EQ(check_index(tree, records ? records->count() : -1, records ? &src : nullptr, &report), 0) << when;
    for (const IndexFault& f : report.faults)
      ADD_FAILURE() << when << ": page " << f.page << " entry " << f.entry << ": " << f.what;
  }
};

struct PageInfo {
  uint16_t flags;
  int16_t count;
};
PageInfo page_head(const std::string& file, int32_t page, int32_t page_size) {
  PageInfo p{};
  std::memcpy(&p, file.data() + size_t(page) * page_size, 4);
  return p;
}
IndexHeader header_of(const std::string& file) {
  IndexHeader h{};
  std::memcpy(&h, file.data(), sizeof h);
  return h;
}

}  // namespace

TEST_F(IndexTreeTest, CreateWritesHeaderAndEmptyRoot) {
  Records none;
  IndexTree tree;
  make(tree, {kNum, kName}, none, 2, kIgnoreCase);
  tree.close();
  std::string f = bytes_of();
  ASSERT_EQ(f.size(), 2u * 1024);
  IndexHeader h = header_of(f);
  EXPECT_EQ(std::memcmp(h.magic, "WVNX", 4), 0);
  EXPECT_EQ(h.version, kVersion);
  EXPECT_EQ(h.key_flags, kIgnoreCase);
  EXPECT_EQ(h.page_count, 2);
  EXPECT_EQ(h.root, 1);
  EXPECT_EQ(h.page_size, 1024);
  EXPECT_EQ(h.key_length, 80) << "a key of exactly 80 bytes";
  EXPECT_EQ(h.part_count, 2);
  EXPECT_STREQ(h.names[0], "num");
  EXPECT_STREQ(h.names[1], "name");
  EXPECT_EQ(h.types[0], kInt);
  EXPECT_EQ(h.types[1], -76);
  EXPECT_EQ(page_head(f, 1, 1024).count, 0);

  IndexTree again;
  EXPECT_EQ(again.create(path(), kFields, kVersion, IndexDef{{kNum}}, none.source()), -41) << "an existing file stays";
  EXPECT_EQ(bytes_of(), f);

  // Reopened with the database's sharing: held alone, nobody else opens it meanwhile.
  Records records;
  for (int32_t i = 0; i < 100; ++i) records.add(99 - i);
  IndexTree alone;
  ASSERT_EQ(alone.create(path("x.vnx"), kFields, kVersion, IndexDef{{kNum}}, records.source(), Share::kExclusive), 0);
  IndexTree other;
  EXPECT_EQ(other.open(path("x.vnx"), false, Share::kAll, kFields, kVersion), -30);
  for (int32_t i = 0; i < 100; ++i) ASSERT_EQ(alone.insert(u8(int_key(i)), 100 + i), 0);
  expect_sound(alone);
  alone.close();
  ASSERT_EQ(other.open(path("x.vnx"), false, Share::kAll, kFields, kVersion), 0);
  EXPECT_EQ(entries(other).size(), 200u);
}

TEST_F(IndexTreeTest, KeyFieldsResolve) {
  struct Case { std::vector<std::string> names; int32_t code; const char* what; } cases[] = {
      {{"NUM", "Name"}, 0, "names ignore case"},
      {{"num", ""}, -18, "an empty name"},
      {{"nosuch"}, -40, "no such field"},
      {{"memo"}, -42, "memo fields cannot be keys"},
      {{"num", "NUM"}, -20, "a field twice"},
      {{"num", "name", "flag"}, -56, "81 bytes"},
      {{"num", "wide"}, -56, "81 bytes again"},
      {{}, -16, "no field"},
      {{"num", "flag", "price", "a", "b", "c", "d", "e", "f"}, -39, "nine fields"},
  };
  for (const Case& c : cases) {
    std::vector<int32_t> out;
    EXPECT_EQ(resolve_key_fields(kFields, c.names, &out), c.code) << c.what;
  }
  std::vector<int32_t> out;
  ASSERT_EQ(resolve_key_fields(kFields, {"price", "num"}, &out), 0);
  EXPECT_EQ(out, (std::vector<int32_t>{kPrice, kNum}));
  Records none;
  IndexTree tree;
  EXPECT_EQ(tree.create(path(), kFields, kVersion, IndexDef{{kNum, kName, kFlag}}, none.source()), -56);
  EXPECT_EQ(size_of("t.vnx"), -1) << "nothing left behind";
}

TEST_F(IndexTreeTest, OpenChecksTheFileAgainstTheDatabase) {
  Records records;
  for (int i = 0; i < 10; ++i) records.add(i, "n");
  {
    IndexTree tree;
    make(tree, {kNum, kName}, records);
  }
  const std::string good = bytes_of();
  auto fields_with = [](int32_t f, int32_t type, int32_t size) {
    std::vector<FieldDescriptor> v = kFields;
    v[size_t(f)].type = type;
    v[size_t(f)].text_size = size;
    return v;
  };
  struct Case {
    void (*damage)(std::string& file);
    std::vector<FieldDescriptor> fields;
    int32_t version;
    int32_t code;
    const char* what;
  } cases[] = {
      {[](std::string&) {}, kFields, kVersion, 0, "as written"},
      {[](std::string& f) { f.resize(100); }, kFields, kVersion, -31, "shorter than a header"},
      {[](std::string& f) { f[0] = 'X'; }, kFields, kVersion, -31, "magic"},
      {[](std::string& f) { f.resize(f.size() - 1); }, kFields, kVersion, -49, "a byte short of its pages"},
      {[](std::string&) {}, kFields, kVersion + 1, -32, "another version"},
      {[](std::string& f) { std::memcpy(&f[52], "nosuch", 7); }, kFields, kVersion, -43, "unknown field"},
      {[](std::string&) {}, fields_with(kNum, kShort, 0), kVersion, -54, "field type changed"},
      {[](std::string&) {}, fields_with(kName, kText, 70), kVersion, -53, "text size changed"},
      {[](std::string& f) { std::memcpy(&f[52 + 17], "num\0", 4); }, kFields, kVersion, -31, "a field twice"},
      {[](std::string& f) { int32_t t = kMemo; std::memcpy(&f[188], &t, 4); }, kFields, kVersion, -31, "memo part"},
      {[](std::string& f) { int32_t p = 1 << 20; std::memcpy(&f[40], &p, 4); }, kFields, kVersion, -31,
       "page size beyond 100 x 512"},
  };
  for (const Case& c : cases) {
    std::string f = good;
    c.damage(f);
    write_bytes(f);
    IndexTree tree;
    EXPECT_EQ(tree.open(path(), false, Share::kAll, c.fields, c.version), c.code) << c.what;
    EXPECT_EQ(tree.is_open(), c.code == 0) << c.what;
  }
  IndexTree tree;
  EXPECT_EQ(tree.open(path("missing.vnx"), false, Share::kAll, kFields, kVersion), -30);
}

TEST_F(IndexTreeTest, The64thInsertSplitsAFullLeaf) {
  Records none;
  IndexTree tree;
  make(tree, {kNum}, none);
  ASSERT_EQ(tree.key().max_entries, 63);
  ASSERT_EQ(tree.key().min_entries, 31);
  for (int32_t r = 0; r < 63; ++r) ASSERT_EQ(tree.insert(u8(int_key(r * 10)), r), 0);
  std::string f = bytes_of();
  EXPECT_EQ(header_of(f).page_count, 2);
  EXPECT_EQ(page_head(f, 1, 512).count, 63);
  ASSERT_EQ(tree.insert(u8(int_key(5)), 63), 0);
  f = bytes_of();
  IndexHeader h = header_of(f);
  EXPECT_EQ(h.page_count, 4);
  EXPECT_EQ(h.root, 3);
  EXPECT_EQ(page_head(f, 3, 512).flags, kBranchPage);
  EXPECT_EQ(page_head(f, 3, 512).count, 1) << "a branch root with one key";
  EXPECT_EQ(page_head(f, 1, 512).count, 31) << "the left keeps H";
  EXPECT_EQ(page_head(f, 2, 512).count, 33) << "the right takes E + 1 - H";
  int32_t sep;
  std::memcpy(&sep, f.data() + 3 * 512 + 8, 4);
  EXPECT_EQ(sep, 290) << "the left's greatest key";
  EXPECT_EQ(f.size(), 4u * 512);
  expect_sound(tree);
  auto all = entries(tree);
  ASSERT_EQ(all.size(), 64u);
  EXPECT_EQ(all[1].second, 63) << "5 between 0 and 10";
}

TEST_F(IndexTreeTest, EqualKeysStayInRecordOrder) {
  Records none;
  IndexTree tree;
  make(tree, {kNum}, none);
  // Enough equal keys to run across several leaves, inserted out of order.
  std::vector<int32_t> recs;
  for (int32_t r = 0; r < 300; ++r) recs.push_back((r * 7919) % 300);
  for (int32_t r : recs) ASSERT_EQ(tree.insert(u8(int_key(r % 3 == 0 ? 42 : 1000 + r)), r), 0);
  ASSERT_EQ(tree.insert(u8(int_key(42)), 3), 0) << "a pair already there is success";
  expect_sound(tree);
  int32_t prev = -1, found = 0;
  for (auto& [k, r] : entries(tree))
    if (k == int_key(42)) {
      EXPECT_GT(r, prev);
      prev = r;
      ++found;
    }
  EXPECT_EQ(found, 100) << "no pair twice";
  int32_t rec = 0;
  struct Case { int32_t start, want; } cases[] = {{0, 0}, {1, 3}, {3, 3}, {4, 6}, {150, 150}, {298, -1}, {-5, 0}};
  for (const Case& c : cases) {
    ASSERT_EQ(tree.find(u8(int_key(42)), c.start, &rec), 0);
    EXPECT_EQ(rec, c.want) << "from " << c.start;
  }
  ASSERT_EQ(tree.find(u8(int_key(43)), 0, &rec), 0);
  EXPECT_EQ(rec, -1);
  ASSERT_EQ(tree.find(u8(int_key(1001)), 0, &rec), 0);
  EXPECT_EQ(rec, 1);
}

TEST_F(IndexTreeTest, DeletesFreePagesAndCutTheFile) {
  Records none;
  IndexTree tree;
  make(tree, {kNum}, none);
  for (int32_t r = 0; r < 64; ++r) ASSERT_EQ(tree.insert(u8(int_key(r)), r), 0);
  EXPECT_EQ(tree.remove(u8(int_key(5)), 6), -58) << "key with another record";
  EXPECT_EQ(tree.remove(u8(int_key(500)), 0), -58);
  // The right leaf (page 2) holds 31..63: emptying it frees page 2, which is not the last
  // page (the root is 3), so it goes on the free list.
  for (int32_t r = 63; r >= 31; --r) ASSERT_EQ(tree.remove(u8(int_key(r)), r), 0) << r;
  std::string f = bytes_of();
  IndexHeader h = header_of(f);
  EXPECT_EQ(h.root, 1) << "the root with one child handed over to it";
  EXPECT_EQ(h.page_count, 2) << "root page 3 was the last page: cut, and free page 2 with it";
  EXPECT_EQ(h.free_count, 0);
  EXPECT_EQ(f.size(), 2u * 512);
  expect_sound(tree);
  // Removing the greatest key of a leaf updates the separator above it.
  for (int32_t r = 31; r < 64; ++r) ASSERT_EQ(tree.insert(u8(int_key(r)), r), 0);
  ASSERT_EQ(tree.remove(u8(int_key(30)), 30), 0);
  expect_sound(tree, nullptr, "after the left's greatest key went");
  ASSERT_EQ(tree.insert(u8(int_key(30)), 30), 0);
  // Now free a leaf that is not last: the free list takes it, and the next split reuses it.
  for (int32_t r = 0; r <= 30; ++r) ASSERT_EQ(tree.remove(u8(int_key(r)), r), 0);
  f = bytes_of();
  h = header_of(f);
  EXPECT_EQ(h.free_count + (h.page_count == 2 ? 1 : 0), 1) << "page 1 freed or the tree collapsed onto it";
  expect_sound(tree);
  int32_t pages = h.page_count;
  for (int32_t r = 0; r < 40; ++r) ASSERT_EQ(tree.insert(u8(int_key(1000 + r)), 100 + r), 0);
  expect_sound(tree, nullptr, "after reuse");
  EXPECT_LE(header_of(bytes_of()).page_count, pages + 1);
}

TEST_F(IndexTreeTest, KeyFlagsFoldCaseAndSpaces) {
  Records records;
  records.add(1, "Hello World");
  records.add(2, "hello   world");
  records.add(3, "HELLOWORLD");
  records.add(4, "help");
  IndexTree tree;
  make(tree, {kName}, records, 1, kIgnoreCase | kIgnoreSpaces);
  auto name_key = [](const std::string& s) {
    std::string k = s;
    k.resize(76, '\0');
    return k;
  };
  int32_t rec = -1;
  ASSERT_EQ(tree.find(u8(name_key("hello world")), 0, &rec), 0);
  EXPECT_EQ(rec, 0);
  ASSERT_EQ(tree.find(u8(name_key("h E l l o w o r l d")), 1, &rec), 0);
  EXPECT_EQ(rec, 1);
  ASSERT_EQ(tree.find(u8(name_key("helloworld")), 2, &rec), 0);
  EXPECT_EQ(rec, 2);
  ASSERT_EQ(tree.find(u8(name_key("HELP")), 0, &rec), 0);
  EXPECT_EQ(rec, 3);
  expect_sound(tree, &records);

  // An update whose folded key is unchanged leaves the file alone.
  std::string before = bytes_of();
  EXPECT_EQ(tree.update(u8(name_key("help")), u8(name_key("H E L P")), 3), 0);
  EXPECT_EQ(bytes_of(), before);
  EXPECT_EQ(tree.update(u8(name_key("help")), u8(name_key("helm")), 3), 0);
  EXPECT_NE(bytes_of(), before);
  ASSERT_EQ(tree.find(u8(name_key("HELM")), 0, &rec), 0);
  EXPECT_EQ(rec, 3);
  EXPECT_EQ(tree.remove(u8(name_key("Help")), 3), -58);
  // An update whose old pair is missing still indexes the record under its new key.
  EXPECT_EQ(tree.update(u8(name_key("gone")), u8(name_key("new")), 3), -58);
  ASSERT_EQ(tree.find(u8(name_key("NEW")), 0, &rec), 0);
  EXPECT_EQ(rec, 3);
}

TEST_F(IndexTreeTest, PronunciationOrder) {
  corelib::install();  // the pronunciation table
  Records records;
  records.add(0, "子");  // zi
  records.add(1, "丌");  // ji: after zi in byte order, before it by reading
  records.add(2, "啊");  // a
  for (int32_t mode : {1, 2}) {
    IndexTree tree;
    IndexDef def;
    def.fields = {kName};
    def.sort_mode = mode;
    std::string name = "p" + std::to_string(mode) + ".vnx";
    ASSERT_EQ(tree.create(path(name.c_str()), kFields, kVersion, def, records.source()), 0);
    std::vector<int32_t> order;
    for (auto& e : entries(tree)) order.push_back(e.second);
    EXPECT_EQ(order, (std::vector<int32_t>{2, 1, 0})) << "sort mode " << mode;
    std::string key = "丌";
    key.resize(76, '\0');
    int32_t rec = -1;
    ASSERT_EQ(tree.find(u8(key), 0, &rec), 0);
    EXPECT_EQ(rec, 1) << "searched through the same transform";
    expect_sound(tree, &records);
  }
}

TEST_F(IndexTreeTest, CursorWalksBothWays) {
  Records none;
  IndexTree tree;
  make(tree, {kNum}, none);
  IndexCursor c;
  EXPECT_EQ(tree.first(&c), -57) << "empty";
  EXPECT_EQ(tree.last(&c), -57);
  for (int32_t r = 0; r < 200; ++r) ASSERT_EQ(tree.insert(u8(int_key(r / 2)), r), 0);
  ASSERT_EQ(tree.first(&c), 0);
  int32_t n = 1, prev = c.record;
  while (tree.next(&c) == 0) {
    EXPECT_EQ(c.record, prev + 1);
    prev = c.record;
    ++n;
  }
  EXPECT_EQ(n, 200);
  EXPECT_EQ(tree.next(&c), -57) << "still past the end";
  ASSERT_EQ(tree.last(&c), 0);
  EXPECT_EQ(c.record, 199);
  n = 1;
  while (tree.prev(&c) == 0) ++n;
  EXPECT_EQ(n, 200);
  ASSERT_EQ(tree.seek(u8(int_key(50)), 101, &c), 0);
  EXPECT_EQ(c.record, 101);
  ASSERT_EQ(tree.seek(u8(int_key(50)), 102, &c), 0) << "the next key when the start passes them all";
  EXPECT_EQ(c.record, 102);
  // A cursor survives a change: it finds its way from its entry.
  ASSERT_EQ(tree.remove(u8(int_key(51)), 102), 0);
  ASSERT_EQ(tree.next(&c), 0);
  EXPECT_EQ(c.record, 103);
  ASSERT_EQ(tree.prev(&c), 0);
  EXPECT_EQ(c.record, 101);
  EXPECT_EQ(tree.seek(u8(int_key(500)), 0, &c), -57);
}

TEST_F(IndexTreeTest, RebuildAndClear) {
  Records records;
  std::mt19937 rng(7);
  for (int32_t i = 0; i < 5000; ++i) records.add(int32_t(rng() % 700) - 350, std::to_string(rng() % 50));
  IndexTree tree;
  make(tree, {kNum, kName}, records);
  expect_sound(tree, &records, "created");
  // Records change under the index; rebuild brings it back to them.
  for (int32_t r = 0; r < records.count(); r += 3) std::memcpy(records.at(r) + 4, &r, 4);
  IndexReport report;
  RecordSource src = records.source();
  ASSERT_EQ(check_index(tree, records.count(), &src, &report), 0);
  EXPECT_FALSE(report.ok()) << "the checker sees records under keys not their own";
  ASSERT_EQ(tree.rebuild(records.source()), 0);
  expect_sound(tree, &records, "rebuilt");
  // A failing record source leaves the old tree.
  RecordSource broken = records.source();
  broken.read = [](int32_t, int32_t, uint8_t*) { return -62; };
  std::string before = bytes_of();
  EXPECT_EQ(tree.rebuild(broken), -62);
  EXPECT_EQ(bytes_of(), before);
  // Inserts after a rebuild split its full pages soundly.
  for (int32_t i = 0; i < 500; ++i) {
    int32_t r = records.add(int32_t(rng() % 700), "x");
    uint8_t key[80];
    tree.key_of_record(records.at(r), key);
    ASSERT_EQ(tree.insert(key, r), 0);
  }
  expect_sound(tree, &records, "inserted after rebuild");
  // Without the memory to sort, records go in one by one: the same entries.
  auto sorted_entries = entries(tree);
  size_t budget = set_index_sort_budget(0);
  ASSERT_EQ(tree.rebuild(records.source()), 0);
  set_index_sort_budget(budget);
  expect_sound(tree, &records, "rebuilt by inserts");
  EXPECT_TRUE(entries(tree) == sorted_entries);
  ASSERT_EQ(tree.clear(), 0);
  EXPECT_EQ(size_of("t.vnx"), 2 * 512);
  IndexCursor c;
  EXPECT_EQ(tree.first(&c), -57);
  expect_sound(tree);
}

namespace {

// Runs random inserts and deletes against a std::set model; checks the tree page by page and
// against the model every `check_every` steps.
void model_run(IndexTree& tree, int32_t steps, int32_t key_range, uint32_t seed, bool wide_keys,
               int32_t check_every) {
  std::mt19937 rng(seed);
  std::set<std::pair<std::string, int32_t>> model;
  std::vector<std::pair<std::string, int32_t>> present;
  auto key_for = [&](int32_t v) { return wide_keys ? num_name_key(v % 7, "k" + std::to_string(v)) : int_key(v); };
  KeyShape shape = tree.key().shape;
  auto order = [&](const std::pair<std::string, int32_t>& a, const std::pair<std::string, int32_t>& b) {
    int c = compare_keys(shape, u8(a.first), u8(b.first));
    return c < 0 || (c == 0 && a.second < b.second);
  };
  int32_t next_record = 0;
  for (int32_t step = 1; step <= steps; ++step) {
    // Grow, then shrink, then grow again, so that deletes empty whole subtrees.
    int32_t phase = (step * 3 / steps) % 2;
    bool insert = present.empty() || rng() % 100 < (phase == 0 ? 70u : 25u);
    if (insert) {
      std::string k = key_for(int32_t(rng() % uint32_t(key_range)));
      int32_t r = rng() % 4 == 0 && next_record > 0 ? int32_t(rng() % uint32_t(next_record)) : next_record++;
      ASSERT_EQ(tree.insert(u8(k), r), 0) << "step " << step;
      if (model.insert({k, r}).second) present.push_back({k, r});
    } else {
      size_t i = rng() % present.size();
      auto e = present[i];
      present[i] = present.back();
      present.pop_back();
      ASSERT_EQ(tree.remove(u8(e.first), e.second), 0) << "step " << step;
      model.erase(e);
      ASSERT_EQ(tree.remove(u8(e.first), e.second), -58) << "step " << step;
    }
    if (step % check_every == 0 || step == steps) {
      IndexReport report;
      ASSERT_EQ(check_index(tree, -1, nullptr, &report), 0);
      for (const IndexFault& f : report.faults)
        ADD_FAILURE() << "step " << step << ": page " << f.page << " entry " << f.entry << ": " << f.what;
      ASSERT_TRUE(report.ok());
      std::vector<std::pair<std::string, int32_t>> want(model.begin(), model.end());
      std::stable_sort(want.begin(), want.end(), order);
      std::vector<std::pair<std::string, int32_t>> got;
      size_t K = size_t(tree.key().key_length);
      ASSERT_EQ(tree.scan([&](int32_t r, const uint8_t* k) {
        got.emplace_back(std::string(reinterpret_cast<const char*>(k), K), r);
        return true;
      }),
                0);
      ASSERT_EQ(got.size(), want.size()) << "step " << step;
      for (int32_t probe = 0; probe < 20; ++probe) {
        std::string k = key_for(int32_t(rng() % uint32_t(key_range)));
        int32_t start = int32_t(rng() % uint32_t(next_record + 1)), rec = -2, expect = -1;
        for (auto& w : want)
          if (w.second >= start && compare_keys(shape, u8(w.first), u8(k)) == 0) {
            expect = w.second;
            break;
          }
        ASSERT_EQ(tree.find(u8(k), start, &rec), 0);
        ASSERT_EQ(rec, expect) << "step " << step << " find from " << start;
      }
      for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(compare_keys(shape, u8(got[i].first), u8(want[i].first)), 0) << "step " << step << " entry " << i;
        ASSERT_EQ(got[i].second, want[i].second) << "step " << step << " entry " << i;
      }
    }
  }
  // Empty it completely: the file goes back to two pages.
  for (auto& e : present) ASSERT_EQ(tree.remove(u8(e.first), e.second), 0);
  IndexCursor c;
  EXPECT_EQ(tree.first(&c), -57);
  EXPECT_EQ(tree.header().page_count - tree.header().free_count, 2) << "every page but the root is free or cut";
}

}  // namespace

TEST_F(IndexTreeTest, DamageByAnotherWriterWhileOpen) {
  // Page numbers far past the file's end, written into a file we hold open: refused as damage
  // (-52) before any room is made for such pages.
  Records none;
  IndexTree tree;
  make(tree, {kNum}, none);
  for (int32_t r = 0; r < 200; ++r) ASSERT_EQ(tree.insert(u8(int_key(r)), r), 0);
  const std::string good = bytes_of();
  const int32_t root = header_of(good).root, huge = 0x7FFFFF00;
  struct Case { int32_t offset, value; const char* what; } cases[] = {
      {24, huge, "page count"},  // harmless until a new page is wanted at its end
      {36, huge - 1, "root"},
      {root * 512 + 4, huge - 2, "a child link"},  // the first child's
  };
  for (const Case& c : cases) {
    std::string f = good;
    std::memcpy(&f[size_t(c.offset)], &c.value, 4);
    if (c.offset != 24) std::memcpy(&f[24], &huge, 4);
    FILE* w = std::fopen(path().c_str(), "r+b");
    ASSERT_NE(w, nullptr);
    std::fwrite(f.data(), 1, 512 * 2, w);  // header and the first page are enough
    std::fseek(w, root * 512, SEEK_SET);
    std::fwrite(f.data() + root * 512, 1, 512, w);
    std::fclose(w);
    int32_t rec = 0, rc = 0;
    if (c.offset != 24) {
      EXPECT_EQ(tree.find(u8(int_key(0)), 0, &rec), -52) << c.what;
    }
    for (int32_t r = 0; r < 100 && rc == 0; ++r) rc = tree.insert(u8(int_key(-1 - r)), 1000 + r);
    EXPECT_EQ(rc, -52) << c.what;
    write_bytes(good);
    ASSERT_EQ(tree.find(u8(int_key(5)), 0, &rec), 0) << c.what;
    EXPECT_EQ(rec, 5);
  }
}

TEST_F(IndexTreeTest, ModelRunIntegerKeys) {
  Records none;
  IndexTree tree;
  make(tree, {kNum}, none);
  model_run(tree, 6000, 400, 1, false, 500);
  expect_sound(tree);
}

TEST_F(IndexTreeTest, ModelRunLargePages) {
  Records none;
  IndexTree tree;
  make(tree, {kNum}, none, 4);
  ASSERT_EQ(tree.key().max_entries, 255);
  model_run(tree, 4000, 3000, 4, false, 1000);
}

TEST_F(IndexTreeTest, ModelRunWideKeysDeepTree) {
  // K = 80 on 512-byte pages: 6 entries a page, so the tree grows deep and branch pages
  // merge and borrow often.
  Records none;
  IndexTree tree;
  make(tree, {kNum, kName}, none);
  ASSERT_EQ(tree.key().max_entries, 6);
  model_run(tree, 5000, 300, 2, true, 250);
  expect_sound(tree);
}

TEST_F(IndexTreeTest, BranchesBorrowFromFullSiblings) {
  // A rebuilt tree has full pages; emptying the leaves under one branch leaves it a single
  // child while its siblings have no room, so it takes entries from them.
  Records records;
  for (int32_t i = 0; i < 3000; ++i) records.add(i, "r");
  IndexTree tree;
  make(tree, {kNum, kName}, records);
  ASSERT_EQ(tree.key().max_entries, 6);
  std::set<int32_t> left;
  for (int32_t i = 0; i < 3000; ++i) left.insert(i);
  auto drop = [&](int32_t i) {
    ASSERT_EQ(tree.remove(u8(num_name_key(i, "r")), i), 0) << i;
    left.erase(i);
  };
  auto same = [&](const char* when) {
    expect_sound(tree, nullptr, when);
    std::vector<int32_t> got;
    ASSERT_EQ(tree.scan([&](int32_t r, const uint8_t*) { got.push_back(r); return true; }), 0);
    EXPECT_EQ(got, std::vector<int32_t>(left.begin(), left.end())) << when;
  };
  for (int32_t i = 0; i < 400; ++i) {
    drop(i);  // first children: borrow from the right
    if (i % 40 == 0) same("from the front");
  }
  for (int32_t i = 2000; i > 1500; --i) {
    drop(i);  // later children: borrow from the left
    if (i % 40 == 0) same("from the middle");
  }
  for (int32_t i = 2999; i > 2500; --i) drop(i);  // last children
  same("from the end");
}

TEST_F(IndexTreeTest, BatchesWriteAtTheirEnd) {
  Records none;
  IndexTree tree;
  make(tree, {kNum}, none);
  ASSERT_EQ(tree.begin_batch(), 0);
  for (int32_t r = 0; r < 2000; ++r) ASSERT_EQ(tree.insert(u8(int_key(r % 500)), r), 0);
  EXPECT_EQ(tree.remove(u8(int_key(7)), 8), -58) << "a failed operation inside leaves the batch going";
  ASSERT_EQ(tree.remove(u8(int_key(7)), 7), 0);
  int32_t rec = -1;
  ASSERT_EQ(tree.find(u8(int_key(7)), 0, &rec), 0);
  EXPECT_EQ(rec, 507);
  ASSERT_EQ(tree.flush(), 0);
  {
    IndexTree other;
    ASSERT_EQ(other.open(path(), false, Share::kAll, kFields, kVersion), -13) << "the batch holds the lock";
  }
  ASSERT_EQ(tree.end_batch(), 0);
  EXPECT_EQ(tree.end_batch(), 0) << "a second end does nothing";
  IndexTree other;
  ASSERT_EQ(other.open(path(), false, Share::kAll, kFields, kVersion), 0);
  EXPECT_EQ(entries(other).size(), 1999u) << "everything on disk after the batch";
  expect_sound(other);
}

TEST_F(IndexTreeTest, ModelRunWithKeptCache) {
  Records none;
  {
    IndexTree tree;
    make(tree, {kNum, kName}, none);
  }
  IndexTree tree;
  ASSERT_EQ(tree.open(path(), true, Share::kExclusive, kFields, kVersion), 0);
  model_run(tree, 3000, 200, 3, true, 300);
  tree.close();
  // Held alone the file was mapped, with room to grow; closed, it is its pages again.
  EXPECT_EQ(size_of("t.vnx"), int64_t(header_of(bytes_of()).page_count) * 512);
  ASSERT_EQ(tree.open(path(), false, Share::kAll, kFields, kVersion), 0);
  expect_sound(tree, nullptr, "reopened");
}

TEST_F(IndexTreeTest, DamagedFilesGiveErrorsNotCrashes) {
  Records records;
  std::mt19937 rng(11);
  for (int32_t i = 0; i < 400; ++i) records.add(int32_t(rng() % 100), "n" + std::to_string(i % 9));
  {
    IndexTree tree;
    make(tree, {kNum, kName}, records);
    for (int32_t i = 0; i < 150; ++i) tree.remove(u8(num_name_key(int32_t(i % 100), "n" + std::to_string(i % 9))), i);
  }
  const std::string good = bytes_of();
  int32_t opened = 0, faulted = 0;
  for (int32_t round = 0; round < 300; ++round) {
    std::string f = good;
    int32_t flips = 1 + int32_t(rng() % 6);
    for (int32_t i = 0; i < flips; ++i) {
      // Half the damage goes to the header and the page heads, where it matters most.
      size_t at = rng() % 2 ? rng() % f.size() : (rng() % 2 ? 16 + rng() % 32 : (rng() % (f.size() / 512)) * 512 + rng() % 12);
      f[at] = char(rng() % 3 == 0 ? 0xFF : rng());
    }
    if (rng() % 10 == 0) f.resize(rng() % f.size());
    write_bytes(f);
    IndexTree tree;
    // Every third round holds the file alone, so that pages stay cached between operations.
    int32_t rc = tree.open(path(), true, round % 3 == 0 ? Share::kExclusive : Share::kAll, kFields, kVersion);
    EXPECT_LE(rc, 0);
    if (rc) continue;
    ++opened;
    int32_t rec = 0;
    IndexCursor c;
    std::string k = num_name_key(int32_t(rng() % 100), "n1");
    EXPECT_LE(tree.find(u8(k), 0, &rec), 0);
    EXPECT_LE(tree.insert(u8(k), 1000 + round), 0);
    EXPECT_LE(tree.remove(u8(k), 1000 + round), 0);
    EXPECT_LE(tree.remove(u8(num_name_key(5, "n5")), int32_t(rng() % 400)), 0);
    if (tree.first(&c) == 0)
      for (int32_t i = 0; i < 50 && tree.next(&c) == 0; ++i) {
      }
    EXPECT_LE(tree.scan([](int32_t, const uint8_t*) { return true; }), 0);
    IndexReport report;
    RecordSource src = records.source();
    if (check_index(tree, records.count(), &src, &report) == 0 && !report.ok()) ++faulted;
    for (int32_t i = 0; i < 20; ++i) tree.insert(u8(num_name_key(int32_t(rng() % 100), "z")), 2000 + i);
    EXPECT_LE(tree.rebuild(records.source()), 0);
  }
  EXPECT_GT(opened, 50) << "enough damaged files get past the open checks to reach the pages";
  EXPECT_GT(faulted, 10) << "and the checker names what is wrong with them";
}
