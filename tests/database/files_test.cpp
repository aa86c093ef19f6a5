// Database files on disk: creation with its checks, and the auxiliary file's block chains
// (reuse, free list, trimming, corrupt links), plain and enciphered.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstring>
#include <string>
#include "corelib/descriptor.h"
#include "database/chains.h"
#include "database/create.h"
#include "database/file.h"
#include "database/format.h"
#include "scratch_dir.h"

namespace {

using database::FieldDef;

class DatabaseFiles : public ScratchDirTest {
 protected:
  // A database with a memo field; its auxiliary file opened for writing.
  void open_aux(database::DbFile& aux, const char* password = "") {
    ASSERT_EQ(database::create_database(dir_ + "m", {{"备注", database::kMemo, 0}}), 0);
    ASSERT_EQ(aux.open(dir_ + "m.VDT", true, database::Share::kAll), 0);
    if (*password) {
      // Encipher the new file's body, as a protected database keeps it.
      aux.set_cipher("", 4);
      ASSERT_EQ(aux.change_password(password), 0);
    }
  }
  database::AuxHeader aux_header(database::DbFile& aux) {
    database::AuxHeader h{};
    EXPECT_EQ(aux.read_exact(0, &h, sizeof h, -1), 0);
    return h;
  }
};

}  // namespace

TEST_F(DatabaseFiles, CreateChecksDefinitionsInOrder) {
  using namespace database;
  struct Case { std::vector<FieldDef> fields; int32_t code; const char* what; } cases[] = {
      {{}, -16, "no fields"},
      {{{"", kInt, 0}, {"b", kInt, 0}}, -16, "the first empty name ends the list"},
      {{{std::string(17, 'a'), kInt, 0}}, -18, "17-byte name"},
      {{{"1a", kInt, 0}}, -18, "leading digit"},
      {{{"a", 13, 0}}, -17, "type 13"},
      {{{"a", kText, 1025}}, -19, "text of 1025"},
      {{{"a", kText, 0}}, -19, "text of 0"},
      {{{"Name", kInt, 0}, {"nAME", kText, 5}}, -20, "names equal ignoring case"},
      {{{"Bad name", 99, 0}}, -18, "the name is checked before the type"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(create_database(dir_ + "bad", c.fields), c.code) << c.what;
    EXPECT_EQ(size_of("bad.VDB"), -1) << c.what << ": nothing written";
  }
  EXPECT_EQ(create_database("", {{"a", kInt, 0}}), -3);

  // A 16-byte name and a 1024-byte text are accepted; the record length counts the status word.
  ASSERT_EQ(create_database(dir_ + "客户", {{std::string(16, 'n'), kText, 1024}, {"金额", kDouble, 0}, {"标志", kBool, 0}}), 0);
  EXPECT_EQ(size_of("客户.VDB"), 116 + 3 * 72);
  EXPECT_EQ(size_of("客户.VDT"), -1) << "no memo or byte-set field: no auxiliary file";
  DbFile f;
  ASSERT_EQ(f.open(dir_ + "客户.VDB", false, Share::kAll), 0);
  DbHeader h;
  ASSERT_EQ(f.read_exact(0, &h, sizeof h, -22), 0);
  EXPECT_EQ(std::memcmp(h.magic, "WVDB", 4), 0);
  EXPECT_EQ(h.version, 0x10000);
  EXPECT_EQ(h.record_count, 0);
  EXPECT_EQ(h.next_serial, 1);
  EXPECT_EQ(h.record_length, 4 + 1024 + 8 + 1);
  EXPECT_GT(h.created, 40000.0);
  FieldDescriptor d[3];
  ASSERT_EQ(f.read_exact(kDescriptorsOffset, d, sizeof d, -22), 0);
  EXPECT_EQ(d[1].offset, 4 + 1024);
  EXPECT_EQ(d[2].type, kBool);
  EXPECT_EQ(d[0].text_size, 1024);
  EXPECT_EQ(d[1].text_size, 0);
  f.close();
  EXPECT_NE(create_database(dir_ + "客户", {{"a", kInt, 0}}), 0) << "an existing file is not overwritten";

  ASSERT_EQ(create_database(dir_ + "m.dat", {{"a", kInt, 0}, {"b", kBytes, 0}}), 0);
  EXPECT_EQ(size_of("m.dat"), 116 + 2 * 72);
  EXPECT_EQ(size_of("m.VDT"), 512) << "a new auxiliary file is exactly its header block";
}

TEST_F(DatabaseFiles, ChainsReuseBlocksAndShrinkTheFile) {
  database::DbFile aux;
  open_aux(aux);
  std::string v500(500, 'a'), v501(501, 'b'), v1400(1400, 'c');
  int32_t first = 0;
  ASSERT_EQ(database::write_chain(aux, v500.data(), 500, 0, &first), 0);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(size_of("m.VDT"), 2 * 512) << "500 bytes take one block";
  int32_t second = 0;
  ASSERT_EQ(database::write_chain(aux, v501.data(), 501, 0, &second), 0);
  EXPECT_EQ(size_of("m.VDT"), 4 * 512) << "501 bytes take two";
  database::BlockHeader last;
  ASSERT_EQ(aux.read_exact(3 * 512, &last, sizeof last, -1), 0);
  EXPECT_EQ(last.used, 1);
  EXPECT_EQ(last.previous, 2);
  EXPECT_EQ(last.next, 0);

  // Overwrite the 501-byte value (blocks 2, 3) with three blocks: 2, 3 reused, 4 new.
  ASSERT_EQ(database::write_chain(aux, v1400.data(), 1400, second, &second), 0);
  EXPECT_EQ(second, 2);
  EXPECT_EQ(size_of("m.VDT"), 5 * 512);
  // Back to one block: 3 and 4 are released, and as the last blocks they leave the file.
  ASSERT_EQ(database::write_chain(aux, "xyz", 3, second, &second), 0);
  EXPECT_EQ(second, 2);
  EXPECT_EQ(size_of("m.VDT"), 3 * 512);
  database::AuxHeader h = aux_header(aux);
  EXPECT_EQ(h.block_count, 3);
  EXPECT_EQ(h.free_count, 0);
  EXPECT_EQ(h.free_head, 0);

  // Released blocks inside the file go to the free list and are taken by the next value.
  ASSERT_EQ(database::write_chain(aux, v1400.data(), 1400, first, &first), 0);  // 1, 3, 4
  EXPECT_EQ(size_of("m.VDT"), 5 * 512);
  ASSERT_EQ(database::release_chain(aux, first), 0);
  h = aux_header(aux);
  EXPECT_EQ(size_of("m.VDT"), 3 * 512) << "3 and 4 leave the file; 1 stays, free";
  EXPECT_EQ(h.block_count, 3);
  EXPECT_EQ(h.free_count, 1);
  EXPECT_EQ(h.free_head, 1);
  int32_t third = 0;
  ASSERT_EQ(database::write_chain(aux, v501.data(), 501, 0, &third), 0);
  EXPECT_EQ(third, 1) << "the free block is taken first";
  h = aux_header(aux);
  EXPECT_EQ(h.free_count, 0);
  EXPECT_EQ(h.free_head, 0);
  EXPECT_EQ(size_of("m.VDT"), 4 * 512);

  std::string out;
  ASSERT_EQ(database::read_chain(aux, third, out), 0);
  EXPECT_EQ(out, v501);
  out.clear();
  ASSERT_EQ(database::read_chain(aux, second, out), 0);
  EXPECT_EQ(out, "xyz");
  out.clear();
  EXPECT_EQ(database::read_chain(aux, 0, out), 0);
  EXPECT_EQ(out, "");
}

TEST_F(DatabaseFiles, CorruptLinksGiveTheChainError) {
  database::DbFile aux;
  open_aux(aux);
  std::string v(1200, 'q');
  // The middle block of a fresh three-block value is damaged in one way per case.
  struct Case { uint32_t field; int32_t value; bool readable; const char* what; } cases[] = {
      {4, 9999, false, "a link past the file"},
      {4, 0, true, "a link cut short: the value ends early"},
      {4, -1, false, "a cycle (the link points back at the first block)"},
      {8, 501, false, "a used count above 500"},
      {8, 0, false, "a used count of 0 inside a chain"},
  };
  for (const Case& c : cases) {
    int32_t first = 0;
    ASSERT_EQ(database::write_chain(aux, v.data(), 1200, 0, &first), 0);
    database::BlockHeader head;
    ASSERT_EQ(aux.read_exact(uint64_t(first) * 512, &head, sizeof head, -1), 0);
    int32_t value = c.value < 0 ? first : c.value;
    ASSERT_EQ(aux.write_at(uint64_t(head.next) * 512 + c.field, &value, 4), 0);
    std::string out;
    EXPECT_EQ(database::read_chain(aux, first, out), c.readable ? 0 : database::kChainError) << c.what;
    // Writing over a damaged chain never crashes and never runs away.
    int32_t again = 0;
    int32_t rc = database::write_chain(aux, "x", 1, first, &again);
    EXPECT_TRUE(rc == 0 || rc == database::kChainError) << c.what;
  }
  std::string missing;
  database::DbFile closed;
  EXPECT_EQ(database::read_chain(closed, 1, missing), database::kChainError);
}

TEST_F(DatabaseFiles, EncipheredChainsAndPasswordChange) {
  database::DbFile aux;
  open_aux(aux, "旧密码");
  std::string v(1300, '\0');
  for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<char>(i * 7);
  int32_t first = 0;
  ASSERT_EQ(database::write_chain(aux, v.data(), 1300, 0, &first), 0);
  aux.close();
  database::DbFile raw;
  ASSERT_EQ(raw.open(dir_ + "m.VDT", false, database::Share::kAll), 0);
  char magic[4];
  ASSERT_EQ(raw.read_exact(0, magic, 4, -1), 0);
  EXPECT_EQ(std::memcmp(magic, "WVDT", 4), 0) << "the first 4 bytes stay plain";
  std::string stored(500, '\0');
  ASSERT_EQ(raw.read_exact(512 + 12, stored.data(), 500, -1), 0);
  EXPECT_NE(stored, v.substr(0, 500)) << "the body is enciphered on disk";
  raw.close();

  ASSERT_EQ(aux.open(dir_ + "m.VDT", true, database::Share::kAll), 0);
  aux.set_cipher("旧密码", 4);
  std::string out;
  ASSERT_EQ(database::read_chain(aux, first, out), 0);
  EXPECT_EQ(out, v);
  ASSERT_EQ(aux.change_password("新密码"), 0);
  aux.close();
  ASSERT_EQ(aux.open(dir_ + "m.VDT", true, database::Share::kAll), 0);
  aux.set_cipher("新密码", 4);
  out.clear();
  ASSERT_EQ(database::read_chain(aux, first, out), 0);
  EXPECT_EQ(out, v);
  aux.set_cipher("旧密码", 4);
  out.clear();
  database::read_chain(aux, first, out);
  EXPECT_NE(out, v) << "the old password no longer reads it";
  aux.set_cipher("新密码", 4);
  ASSERT_EQ(aux.change_password(""), 0);
  aux.close();
  ASSERT_EQ(raw.open(dir_ + "m.VDT", false, database::Share::kAll), 0);
  ASSERT_EQ(raw.read_exact(512 + 12, stored.data(), 500, -1), 0);
  EXPECT_EQ(stored, v.substr(0, 500)) << "an empty password leaves a plain body";
}

// The core library's notification codes 10-12: an enciphered file object, its destruction,
// and the password digest, as other modules reach the page cipher.
TEST_F(DatabaseFiles, LibraryNotificationCodesGiveTheCipher) {
  char digest[40];
  std::memset(digest, 'x', sizeof digest);
  EXPECT_EQ(corelib::library_notify(12, reinterpret_cast<uintptr_t>("密码"), reinterpret_cast<uintptr_t>(digest)), 0);
  EXPECT_STREQ(digest, database::password_digest("密码").c_str());

  auto* file = reinterpret_cast<database::DbFile*>(static_cast<uintptr_t>(
      corelib::library_notify(10, reinterpret_cast<uintptr_t>("pw"), 6)));
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(file->open(dir_ + "enc.bin", true, database::Share::kAll, true), 0);
  const char text[] = "0123456789abcdef";
  ASSERT_EQ(file->write_at(0, text, 16), 0);
  char back[16];
  ASSERT_EQ(file->read_exact(0, back, 16, -1), 0);
  EXPECT_EQ(std::memcmp(back, text, 16), 0);
  file->close();
  EXPECT_EQ(corelib::library_notify(11, reinterpret_cast<uintptr_t>(file), 0), 0);
  database::DbFile raw;
  ASSERT_EQ(raw.open(dir_ + "enc.bin", false, database::Share::kAll), 0);
  ASSERT_EQ(raw.read_exact(0, back, 16, -1), 0);
  EXPECT_EQ(std::memcmp(back, text, 6), 0) << "plain before the start offset";
  EXPECT_NE(std::memcmp(back + 6, text + 6, 10), 0) << "enciphered from it on";
}
