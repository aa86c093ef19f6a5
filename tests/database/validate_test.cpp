// The checks at open: damaged headers and descriptors are refused, a short file is repaired
// when it is open for writing and refused when read-only, passwords are checked, and the
// auxiliary file's header is checked and repaired the same way.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstring>
#include <string>
#include "database/create.h"
#include "database/file.h"
#include "database/format.h"
#include "database/validate.h"
#include "scratch_dir.h"

namespace {

using namespace database;

class DatabaseOpenChecks : public ScratchDirTest {
 protected:
  // t.VDB: an integer and a memo field (record length 12), with `records` records.
  void make(int records) {
    for (const char* f : {"t.VDB", "t.VDT"}) DeleteFileA((dir_ + f).c_str());
    ASSERT_EQ(create_database(dir_ + "t", {{"号", kInt, 0}, {"备注", kMemo, 0}}), 0);
    DbFile f;
    ASSERT_EQ(f.open(path(), true, Share::kAll), 0);
    for (int32_t r = 0; r < records; ++r) {
      int32_t rec[3] = {r + 1, 100 + r, 0};
      ASSERT_EQ(f.write_at(kDescriptorsOffset + 2 * 72 + 12u * r, rec, 12), 0);
    }
    int32_t counts[2] = {records, records + 1};
    ASSERT_EQ(f.write_at(16, counts, 8), 0);
  }
  std::string path() const { return dir_ + "t.VDB"; }
  int32_t check(bool writable, const std::string& password = "") {
    DbFile f;
    EXPECT_EQ(f.open(path(), writable, Share::kAll), 0);
    Layout l;
    int32_t rc = validate_database(f, writable, password, l);
    layout_ = l;
    return rc;
  }
  void poke(uint32_t at, int32_t value) {
    DbFile f;
    ASSERT_EQ(f.open(path(), true, Share::kAll), 0);
    ASSERT_EQ(f.write_at(at, &value, 4), 0);
  }
  int64_t size() { return size_of("t.VDB"); }
  Layout layout_;
};

}  // namespace

TEST_F(DatabaseOpenChecks, DamagedHeadersAndDescriptorsAreRefused) {
  make(2);
  ASSERT_EQ(check(false), 0);
  EXPECT_EQ(layout_.fields.size(), 2u);
  EXPECT_EQ(layout_.data_start, 116u + 144u);
  EXPECT_TRUE(layout_.needs_aux);
  EXPECT_EQ(layout_.header.record_count, 2);
  const uint32_t d0 = kDescriptorsOffset;
  struct Case { uint32_t at; int32_t value; int32_t code; const char* what; } cases[] = {
      {0, 0x41424344, -22, "another magic"},
      {4, 0x10001, -23, "a newer version"},
      {16, -1, -22, "a negative record count"},
      {20, 0, -22, "next serial 0"},
      {24, 0, -22, "record length 0"},
      {112, 0, -22, "no fields"},
      {112, 0x7FFFFFFF, -22, "a field count the file cannot hold"},
      {d0 + 20, 13, -22, "a type outside 1..12"},
      {d0 + 24, -4, -22, "a negative field offset"},
      {d0 + 24, 10, -22, "a field running past the record"},
      {d0 + 72 + 24, 2, -22, "a field over the status word"},
  };
  for (const Case& c : cases) {
    make(2);
    poke(c.at, c.value);
    EXPECT_EQ(check(false), c.code) << c.what;
  }
  make(2);
  {  // a name that fills all 17 bytes has no terminator
    DbFile f;
    ASSERT_EQ(f.open(path(), true, Share::kAll), 0);
    ASSERT_EQ(f.write_at(d0, std::string(17, 'n').data(), 17), 0);
  }
  EXPECT_EQ(check(false), -22);
}

TEST_F(DatabaseOpenChecks, ShortFilesAreRepairedOnlyForWriting) {
  make(3);
  int64_t whole = size();
  // Cut in the middle of the last record.
  HANDLE h = CreateFileA(path().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  SetFilePointer(h, static_cast<LONG>(whole - 5), nullptr, FILE_BEGIN);
  SetEndOfFile(h);
  CloseHandle(h);
  EXPECT_EQ(check(false), -48) << "read-only: the file is too short for its count";
  EXPECT_EQ(size(), whole - 5) << "and nothing is changed";
  EXPECT_EQ(check(true), 0);
  EXPECT_EQ(layout_.header.record_count, 2);
  EXPECT_EQ(size(), whole - 12) << "cut at the last whole record";
  EXPECT_EQ(check(false), 0) << "the repaired count was written back";
  EXPECT_EQ(layout_.header.record_count, 2);
}

TEST_F(DatabaseOpenChecks, PasswordsAndTheAuxiliaryHeader) {
  make(1);
  EXPECT_EQ(check(false, "pw"), -78) << "a password for a plain file";
  EXPECT_EQ(check(false, "?"), 0) << "\"?\" counts as none for a plain file";
  {  // protect it: magic and digest, then the body enciphered from offset 4
    DbFile f;
    ASSERT_EQ(f.open(path(), true, Share::kAll), 0);
    ASSERT_EQ(f.write_at(0, kProtectedMagic, 4), 0);
    std::string d = password_digest("密钥");
    ASSERT_EQ(f.write_at(28, d.c_str(), 33), 0);
    f.set_cipher("", 4);
    ASSERT_EQ(f.change_password("密钥"), 0);
  }
  EXPECT_EQ(check(false, "密钥"), 0);
  EXPECT_EQ(layout_.header.record_count, 1);
  EXPECT_EQ(check(false, "错的"), -78);
  EXPECT_EQ(check(false, ""), -78);
  EXPECT_EQ(check(false, "?"), -78) << "no one to ask";

  // The auxiliary file: damaged headers, another version, a short file.
  make(1);
  struct Case { uint32_t at; int32_t value; int32_t code; const char* what; } cases[] = {
      {0, 0x58585858, -35, "another magic"},
      {16, 0, -35, "no blocks"},
      {20, 1, -35, "a free count not below the block count"},
      {24, 5, -35, "a free head past the blocks"},
      {4, 0x20000, -36, "another version"},
  };
  for (const Case& c : cases) {
    make(1);
    DbFile aux;
    ASSERT_EQ(aux.open(dir_ + "t.VDT", true, Share::kAll), 0);
    ASSERT_EQ(aux.write_at(c.at, &c.value, 4), 0);
    EXPECT_EQ(validate_aux(aux, false, kVersion), c.code) << c.what;
  }
  make(1);
  DbFile aux;
  ASSERT_EQ(aux.open(dir_ + "t.VDT", true, Share::kAll), 0);
  int32_t blocks = 3;
  ASSERT_EQ(aux.write_at(16, &blocks, 4), 0);
  EXPECT_EQ(validate_aux(aux, false, kVersion), -37) << "read-only: fewer blocks than the count";
  EXPECT_EQ(validate_aux(aux, true, kVersion), 0);
  AuxHeader a;
  ASSERT_EQ(aux.read_exact(0, &a, sizeof a, -1), 0);
  EXPECT_EQ(a.block_count, 1) << "the count follows the file when open for writing";
}
