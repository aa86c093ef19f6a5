// Settings commands through the call-command service: program settings and registry values in
// the test prefix's real registry, INI files in a scratch folder, the operating system line.
// Every key a test makes lives under one program key, removed and checked at the end.
#include <windows.h>
#include <sddl.h>
#include <gtest/gtest.h>
#include <string>
#include "call.h"
#include "scratch.h"

using namespace calls;
using runtime::ArgRecord;

namespace {

enum Slot {
  kSettingText = 186, kSettingInt = 187, kSettingBin = 188, kWriteSetting = 189,
  kDeleteSetting = 190, kRegText = 422, kRegInt = 423, kRegBin = 424, kWriteReg = 425,
  kDeleteReg = 426, kRegExists = 427, kIniRead = 562, kIniWrite = 563, kIniSections = 564,
  kSystemVersion = 565,
};

int32_t int_of(const ArgRecord& r) { return static_cast<int32_t>(r.lo); }
bool bool_of(const ArgRecord& r) { return r.lo != 0; }
const std::nullopt_t null = std::nullopt;
using Items = std::vector<std::optional<std::string>>;

const std::string kProgram = "Orvel测试_" + std::to_string(GetCurrentProcessId());
const std::string kProgramKey = "Software\\" + kProgram;
const std::string kRootValue = "Orvel测试值_" + std::to_string(GetCurrentProcessId());

bool key_exists(const std::string& key) {
  HKEY k;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  RegCloseKey(k);
  return true;
}

// The raw value: kind and bytes; kind 0 when missing.
std::pair<DWORD, std::string> raw_value(const std::string& key, const std::string& name) {
  HKEY k;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return {};
  char data[256];
  DWORD kind = 0, size = sizeof data;
  LONG rc = RegQueryValueExA(k, name.c_str(), nullptr, &kind, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(k);
  if (rc != ERROR_SUCCESS) return {};
  return {kind, std::string(data, size)};
}

std::string dword(int32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }

class SettingsCommands : public ::testing::Test {
 protected:
  void TearDown() override {
    RegDeleteTreeA(HKEY_CURRENT_USER, kProgramKey.c_str());
    RegDeleteValueA(HKEY_CURRENT_USER, kRootValue.c_str());
    EXPECT_FALSE(key_exists(kProgramKey));
    EXPECT_EQ(raw_value("", kRootValue).first, 0u);
  }
  scratch::Folder dir{"settings"};
};

}  // namespace

TEST_F(SettingsCommands, ProgramSettings) {
  ArgRecord program = Text(kProgram), section = Text("节");
  auto write = [&](const char* name, ArgRecord value) {
    return bool_of(call(kWriteSetting, {program, section, Text(name), value}));
  };
  EXPECT_TRUE(write("文本", Text("值测试")));
  EXPECT_TRUE(write("整数", Int(-5)));
  EXPECT_TRUE(write("小数", Double(2.9)));
  EXPECT_TRUE(write("短", Short(-3)));
  EXPECT_TRUE(write("字节", Bin(std::string("\0\1\2", 3))));
  EXPECT_FALSE(write("逻辑", Bool(true)));  // neither a number, a text nor a byte set
  EXPECT_FALSE(write("日期", Date(1.5)));
  EXPECT_FALSE(bool_of(call(kWriteSetting, {Text(""), section, Text("x"), Int(1)})));

  // Stored under "Software\program\section" with the kind of each value.
  std::string key = kProgramKey + "\\节";
  EXPECT_EQ(raw_value(key, "文本"), std::make_pair(DWORD(REG_SZ), std::string("值测试", 7)));
  EXPECT_EQ(raw_value(key, "整数"), std::make_pair(DWORD(REG_DWORD), dword(-5)));
  EXPECT_EQ(raw_value(key, "小数"), std::make_pair(DWORD(REG_DWORD), dword(2)));
  EXPECT_EQ(raw_value(key, "短"), std::make_pair(DWORD(REG_DWORD), dword(-3)));
  EXPECT_EQ(raw_value(key, "字节"), std::make_pair(DWORD(REG_BINARY), std::string("\0\1\2", 3)));
  EXPECT_EQ(raw_value(key, "逻辑").first, 0u);

  auto read = [&](int slot, const char* sec, const char* name, std::vector<ArgRecord> more = {}) {
    std::vector<ArgRecord> args{program, Text(sec), Text(name)};
    args.insert(args.end(), more.begin(), more.end());
    return call(slot, args);
  };
  EXPECT_EQ(take_text(read(kSettingText, "节", "文本")), "值测试");
  EXPECT_EQ(take_text(read(kSettingText, "节", "整数")), null);
  EXPECT_EQ(take_text(read(kSettingText, "节", "整数", {Text("缺省")})), "缺省");
  EXPECT_EQ(take_text(read(kSettingText, "无节", "文本", {Text("缺省")})), "缺省");
  EXPECT_EQ(int_of(read(kSettingInt, "节", "整数")), -5);
  EXPECT_EQ(int_of(read(kSettingInt, "节", "小数")), 2);
  EXPECT_EQ(int_of(read(kSettingInt, "节", "文本", {Int(9)})), 9);  // a text is no integer
  EXPECT_EQ(int_of(read(kSettingInt, "节", "文本")), 0);
  EXPECT_EQ(int_of(read(kSettingInt, "节", "无值", {Int(-1)})), -1);
  EXPECT_EQ(take_bin(read(kSettingBin, "节", "字节")), std::string("\0\1\2", 3));
  EXPECT_EQ(take_bin(read(kSettingBin, "节", "文本", {Bin("d")})), "d");
  EXPECT_EQ(take_bin(read(kSettingBin, "节", "文本")), null);

  // Deleting: a value, then a section, then the whole program.
  EXPECT_TRUE(bool_of(call(kDeleteSetting, {program, section, Text("整数")})));
  EXPECT_EQ(raw_value(key, "整数").first, 0u);
  EXPECT_FALSE(bool_of(call(kDeleteSetting, {program, section, Text("整数")})));
  EXPECT_TRUE(write("文本", Text("新")));
  ASSERT_TRUE(bool_of(call(kWriteSetting, {program, Text("节二"), Text("v"), Int(1)})));
  EXPECT_FALSE(bool_of(call(kDeleteSetting, {program, Text("")})));  // an empty section is refused
  EXPECT_FALSE(bool_of(call(kDeleteSetting, {Text("")})));            // so is an empty program
  EXPECT_TRUE(key_exists("Software"));
  EXPECT_TRUE(bool_of(call(kDeleteSetting, {program, section})));
  EXPECT_FALSE(key_exists(key));
  EXPECT_TRUE(key_exists(kProgramKey + "\\节二"));
  EXPECT_TRUE(bool_of(call(kDeleteSetting, {program})));
  EXPECT_FALSE(key_exists(kProgramKey));
  EXPECT_FALSE(bool_of(call(kDeleteSetting, {program})));
}

TEST_F(SettingsCommands, RegistryValues) {
  std::string base = kProgramKey + "\\注册表";
  auto path = [&](const std::string& name) { return Text(base + "\\" + name); };
  EXPECT_TRUE(bool_of(call(kWriteReg, {Int(3), path("文本"), Text("甲乙")})));
  EXPECT_TRUE(bool_of(call(kWriteReg, {Int(3), path("整数"), Double(2.9)})));
  EXPECT_TRUE(bool_of(call(kWriteReg, {Int(3), path("长"), Long(0x100000007ll)})));
  EXPECT_TRUE(bool_of(call(kWriteReg, {Int(3), path("字节"), Bin("xyz")})));
  EXPECT_FALSE(bool_of(call(kWriteReg, {Int(3), path("逻辑"), Bool(false)})));
  EXPECT_EQ(raw_value(base, "整数"), std::make_pair(DWORD(REG_DWORD), dword(2)));
  EXPECT_EQ(raw_value(base, "长"), std::make_pair(DWORD(REG_DWORD), dword(7)));

  struct Case {
    int line;
    int slot;
    int32_t root;
    std::string name;
    std::vector<ArgRecord> fallback;
    std::optional<std::string> want;  // texts and byte sets; integers as their decimal text
  } cases[] = {
      {__LINE__, kRegText, 3, "文本", {}, "甲乙"},
      {__LINE__, kRegText, 9, "文本", {}, "甲乙"},  // any other root is the current user
      {__LINE__, kRegText, 3, "整数", {}, null},
      {__LINE__, kRegText, 3, "整数", {Text("缺")}, "缺"},
      {__LINE__, kRegText, 5, "文本", {Text("缺")}, "缺"},  // the users root has no such key
      {__LINE__, kRegInt, 3, "整数", {}, "2"},
      {__LINE__, kRegInt, 3, "文本", {Int(4)}, "4"},
      {__LINE__, kRegInt, 3, "无", {}, "0"},
      {__LINE__, kRegBin, 3, "字节", {}, "xyz"},
      {__LINE__, kRegBin, 3, "整数", {Bin("b")}, "b"},
      {__LINE__, kRegBin, 3, "无", {}, null},
  };
  for (const Case& c : cases) {
    std::vector<ArgRecord> args{Int(c.root), path(c.name)};
    args.insert(args.end(), c.fallback.begin(), c.fallback.end());
    ArgRecord r = call(c.slot, args);
    std::optional<std::string> got = c.slot == kRegText ? take_text(r)
                                     : c.slot == kRegBin ? take_bin(r)
                                                         : std::to_string(int_of(r));
    EXPECT_EQ(got, c.want) << "line " << c.line;
  }

  // Expandable texts come back with their environment references expanded.
  HKEY k;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, base.c_str(), 0, KEY_SET_VALUE, &k), ERROR_SUCCESS);
  const char expand[] = "%ORVEL_REG_TEST%\\尾";
  RegSetValueExA(k, "展开", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(expand), sizeof expand);
  RegCloseKey(k);
  SetEnvironmentVariableA("ORVEL_REG_TEST", "头");
  EXPECT_EQ(take_text(call(kRegText, {Int(3), path("展开")})), "头\\尾");

  // Another root: the local machine's version text, as the platform reads it.
  const char* version_key = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
  char version[64] = {};
  DWORD size = sizeof version;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, version_key, "CurrentVersion", RRF_RT_REG_SZ, nullptr,
                   version, &size) == ERROR_SUCCESS) {
    EXPECT_EQ(take_text(call(kRegText, {Int(4), Text(std::string(version_key) + "\\CurrentVersion")})),
              version);
  }

  // A path without "\" names a value of the root itself.
  ASSERT_TRUE(bool_of(call(kWriteReg, {Int(3), Text(kRootValue), Int(11)})));
  EXPECT_EQ(raw_value("", kRootValue), std::make_pair(DWORD(REG_DWORD), dword(11)));
  EXPECT_TRUE(bool_of(call(kRegExists, {Int(3), Text(kRootValue)})));
  EXPECT_TRUE(bool_of(call(kDeleteReg, {Int(3), Text(kRootValue)})));
  EXPECT_EQ(raw_value("", kRootValue).first, 0u);

  // Exists and delete: values, then keys (a key with subkeys stays).
  ASSERT_TRUE(bool_of(call(kWriteReg, {Int(3), path("子\\v"), Int(1)})));
  EXPECT_TRUE(bool_of(call(kRegExists, {Int(3), path("文本")})));
  EXPECT_TRUE(bool_of(call(kRegExists, {Int(3), Text(base)})));
  EXPECT_TRUE(bool_of(call(kRegExists, {Int(3), Text(base + "\\")})));
  EXPECT_FALSE(bool_of(call(kRegExists, {Int(3), path("无")})));
  EXPECT_TRUE(bool_of(call(kDeleteReg, {Int(3), path("文本")})));
  EXPECT_FALSE(bool_of(call(kRegExists, {Int(3), path("文本")})));
  EXPECT_FALSE(bool_of(call(kDeleteReg, {Int(3), path("文本")})));
  EXPECT_FALSE(bool_of(call(kDeleteReg, {Int(3), Text(base)})));  // has the subkey 子
  EXPECT_TRUE(key_exists(base + "\\子"));
  EXPECT_TRUE(bool_of(call(kDeleteReg, {Int(3), path("子\\v")})));
  EXPECT_TRUE(bool_of(call(kDeleteReg, {Int(3), path("子")})));
  EXPECT_TRUE(bool_of(call(kDeleteReg, {Int(3), Text(base)})));
  EXPECT_FALSE(key_exists(base));
}

TEST_F(SettingsCommands, RegistryFailuresGiveTheDefault) {
  // A key anyone may read and delete, but nobody may write to. (Where the platform does not
  // enforce key access, as under Wine for its administrator, only the reads are checked.)
  std::string locked = kProgramKey + "\\只读";
  PSECURITY_DESCRIPTOR sd = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KRSD;;;WD)", 1, &sd,
                                                                   nullptr));
  SECURITY_ATTRIBUTES sa{sizeof sa, sd, FALSE};
  HKEY k;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, locked.c_str(), 0, nullptr, 0, KEY_READ, &sa, &k,
                            nullptr),
            ERROR_SUCCESS);
  RegCloseKey(k);
  LocalFree(sd);
  HKEY probe;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, locked.c_str(), 0, KEY_SET_VALUE, &probe) == ERROR_SUCCESS) {
    RegCloseKey(probe);
  } else {
    EXPECT_FALSE(bool_of(call(kWriteReg, {Int(3), Text(locked + "\\v"), Int(1)})));
    EXPECT_FALSE(bool_of(call(kWriteReg, {Int(3), Text(locked + "\\子\\v"), Int(1)})));
    EXPECT_EQ(raw_value(locked, "v").first, 0u);
  }
  EXPECT_EQ(int_of(call(kRegInt, {Int(3), Text(locked + "\\v"), Int(-8)})), -8);

  // A volatile key refuses the lasting subkey a write would create in it.
  std::string passing = kProgramKey + "\\临时";
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, passing.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_READ, nullptr, &k, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(k);
  EXPECT_FALSE(bool_of(call(kWriteReg, {Int(3), Text(passing + "\\子\\v"), Int(1)})));
  EXPECT_FALSE(key_exists(passing + "\\子"));
  EXPECT_EQ(take_text(call(kRegText, {Int(3), Text(passing + "\\子\\v"), Text("缺")})), "缺");
  EXPECT_TRUE(bool_of(call(kWriteReg, {Int(3), Text(passing + "\\v"), Int(5)})));
  EXPECT_EQ(int_of(call(kRegInt, {Int(3), Text(passing + "\\v")})), 5);

  // Names the registry cannot hold, and empty paths.
  std::string long_key = kProgramKey + "\\" + std::string(300, 'k') + "\\v";
  EXPECT_FALSE(bool_of(call(kWriteReg, {Int(3), Text(long_key), Text("x")})));
  EXPECT_EQ(take_text(call(kRegText, {Int(3), Text(long_key), Text("缺")})), "缺");
  EXPECT_FALSE(bool_of(call(kWriteReg, {Int(3), Text(""), Int(1)})));
  EXPECT_FALSE(bool_of(call(kDeleteReg, {Int(3), Text("")})));
  EXPECT_FALSE(bool_of(call(kRegExists, {Int(3), Text("")})));
  EXPECT_FALSE(bool_of(call(kWriteReg, {Int(3), Text(kProgramKey + "\\x"), Omit()})));
  EXPECT_FALSE(bool_of(call(kWriteSetting, {Text(kProgram), Text(std::string(300, 's')), Text("v"), Int(1)})));
  EXPECT_EQ(int_of(call(kSettingInt, {Text(kProgram), Text(std::string(300, 's')), Text("v"), Int(6)})), 6);
}

TEST_F(SettingsCommands, IniFiles) {
  ArgRecord file = Text(dir / "配置测试.ini");
  // A missing file: the default, or null; no section names.
  EXPECT_EQ(take_text(call(kIniRead, {file, Text("甲节"), Text("名"), Text("缺省")})), "缺省");
  EXPECT_EQ(take_text(call(kIniRead, {file, Text("甲节"), Text("名")})), null);
  EXPECT_EQ(take_array(call(kIniSections, {file}), true), Items{});

  ASSERT_TRUE(bool_of(call(kIniWrite, {file, Text("甲节"), Text("名"), Text("值一")})));
  ASSERT_TRUE(bool_of(call(kIniWrite, {file, Text("甲节"), Text("名二"), Text("值二")})));
  ASSERT_TRUE(bool_of(call(kIniWrite, {file, Text("乙节"), Text("k"), Text(std::string(12000, 'a'))})));
  struct Case {
    int line;
    std::vector<ArgRecord> args;
    std::optional<std::string> want;
  } cases[] = {
      {__LINE__, {file, Text("甲节"), Text("名")}, "值一"},
      {__LINE__, {Text(" \t" + dir / "配置测试.ini"), Text("  甲节"), Text("\t名二")}, "值二"},
      {__LINE__, {file, Text("甲节"), Text("无名"), Text("缺省")}, "缺省"},
      {__LINE__, {file, Text("甲节"), Text("无名")}, null},
      {__LINE__, {file, Text("甲节"), Text("   "), Text("缺省")}, null},
      {__LINE__, {file, Text(" "), Text("名")}, null},
      {__LINE__, {Text("\t"), Text("甲节"), Text("名")}, null},
      {__LINE__, {file, Text("乙节"), Text("k")}, std::string(10240, 'a')},  // at most 10240 bytes
  };
  for (const Case& c : cases) EXPECT_EQ(take_text(call(kIniRead, c.args)), c.want) << "line " << c.line;
  EXPECT_EQ(take_array(call(kIniSections, {file}), true), (Items{"甲节", "乙节"}));

  // An omitted value deletes the name; an omitted name the section; empty names are refused.
  EXPECT_TRUE(bool_of(call(kIniWrite, {file, Text("甲节"), Text("名")})));
  EXPECT_EQ(take_text(call(kIniRead, {file, Text("甲节"), Text("名")})), null);
  EXPECT_EQ(take_text(call(kIniRead, {file, Text("甲节"), Text("名二")})), "值二");
  EXPECT_FALSE(bool_of(call(kIniWrite, {file, Text("乙节"), Text("")})));
  EXPECT_FALSE(bool_of(call(kIniWrite, {file, Text(""), Text("k"), Text("v")})));
  EXPECT_FALSE(bool_of(call(kIniWrite, {Text(""), Text("乙节"), Text("k"), Text("v")})));
  EXPECT_EQ(take_array(call(kIniSections, {file}), true), (Items{"甲节", "乙节"}));
  EXPECT_TRUE(bool_of(call(kIniWrite, {file, Text("乙节")})));
  EXPECT_EQ(take_array(call(kIniSections, {file}), true), (Items{"甲节"}));

  // A directory where the file is expected, a file in a missing folder, an over-long path:
  // writes fail, reads give the default, and no file appears.
  for (const std::string& bad : {dir.path(), dir / "无此目录测试\\配置.ini",
                                 dir.path() + "\\" + std::string(300, 'i') + ".ini"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(bool_of(call(kIniWrite, {Text(bad), Text("节"), Text("k"), Text("v")})));
    EXPECT_EQ(take_text(call(kIniRead, {Text(bad), Text("节"), Text("k"), Text("缺省")})), "缺省");
    EXPECT_EQ(take_array(call(kIniSections, {Text(bad)}), true), Items{});
  }
  EXPECT_EQ(scratch::entries(dir.path()), (std::set<std::string>{".", "..", "配置测试.ini"}));
}

TEST_F(SettingsCommands, SystemVersionIsTheNtLine) {
  EXPECT_EQ(int_of(call(kSystemVersion, {})), 3);
}
