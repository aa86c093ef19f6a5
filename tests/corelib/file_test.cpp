// Drive, directory and whole-file commands through the call-command service, on real files in
// a scratch folder with GBK names.
#include <windows.h>
#include <gtest/gtest.h>
#include <string>
#include "call.h"
#include "scratch.h"

using namespace calls;
using runtime::ArgRecord;

namespace {

enum Slot {
  kDiskTotal = 134, kDiskFree = 135, kVolumeLabel = 136, kSetVolumeLabel = 137,
  kChangeDrive = 138, kChangeDir = 139, kCurrentDir = 140, kMakeDir = 141, kRemoveDir = 142,
  kCopy = 143, kMove = 144, kDelete = 145, kRename = 146, kExists = 147, kTime = 149,
  kSize = 150, kAttributes = 151, kSetAttributes = 152, kTempName = 153, kRead = 154,
  kWrite = 155,
};

int32_t int_of(const ArgRecord& r) { return static_cast<int32_t>(r.lo); }
bool bool_of(const ArgRecord& r) { return r.lo != 0; }

std::string content(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  std::string s(GetFileSize(h, nullptr), '\0');
  DWORD got = 0;
  ReadFile(h, s.data(), static_cast<DWORD>(s.size()), &got, nullptr);
  CloseHandle(h);
  s.resize(got);
  return s;
}

void put(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
  DWORD done = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
  CloseHandle(h);
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class FileCommands : public ::testing::Test {
 protected:
  scratch::Folder dir{"file"};
};

}  // namespace

TEST_F(FileCommands, MissingOrUnusablePathsFailCleanly) {
  std::string missing = dir / "不存在测试.txt";
  std::string too_long = dir.path() + "\\" + std::string(300, 'x') + "测试";
  std::string sub = dir / "目录测试";
  ASSERT_TRUE(CreateDirectoryA(sub.c_str(), nullptr));
  for (const std::string& path : {missing, too_long, std::string(), sub}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(int_of(call(kSize, {Text(path)})), -1);
    EXPECT_EQ(take_bin(call(kRead, {Text(path)})), std::nullopt);
    EXPECT_FALSE(bool_of(call(kDelete, {Text(path)})));
    EXPECT_FALSE(bool_of(call(kCopy, {Text(path), Text(dir / "副本测试")})));
    if (path == sub) continue;  // a directory can be moved, has a time and attributes, and exists
    EXPECT_FALSE(bool_of(call(kMove, {Text(path), Text(dir / "副本测试")})));
    EXPECT_EQ(as_double(call(kTime, {Text(path)})), -657434.0);
    EXPECT_EQ(int_of(call(kAttributes, {Text(path)})), -1);
    EXPECT_FALSE(bool_of(call(kExists, {Text(path)})));
    EXPECT_FALSE(bool_of(call(kSetAttributes, {Text(path), Int(1)})));
  }
  // Writing to an empty path, a directory, an over-long path or into a missing folder fails.
  for (const std::string& path : {std::string(), sub, too_long, dir / "无此目录测试\\a.bin"}) {
    EXPECT_FALSE(bool_of(call(kWrite, {Text(path), Bin("x")}))) << path;
  }
  EXPECT_EQ(scratch::entries(dir.path()), (std::set<std::string>{".", "..", "目录测试"}));
  EXPECT_EQ(scratch::entries(sub).size(), 2u);
}

TEST_F(FileCommands, WriteAndReadWholeFiles) {
  std::string path = dir / "数据测试.bin";
  const std::string first("ab\0c", 4), second = "表\\测试";  // a trail byte 0x5C inside
  ASSERT_TRUE(bool_of(call(kWrite, {Text(path), Bin(first), Bin(second)})));
  EXPECT_EQ(content(path), first + second);
  EXPECT_EQ(take_bin(call(kRead, {Text(path)})), first + second);
  EXPECT_EQ(int_of(call(kSize, {Text(path)})), static_cast<int32_t>((first + second).size()));
  EXPECT_TRUE(bool_of(call(kExists, {Text(path)})));
  EXPECT_TRUE(bool_of(call(kExists, {Text(dir / "*测试.bin")})));
  EXPECT_FALSE(bool_of(call(kExists, {Text(dir / "*.none")})));

  // A shorter content replaces the longer one whole; no byte sets make an empty file.
  ASSERT_TRUE(bool_of(call(kWrite, {Text(path), Bin("z")})));
  EXPECT_EQ(content(path), "z");
  ASSERT_TRUE(bool_of(call(kWrite, {Text(path)})));
  EXPECT_EQ(content(path), "");
  EXPECT_EQ(int_of(call(kSize, {Text(path)})), 0);
  EXPECT_EQ(take_bin(call(kRead, {Text(path)})), std::nullopt);

  // No byte sets make a new, empty file too.
  std::string fresh = dir / "空测试.bin";
  ASSERT_TRUE(bool_of(call(kWrite, {Text(fresh)})));
  EXPECT_EQ(content(fresh), "");
  ASSERT_TRUE(DeleteFileA(fresh.c_str()));

  // Arguments other than byte sets are not written.
  ASSERT_TRUE(bool_of(call(kWrite, {Text(path), Int(7), Bin("ok"), Text("no")})));
  EXPECT_EQ(content(path), "ok");
  // The write went through a file beside the target; none is left.
  EXPECT_EQ(scratch::entries(dir.path()), (std::set<std::string>{".", "..", "数据测试.bin"}));
}

TEST_F(FileCommands, FailedWriteKeepsTheOldFile) {
  std::string path = dir / "旧文件测试.txt";
  put(path, "old content");
  // A reader that does not let the file be replaced: the write fails, the old content stays.
  HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(bool_of(call(kWrite, {Text(path), Bin("new")})));
  CloseHandle(reader);
  EXPECT_EQ(content(path), "old content");
  // A read-only file is not replaced either.
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(bool_of(call(kWrite, {Text(path), Bin("new")})));
  EXPECT_EQ(content(path), "old content");
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(scratch::entries(dir.path()), (std::set<std::string>{".", "..", "旧文件测试.txt"}));
  // A hidden file keeps its attribute when rewritten.
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(bool_of(call(kWrite, {Text(path), Bin("new")})));
  EXPECT_EQ(content(path), "new");
  EXPECT_TRUE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN);
}

TEST_F(FileCommands, CopyMoveRenameDelete) {
  std::string a = dir / "甲测试.txt", b = dir / "乙测试.txt", c = dir / "丙测试.txt";
  put(a, "AAA");
  put(b, "BB");
  EXPECT_TRUE(bool_of(call(kCopy, {Text(a), Text(b)})));  // an existing target is overwritten
  EXPECT_EQ(content(b), "AAA");
  EXPECT_FALSE(bool_of(call(kCopy, {Text(a), Text(a)})));  // never onto itself
  EXPECT_EQ(content(a), "AAA");
  put(b, "BB");
  EXPECT_TRUE(bool_of(call(kMove, {Text(a), Text(b)})));  // move over an existing file
  EXPECT_FALSE(exists(a));
  EXPECT_EQ(content(b), "AAA");
  call(kMove, {Text(b), Text(b)});  // onto itself: whatever the result, nothing is lost
  EXPECT_EQ(content(b), "AAA");
  EXPECT_TRUE(bool_of(call(kRename, {Text(b), Text(c)})));
  EXPECT_FALSE(exists(b));
  put(a, "A");
  EXPECT_FALSE(bool_of(call(kRename, {Text(a), Text(c)})));  // rename keeps an existing target
  EXPECT_EQ(content(c), "AAA");
  EXPECT_TRUE(bool_of(call(kDelete, {Text(a)})));
  EXPECT_FALSE(exists(a));
  EXPECT_FALSE(bool_of(call(kDelete, {Text(a)})));
  EXPECT_TRUE(bool_of(call(kDelete, {Text(c)})));
}

TEST_F(FileCommands, FailedCopyOrMoveKeepsBothFiles) {
  std::string a = dir / "源测试.txt", b = dir / "目标测试.txt";
  put(a, "source");
  put(b, "target");
  auto both_whole = [&] {
    EXPECT_EQ(content(a), "source");
    EXPECT_EQ(content(b), "target");
  };
  // A source that cannot be deleted (held open without delete sharing) cannot be moved: the
  // target it would have replaced stays.
  HANDLE held = CreateFileA(a.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(bool_of(call(kMove, {Text(a), Text(b)})));
  CloseHandle(held);
  both_whole();
  // A target that cannot be replaced (held open without delete sharing, or read-only): the
  // content of a move goes back under the source's name.
  held = CreateFileA(b.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(bool_of(call(kMove, {Text(a), Text(b)})));
  EXPECT_FALSE(bool_of(call(kCopy, {Text(a), Text(b)})));
  CloseHandle(held);
  both_whole();
  ASSERT_TRUE(SetFileAttributesA(b.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(bool_of(call(kMove, {Text(a), Text(b)})));
  EXPECT_FALSE(bool_of(call(kCopy, {Text(a), Text(b)})));
  ASSERT_TRUE(SetFileAttributesA(b.c_str(), FILE_ATTRIBUTE_NORMAL));
  both_whole();
  // A directory as the target takes nothing.
  std::string sub = dir / "目录测试";
  ASSERT_TRUE(CreateDirectoryA(sub.c_str(), nullptr));
  EXPECT_FALSE(bool_of(call(kCopy, {Text(a), Text(sub)})));
  EXPECT_FALSE(bool_of(call(kMove, {Text(b), Text(sub)})));
  both_whole();
  // No copy was left beside the target.
  EXPECT_EQ(scratch::entries(dir.path()),
            (std::set<std::string>{".", "..", "源测试.txt", "目标测试.txt", "目录测试"}));
  EXPECT_EQ(scratch::entries(sub).size(), 2u);
}

TEST_F(FileCommands, Directories) {
  std::string sub = dir / "子目录测试";
  EXPECT_TRUE(bool_of(call(kMakeDir, {Text(sub)})));
  EXPECT_FALSE(bool_of(call(kMakeDir, {Text(sub)})));
  EXPECT_FALSE(bool_of(call(kMakeDir, {Text(dir / "一测试\\二")})));  // one level only
  EXPECT_EQ(int_of(call(kAttributes, {Text(sub)})) & 16, 16);

  ASSERT_TRUE(bool_of(call(kChangeDir, {Text(sub)})));
  EXPECT_EQ(take_text(call(kCurrentDir, {})), sub);
  put("相对测试.txt", "r");  // relative names now land in the new current directory
  EXPECT_TRUE(exists(sub + "\\相对测试.txt"));
  EXPECT_FALSE(bool_of(call(kChangeDir, {Text(dir / "无此测试")})));
  EXPECT_FALSE(bool_of(call(kChangeDir, {Text("")})));
  EXPECT_EQ(take_text(call(kCurrentDir, {})), sub);
  ASSERT_TRUE(bool_of(call(kChangeDir, {Text(dir.path())})));

  EXPECT_FALSE(bool_of(call(kRemoveDir, {Text(sub)})));  // not empty
  EXPECT_TRUE(exists(sub + "\\相对测试.txt"));
  DeleteFileA((sub + "\\相对测试.txt").c_str());
  EXPECT_TRUE(bool_of(call(kRemoveDir, {Text(sub)})));
  EXPECT_FALSE(exists(sub));
  EXPECT_FALSE(bool_of(call(kRemoveDir, {Text(sub)})));
}

TEST_F(FileCommands, AttributesAndTime) {
  std::string path = dir / "属性测试.txt";
  put(path, "12345");
  // Only read-only, hidden, system and archive can be set; the directory bit is not applied.
  ASSERT_TRUE(bool_of(call(kSetAttributes, {Text(path), Int(0xFF)})));
  DWORD raw = GetFileAttributesA(path.c_str());
  EXPECT_EQ(raw & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY), 0u);
  EXPECT_EQ(raw & 3, 3u);
  EXPECT_EQ(int_of(call(kAttributes, {Text(path)})), static_cast<int32_t>(raw & 0x37));
  ASSERT_TRUE(bool_of(call(kSetAttributes, {Text(path), Int(2)})));
  EXPECT_EQ(int_of(call(kAttributes, {Text(path)})) & 7, 2);
  ASSERT_TRUE(bool_of(call(kSetAttributes, {Text(path), Int(0)})));
  EXPECT_EQ(int_of(call(kAttributes, {Text(path)})) & 7, 0);

  // The last write time as a local date-time: 2021-03-04 05:06:07 local.
  SYSTEMTIME st{2021, 3, 0, 4, 5, 6, 7, 0};
  FILETIME local, utc;
  ASSERT_TRUE(SystemTimeToFileTime(&st, &local) && LocalFileTimeToFileTime(&local, &utc));
  HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &utc));
  CloseHandle(h);
  EXPECT_NEAR(as_double(call(kTime, {Text(path)})), 44259.0 + (5 * 3600 + 6 * 60 + 7) / 86400.0,
              1e-9);
}

TEST_F(FileCommands, TemporaryNames) {
  std::string prefix = dir.path() + "\\";
  // Two calls in a row (the same millisecond, mostly) give two names, neither of them taken.
  auto first = take_text(call(kTempName, {Text(dir.path())}));
  auto second = take_text(call(kTempName, {Text(prefix)}));
  ASSERT_TRUE(first && second);
  EXPECT_NE(*first, *second);
  for (const std::string& name : {*first, *second}) {
    EXPECT_EQ(name.rfind(prefix, 0), 0u) << name;
    EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
    EXPECT_EQ(name.find_first_not_of("0123456789abcdef", prefix.size()), name.size() - 4) << name;
    EXPECT_FALSE(exists(name));
  }
  // Taken names are skipped: fill the next 64 candidates after a fresh name.
  auto probe = take_text(call(kTempName, {Text(dir.path())}));
  ASSERT_TRUE(probe);
  unsigned long n = std::stoul(probe->substr(prefix.size()), nullptr, 16);
  for (unsigned long k = n; k < n + 64; ++k) {
    char name[32];
    wsprintfA(name, "%lx.tmp", k);
    put(prefix + name, "");
  }
  auto skipped = take_text(call(kTempName, {Text(dir.path())}));
  ASSERT_TRUE(skipped);
  EXPECT_FALSE(exists(*skipped));
  // Without a folder: the platform's temporary folder.
  auto plain = take_text(call(kTempName, {}));
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->rfind(scratch::temp_folder() + "\\", 0), 0u) << *plain;
  EXPECT_FALSE(exists(*plain));
}

TEST_F(FileCommands, Drives) {
  std::string cwd = scratch::current_folder();
  std::string letter = cwd.substr(0, 1);
  DWORD drives = GetLogicalDrives();
  char absent = 0;
  for (char c = 'Z'; c >= 'D' && !absent; --c)
    if (!(drives & (1u << (c - 'A')))) absent = c;
  ASSERT_NE(absent, 0);

  // Space: the current drive by letter (either case) or by an unusable letter.
  ULARGE_INTEGER avail, total, free;
  ASSERT_TRUE(GetDiskFreeSpaceExA((letter + ":\\").c_str(), &avail, &total, &free));
  for (const ArgRecord& drive : {Text(letter), Text(std::string(1, letter[0] | 0x20)), Text("1"), Omit()}) {
    EXPECT_EQ(static_cast<uint32_t>(call(kDiskTotal, {drive}).lo),
              static_cast<uint32_t>(total.QuadPart / 1024));
    EXPECT_NE(int_of(call(kDiskFree, {drive})), -1);
  }
  char label[MAX_PATH + 1] = {};
  ASSERT_TRUE(GetVolumeInformationA((letter + ":\\").c_str(), label, sizeof label, nullptr,
                                    nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(take_text(call(kVolumeLabel, {Text(letter)})),
            *label ? std::optional<std::string>(label) : std::nullopt);

  // A drive that does not exist.
  ArgRecord none = Text(std::string(1, absent) + ":");
  EXPECT_EQ(int_of(call(kDiskTotal, {none})), -1);
  EXPECT_EQ(int_of(call(kDiskFree, {none})), -1);
  EXPECT_EQ(take_text(call(kVolumeLabel, {none})), std::nullopt);
  EXPECT_FALSE(bool_of(call(kSetVolumeLabel, {none, Text("测试")})));
  EXPECT_FALSE(bool_of(call(kChangeDrive, {none})));
  EXPECT_EQ(scratch::current_folder(), cwd);

  // Changing to the current drive, or to no usable drive, keeps the current directory.
  ASSERT_TRUE(SetCurrentDirectoryA(dir.path().c_str()));
  EXPECT_TRUE(bool_of(call(kChangeDrive, {Text(dir.path().substr(0, 1))})));
  EXPECT_EQ(scratch::current_folder(), dir.path());
  EXPECT_TRUE(bool_of(call(kChangeDrive, {Text("?")})));
  EXPECT_EQ(scratch::current_folder(), dir.path());
}
