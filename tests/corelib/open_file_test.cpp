// Open files by file number: real files with GBK names and memory files, lines across the
// 512-byte read chunks, texts ending at their terminators, insert and delete across the
// 4096-byte move chunks, byte-range locks with the retry rule, typed data in its stored forms,
// password files enciphered on disk, and numbers that are not open.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstring>
#include <string>
#include <thread>
#include "call.h"
#include "database/cipher.h"
#include "runtime/args.h"
#include "runtime/heap.h"
#include "runtime/notify.h"
#include "scratch.h"

namespace {

using namespace calls;

int32_t open(const std::string& path, int mode = 3, int share = 1) {
  return static_cast<int32_t>(call(156, {Text(path), Int(mode), Int(share)}).lo);
}
bool ok(const runtime::ArgRecord& r) { return r.lo != 0; }
std::string file_bytes(const std::string& path) {
  std::string s;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  char buf[65536];
  DWORD got = 0;
  while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got) s.append(buf, got);
  CloseHandle(h);
  return s;
}
std::string read_line(int32_t f) { return take_text(call(169, {Int(f)})).value_or("<null>"); }

}  // namespace

TEST(OpenFileCommands, NumbersThatAreNotOpenFailQuietly) {
  const int32_t bad = 0x12345678;
  int32_t variable = 5;
  struct Case { int slot; std::vector<runtime::ArgRecord> args; int64_t failure; } cases[] = {
      {160, {Int(bad), Int(0), Int(4)}, 0}, {161, {Int(bad), Int(0), Int(4)}, 0},
      {162, {Int(bad), Int(1), Int(0)}, 0}, {163, {Int(bad)}, 0}, {164, {Int(bad)}, 0},
      {165, {Int(bad), Int(4)}, 0}, {166, {Int(bad), Bin("x")}, 0}, {167, {Int(bad)}, 0},
      {168, {Int(bad), Text("x")}, 0}, {169, {Int(bad)}, 0}, {170, {Int(bad), Text("x")}, 0},
      {173, {Int(bad)}, 1}, {174, {Int(bad)}, -1}, {175, {Int(bad)}, -1},
      {418, {Int(bad), Bin("x")}, 0}, {419, {Int(bad), Text("x")}, 0},
      {420, {Int(bad), Text("x")}, 0}, {421, {Int(bad), Int(1)}, 0},
      {171, {Int(bad), IntVariable(&variable)}, 0}, {172, {Int(bad), Int(1)}, 0},
  };
  for (const Case& c : cases) {
    runtime::ArgRecord r = call(c.slot, c.args);
    EXPECT_EQ(static_cast<int32_t>(r.lo), c.failure) << "slot " << c.slot;
  }
  EXPECT_EQ(variable, 5) << "read data left the variable alone";
  call(158, {Int(bad)});  // close: nothing happens
  EXPECT_EQ(open(""), 0);
  EXPECT_EQ(call(156, {Text("x"), Int(7)}).lo, 0u) << "open mode 7";
  EXPECT_EQ(call(156, {Text("x"), Int(3), Int(0)}).lo, 0u) << "share mode 0";
  EXPECT_EQ(call(566, {Text(""), Int(6), Int(1), Text("pw")}).lo, 0u);
  scratch::Folder dir("missing");
  EXPECT_EQ(open(dir / "不存在测试.txt", 1), 0) << "read only: the file must exist";
}

TEST(OpenFileCommands, TextsLinesAndBytesRoundTrip) {
  scratch::Folder dir("openfile");
  std::string path = dir / "行文本测试.txt";
  int32_t f = open(path, 4);
  ASSERT_NE(f, 0);
  EXPECT_TRUE(ok(call(168, {Int(f), Text("甲"), Int(12), Double(2.5), Bool(true), Bin("skipped")})));
  EXPECT_TRUE(ok(call(170, {Int(f), Text("第二行"), Text("")})));
  EXPECT_TRUE(ok(call(166, {Int(f), Bin(std::string("a\0b", 3)), Bin("\x1A" "z")})));
  uint32_t length = call(175, {Int(f)}).lo;
  EXPECT_EQ(file_bytes(path), std::string("甲122.5真第二行\r\n\r\na\0b\x1Az", 24));
  EXPECT_EQ(length, 24u);
  call(158, {Int(f)});
  EXPECT_EQ(call(174, {Int(f)}).lo, 0xFFFFFFFFu) << "closed: no longer a file number";

  f = open(path, 1);
  ASSERT_NE(f, 0);
  EXPECT_EQ(read_line(f), "甲122.5真第二行");
  EXPECT_EQ(read_line(f), "<null>") << "an empty line";
  EXPECT_EQ(read_line(f), "a") << "a zero byte ends the line";
  EXPECT_EQ(call(174, {Int(f)}).lo, 20u) << "and the position stays at it";
  EXPECT_FALSE(ok(call(173, {Int(f)})));
  EXPECT_TRUE(ok(call(173, {Int(f), Int(1)}))) << "in text mode a zero byte is the end";
  EXPECT_EQ(call(174, {Int(f)}).lo, 20u);
  EXPECT_TRUE(ok(call(162, {Int(f), Int(3), Int(1)})));
  EXPECT_EQ(take_text(call(167, {Int(f)})).value_or("<null>"), "b") << "read text stops at 0x1A";
  EXPECT_EQ(call(174, {Int(f)}).lo, 22u) << "at the 0x1A";
  EXPECT_TRUE(ok(call(163, {Int(f)})));
  EXPECT_EQ(take_bin(call(165, {Int(f), Int(2)})).value_or("<null>"), "甲");
  EXPECT_EQ(take_text(call(167, {Int(f), Int(4)})).value_or("<null>"), "122.");
  EXPECT_FALSE(take_bin(call(165, {Int(f), Int(0)})).has_value());
  EXPECT_TRUE(ok(call(164, {Int(f)})));
  EXPECT_TRUE(ok(call(173, {Int(f)})));
  EXPECT_FALSE(take_bin(call(165, {Int(f), Int(5)})).has_value()) << "nothing left to read";
  EXPECT_FALSE(ok(call(166, {Int(f), Bin("x")}))) << "opened for reading only";
  call(158, {Int(f)});
}

TEST(OpenFileCommands, LinesAcrossChunksNeverSplitACharacter) {
  scratch::Folder dir("lines");
  std::string path = dir / "长行测试.txt";
  // 511 ASCII bytes, then a double-byte character across the first 512-byte chunk's end.
  std::string first = std::string(511, 'x') + "中" + std::string(600, 'y');
  std::string second = std::string(1023, 'z') + "文";
  int32_t f = open(path, 6);
  ASSERT_TRUE(ok(call(166, {Int(f), Bin(first + "\r\n" + second + "\n" + "末")})));
  call(163, {Int(f)});
  EXPECT_EQ(read_line(f), first);
  EXPECT_EQ(read_line(f), second);
  EXPECT_EQ(read_line(f), "末") << "the last line has no line end";
  EXPECT_EQ(read_line(f), "<null>") << "the end of the file";
  call(158, {Int(f)});

  // Lines across the end of the bytes read ahead (64 KiB): a character split there by the
  // read-ahead still comes whole.
  std::string path2 = dir / "预读边界.txt";
  std::string lead = std::string(65530, 'p') + "\r\n";
  f = open(path2, 6);
  // "abc" ends at byte 65534: the lead byte of 中 is the last one read ahead.
  ASSERT_TRUE(ok(call(166, {Int(f), Bin(lead + "abc中文中文\nend")})));
  call(163, {Int(f)});
  EXPECT_EQ(read_line(f).size(), 65530u);
  EXPECT_EQ(read_line(f), "abc中文中文");
  EXPECT_EQ(read_line(f), "end");
  EXPECT_TRUE(ok(call(173, {Int(f)})));

  // Read text: a lead byte cut off by the maximum waits for the next read; a lead byte that
  // is the file's last byte is taken, so that reading reaches the end.
  ASSERT_TRUE(ok(call(166, {Int(f), Bin("a中\xB2")})));
  ASSERT_TRUE(ok(call(162, {Int(f), Int(2), Int(-4)})));
  EXPECT_EQ(take_text(call(167, {Int(f), Int(2)})).value_or("<null>"), "a");
  EXPECT_EQ(take_text(call(167, {Int(f)})).value_or("<null>"), "中\xB2");
  EXPECT_TRUE(ok(call(173, {Int(f)}))) << "the end is reached";
  call(158, {Int(f)});
}

TEST(OpenFileCommands, InsertAndDeleteMoveTheTail) {
  scratch::Folder dir("insert");
  std::string content;
  for (int i = 0; i < 10000; ++i) content += static_cast<char>('A' + i % 26);
  for (bool memory : {false, true}) {
    SCOPED_TRACE(memory ? "memory file" : "file on disk");
    std::string path = dir / "插入测试.bin";
    int32_t f = memory ? static_cast<int32_t>(call(157, {}).lo) : open(path, 6);
    ASSERT_NE(f, 0);
    ASSERT_TRUE(ok(call(166, {Int(f), Bin(content)})));
    ASSERT_TRUE(ok(call(162, {Int(f), Int(1), Int(3000)})));
    std::string piece(5000, '#');
    EXPECT_TRUE(ok(call(418, {Int(f), Bin(piece)})));
    EXPECT_EQ(call(174, {Int(f)}).lo, 8000u) << "the position follows the inserted bytes";
    std::string want = content.substr(0, 3000) + piece + content.substr(3000);
    EXPECT_TRUE(ok(call(419, {Int(f), Text("插"), Int(7)})));
    want.insert(8000, "插7");
    EXPECT_TRUE(ok(call(420, {Int(f), Text("行")})));
    want.insert(8003, "行\r\n");
    call(162, {Int(f), Int(1), Int(1000)});
    EXPECT_TRUE(ok(call(421, {Int(f), Int(6000)})));
    want.erase(1000, 6000);
    EXPECT_EQ(call(174, {Int(f)}).lo, 1000u);
    EXPECT_EQ(call(175, {Int(f)}).lo, want.size());
    call(164, {Int(f)});
    EXPECT_TRUE(ok(call(421, {Int(f), Int(50)}))) << "nothing after the position";
    call(163, {Int(f)});
    EXPECT_EQ(take_bin(call(165, {Int(f), Int(100000)})).value_or(""), want);
    call(158, {Int(f)});
    if (!memory) {
      EXPECT_EQ(file_bytes(path), want);
      // A file opened for reading only refuses both, and keeps its content and position.
      f = open(path, 1);
      call(162, {Int(f), Int(1), Int(10)});
      EXPECT_FALSE(ok(call(418, {Int(f), Bin(piece)})));
      EXPECT_FALSE(ok(call(421, {Int(f), Int(5)})));
      EXPECT_EQ(call(174, {Int(f)}).lo, 10u);
      call(158, {Int(f)});
      EXPECT_EQ(file_bytes(path), want);
    }
  }
}

TEST(OpenFileCommands, LocksConflictAndRetry) {
  scratch::Folder dir("locks");
  std::string path = dir / "锁定测试.bin";
  int32_t a = open(path, 6), b = open(path, 6);
  ASSERT_NE(a, 0);
  ASSERT_NE(b, 0);
  call(166, {Int(a), Bin(std::string(100, 'x'))});
  EXPECT_TRUE(ok(call(160, {Int(a), Int(10), Int(20)})));
  EXPECT_FALSE(ok(call(160, {Int(b), Int(15), Int(5)}))) << "held by the other handle, no retry";
  EXPECT_FALSE(ok(call(160, {Int(b), Int(15), Int(5), Int(100)}))) << "still held after 100 ms";
  EXPECT_TRUE(ok(call(160, {Int(b), Int(40), Int(5)}))) << "another region";
  EXPECT_TRUE(ok(call(160, {Int(b), Int(0), Int(0)}))) << "a length of 0";
  // Retry without limit: a handle of our own takes over the region from `a`, and a thread
  // releases it a little later; the command must wait for that release.
  HANDLE raw = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(raw, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(ok(call(161, {Int(a), Int(10), Int(20)})));
  ASSERT_TRUE(LockFile(raw, 10, 0, 20, 0));
  volatile LONG released = 0;
  std::thread release([&] {
    Sleep(150);
    InterlockedExchange(&released, 1);
    UnlockFile(raw, 10, 0, 20, 0);
  });
  EXPECT_TRUE(ok(call(160, {Int(b), Int(15), Int(5), Int(-1)}))) << "retried until released";
  EXPECT_EQ(released, 1) << "the lock was only taken after the release";
  release.join();
  CloseHandle(raw);
  EXPECT_TRUE(ok(call(161, {Int(b), Int(15), Int(5)})));
  EXPECT_FALSE(ok(call(161, {Int(b), Int(15), Int(5)}))) << "not locked any more";
  int32_t m = static_cast<int32_t>(call(157, {}).lo);
  EXPECT_TRUE(ok(call(160, {Int(m), Int(0), Int(10)}))) << "a memory file cannot lock: success";
  call(159, {});
  EXPECT_EQ(call(174, {Int(a)}).lo, 0xFFFFFFFFu) << "close all closed every file";
  EXPECT_EQ(call(174, {Int(m)}).lo, 0xFFFFFFFFu);
}

TEST(OpenFileCommands, LockedRegionRefusesTheOtherHandle) {
  scratch::Folder dir("locked");
  std::string path = dir / "区域测试.bin";
  int32_t a = open(path, 6), b = open(path, 6);
  ASSERT_NE(a, 0);
  ASSERT_NE(b, 0);
  ASSERT_TRUE(ok(call(166, {Int(a), Bin(std::string(100, 'x'))})));
  ASSERT_TRUE(ok(call(160, {Int(a), Int(30), Int(10)})));
  EXPECT_FALSE(ok(call(160, {Int(b), Int(39), Int(5)}))) << "overlaps the last byte";
  EXPECT_TRUE(ok(call(160, {Int(b), Int(40), Int(5)}))) << "the bytes just after it";
  EXPECT_FALSE(ok(call(161, {Int(b), Int(30), Int(10)}))) << "not b's lock to release";
  // b reads ahead now, before a writes into its region.
  call(163, {Int(b)});
  EXPECT_EQ(take_bin(call(165, {Int(b), Int(2)})).value_or("<null>"), "xx");
  // The owner works inside its region.
  call(162, {Int(a), Int(1), Int(30)});
  EXPECT_TRUE(ok(call(166, {Int(a), Bin("zz")})));
  call(162, {Int(a), Int(1), Int(30)});
  EXPECT_EQ(take_bin(call(165, {Int(a), Int(3)})).value_or("<null>"), "zzx");
  // Taking the lock drops what b had read ahead, so b sees a's bytes.
  EXPECT_TRUE(ok(call(161, {Int(a), Int(30), Int(10)})));
  EXPECT_TRUE(ok(call(160, {Int(b), Int(30), Int(10)}))) << "free again";
  call(162, {Int(b), Int(1), Int(30)});
  EXPECT_EQ(take_bin(call(165, {Int(b), Int(2)})).value_or("<null>"), "zz");
  EXPECT_EQ(file_bytes(path), std::string(30, 'x') + "zz" + std::string(68, 'x'));
  call(158, {Int(a)});
  call(158, {Int(b)});
}

namespace {

template <typename T>
std::string raw(T v) {
  return std::string(reinterpret_cast<const char*>(&v), sizeof v);
}
uint32_t addr(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }
template <typename T>
runtime::ArgRecord variable(T* p, uint32_t type) {
  return {addr(p), 0, runtime::variable_type(type)};
}

}  // namespace

TEST(OpenFileCommands, TypedDataKeepsExactStoredForms) {
  using namespace runtime;
  scratch::Folder dir("data");
  std::string path = dir / "数据测试.dat";
  int32_t f = open(path, 6);
  ASSERT_NE(f, 0);
  static const char kFirst[] = "甲", kSecond[] = "乙丙";
  uint32_t texts[2] = {addr(kFirst), addr(kSecond)};
  int32_t ints[3] = {1, -2, 3};
  ArgRecord null_text{0, 0, kTypeText}, null_bin{0, 0, kTypeBin};
  ASSERT_TRUE(ok(call(172, {Int(f), Byte(7), Short(-2), Int(0x12345678), Long(-5), Float(1.5f),
                            Double(-2.25), Bool(true), Date(2.5), SubPtr(0x401000), Text("中文"),
                            null_text, Bin("ab"), null_bin,
                            Array(kTypeInt, 3, std::string(reinterpret_cast<char*>(ints), 12)),
                            Array(kTypeText, 2, std::string(reinterpret_cast<char*>(texts), 8))})));
  std::string want = raw<uint8_t>(7) + raw<int16_t>(-2) + raw<int32_t>(0x12345678) + raw<int64_t>(-5) +
                     raw(1.5f) + raw(-2.25) + raw<int32_t>(1) + raw(2.5) + raw<uint32_t>(0x401000) +
                     std::string("中文\0", 5) + std::string(1, '\0') + raw<uint32_t>(2) + "ab" +
                     raw<uint32_t>(0) + std::string(reinterpret_cast<char*>(ints), 12) +
                     std::string("甲\0乙丙\0", 8);
  uint32_t end = call(174, {Int(f)}).lo;
  EXPECT_EQ(call(175, {Int(f)}).lo, end) << "the length writes out what is buffered";
  EXPECT_EQ(file_bytes(path), want);
  EXPECT_EQ(end, want.size());

  // A value that is not of a basic type stops the command before anything is written.
  ArgRecord unit{1, 2, 0x80010030};
  EXPECT_FALSE(ok(call(172, {Int(f), Int(9), unit})));
  EXPECT_EQ(call(174, {Int(f)}).lo, end);
  EXPECT_EQ(call(175, {Int(f)}).lo, end);

  // Read back into variables of the same types.
  call(163, {Int(f)});
  uint8_t b = 0;
  int16_t sh = 0;
  int32_t i = 0, bo = 0;
  int64_t l = 0;
  float fl = 0;
  double d = 0, dt = 0;
  uint32_t sp = 0;
  char* text = nullptr;
  char* empty = new_text("old");
  void* bin = nullptr;
  void* no_bin = new_bin("old");
  auto* int_array = static_cast<uint32_t*>(allocate(8 + 8 + 12));  // 3 x 1 elements
  uint32_t int_head[4] = {2, 3, 1, 0};
  memcpy(int_array, int_head, 12);
  auto* text_array = static_cast<uint32_t*>(allocate(16));
  uint32_t text_head[4] = {1, 2, 0, 0};
  memcpy(text_array, text_head, 16);
  EXPECT_TRUE(ok(call(171, {Int(f), variable(&b, kTypeByte), variable(&sh, kTypeShort),
                            variable(&i, kTypeInt), variable(&l, kTypeLong), variable(&fl, kTypeFloat),
                            variable(&d, kTypeDouble), variable(&bo, kTypeBool),
                            variable(&dt, kTypeDateTime), variable(&sp, kTypeSubPtr),
                            variable(&text, kTypeText), variable(&empty, kTypeText),
                            variable(&bin, kTypeBin), variable(&no_bin, kTypeBin),
                            variable(&int_array, kTypeInt | kArrayBit),
                            variable(&text_array, kTypeText | kArrayBit)})));
  EXPECT_EQ(b, 7);
  EXPECT_EQ(sh, -2);
  EXPECT_EQ(i, 0x12345678);
  EXPECT_EQ(l, -5);
  EXPECT_EQ(fl, 1.5f);
  EXPECT_EQ(d, -2.25);
  EXPECT_EQ(bo, 1);
  EXPECT_EQ(dt, 2.5);
  EXPECT_EQ(sp, 0x401000u);
  EXPECT_STREQ(text, "中文");
  EXPECT_EQ(empty, nullptr) << "an empty text reads as null";
  ASSERT_NE(bin, nullptr);
  EXPECT_EQ(std::string(static_cast<char*>(bin) + 8, static_cast<uint32_t*>(bin)[1]), "ab");
  EXPECT_EQ(no_bin, nullptr);
  EXPECT_EQ(int_array[0], 1u) << "one dimension now";
  EXPECT_EQ(int_array[1], 3u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(int_array + 2), 12), std::string(reinterpret_cast<char*>(ints), 12));
  ASSERT_EQ(text_array[1], 2u);
  EXPECT_STREQ(reinterpret_cast<char*>(text_array[2]), "甲");
  EXPECT_STREQ(reinterpret_cast<char*>(text_array[3]), "乙丙");
  EXPECT_EQ(call(174, {Int(f)}).lo, end);

  // Short reads: the position returns, variables filled before keep their new values.
  call(162, {Int(f), Int(2), Int(-3)});
  int16_t first = 0;
  int32_t second = 77;
  EXPECT_FALSE(ok(call(171, {Int(f), variable(&first, kTypeShort), variable(&second, kTypeInt)})));
  EXPECT_EQ(call(174, {Int(f)}).lo, end - 3);
  EXPECT_NE(first, 0);
  EXPECT_EQ(second, 77);
  // A byte set claiming more bytes than the file holds, and a text without its zero byte.
  call(164, {Int(f)});
  call(166, {Int(f), Bin(raw<uint32_t>(0x7FFFFFF0) + "abc")});
  call(162, {Int(f), Int(1), Int(static_cast<int32_t>(end))});
  void* huge = nullptr;
  EXPECT_FALSE(ok(call(171, {Int(f), variable(&huge, kTypeBin)})));
  EXPECT_EQ(huge, nullptr);
  call(162, {Int(f), Int(1), Int(static_cast<int32_t>(end) + 4)});
  char* unterminated = nullptr;
  EXPECT_FALSE(ok(call(171, {Int(f), variable(&unterminated, kTypeText)})));
  EXPECT_EQ(unterminated, nullptr);
  EXPECT_EQ(call(174, {Int(f)}).lo, end + 4);
  int32_t plain = 0;
  EXPECT_FALSE(ok(call(171, {Int(f), Int(plain)}))) << "a value is not a variable";

  free_block(text);
  free_block(bin);
  notify(2023, kTypeInt | kArrayBit, addr(int_array));
  notify(2023, kTypeText | kArrayBit, addr(text_array));
  call(158, {Int(f)});
}

TEST(OpenFileCommands, PasswordFilesAreEncipheredOnDisk) {
  scratch::Folder dir("password");
  std::string path = dir / "密码文件测试.dat";
  std::string body = "第一行\r\n第二行\r\n" + std::string(5000, 'p') + "尾";
  int32_t f = static_cast<int32_t>(call(566, {Text(path), Int(4), Int(1), Text("密码"), Int(4)}).lo);
  ASSERT_NE(f, 0);
  EXPECT_TRUE(ok(call(166, {Int(f), Bin("HEAD" + body)})));
  call(158, {Int(f)});

  database::PageCipher cipher;
  cipher.set("密码", 4);
  std::string on_disk = "HEAD" + body;
  cipher.apply(reinterpret_cast<uint8_t*>(on_disk.data()), on_disk.size(), 0);
  std::string stored = file_bytes(path);
  EXPECT_EQ(stored, on_disk) << "enciphered by the page cipher from offset 4";
  EXPECT_EQ(stored.substr(0, 4), "HEAD") << "the bytes before the start stay plain";
  EXPECT_EQ(stored.find("第二行"), std::string::npos);

  f = static_cast<int32_t>(call(566, {Text(path), Int(1), Int(1), Text("密码"), Int(4)}).lo);
  ASSERT_NE(f, 0);
  EXPECT_EQ(read_line(f), "HEAD第一行");
  EXPECT_EQ(read_line(f), "第二行");
  call(162, {Int(f), Int(2), Int(-2)});
  EXPECT_EQ(take_text(call(167, {Int(f)})).value_or("<null>"), "尾");
  call(158, {Int(f)});

  // Without a password the same command opens a plain file: the stored bytes as they are.
  f = static_cast<int32_t>(call(566, {Text(path), Int(1)}).lo);
  EXPECT_EQ(take_bin(call(165, {Int(f), Int(100000)})).value_or(""), stored);
  call(158, {Int(f)});

  // A negative start offset counts as 0: the first byte is enciphered too.
  f = static_cast<int32_t>(call(566, {Text(path), Int(4), Int(1), Text("密码"), Int(-9)}).lo);
  EXPECT_TRUE(ok(call(168, {Int(f), Text("ABCD")})));
  call(158, {Int(f)});
  std::string zero_start = "ABCD";
  cipher.set("密码", 0);
  cipher.apply(reinterpret_cast<uint8_t*>(zero_start.data()), 4, 0);
  EXPECT_EQ(file_bytes(path), zero_start);
  EXPECT_NE(zero_start, "ABCD");
}
