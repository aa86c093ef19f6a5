// A fresh scratch folder for a test (GBK name, inside the temporary folder), removed with
// everything in it at the end, and a look at the folders a command might wrongly write into
// (the temporary folder, the working folder, the system folder) to check that nothing was
// left behind there.
#pragma once
#include <windows.h>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace scratch {

inline std::set<std::string> entries(const std::string& folder) {
  std::set<std::string> names;
  WIN32_FIND_DATAA f;
  HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &f);
  if (h == INVALID_HANDLE_VALUE) return names;
  do names.insert(f.cFileName);
  while (FindNextFileA(h, &f));
  FindClose(h);
  return names;
}

inline void remove_tree(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!(a & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileA(path.c_str());
    return;
  }
  for (const std::string& n : entries(path))
    if (n != "." && n != "..") remove_tree(path + "\\" + n);
  RemoveDirectoryA(path.c_str());
}

inline std::string temp_folder() {
  char t[MAX_PATH + 1];
  DWORD n = GetTempPathA(sizeof t, t);
  std::string s(t, n);
  if (!s.empty() && s.back() == '\\') s.pop_back();
  return s;
}

inline std::string current_folder() {
  char t[MAX_PATH + 1];
  return std::string(t, GetCurrentDirectoryA(sizeof t, t));
}

inline std::string system_folder() {
  char t[MAX_PATH + 1];
  return std::string(t, GetWindowsDirectoryA(t, sizeof t));
}

// What the tested commands could leave in a watched folder: a write's temporary file, an INI
// file, or a file named as the tests name theirs (every name holds "测试"). Only these are
// compared, so tests running beside ours do not disturb the check.
inline std::set<std::string> ours(const std::set<std::string>& names) {
  std::set<std::string> out;
  for (const std::string& n : names) {
    bool ini = n.size() > 4 && _stricmp(n.c_str() + n.size() - 4, ".ini") == 0;
    if (n.rfind("~wr", 0) == 0 || ini || n.find("测试") != std::string::npos) out.insert(n);
  }
  return out;
}

// The scratch folder and the watched folders' listings taken before the test.
class Folder {
 public:
  explicit Folder(const std::string& tag)
      : path_(temp_folder() + "\\orvel_" + tag + "_测试_" + std::to_string(GetCurrentProcessId())),
        cwd_(current_folder()) {
    for (const std::string& f : watched()) before_.push_back(ours(entries(f)));
    remove_tree(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~Folder() {
    SetCurrentDirectoryA(cwd_.c_str());
    remove_tree(path_);
    EXPECT_EQ(GetFileAttributesA(path_.c_str()), INVALID_FILE_ATTRIBUTES) << path_;
    auto folders = watched();
    for (size_t i = 0; i < folders.size(); ++i)
      EXPECT_EQ(ours(entries(folders[i])), before_[i]) << "left behind in " << folders[i];
  }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::vector<std::string> watched() const { return {temp_folder(), cwd_, system_folder()}; }
  std::string path_;
  std::string cwd_;
  std::vector<std::set<std::string>> before_;
};

}  // namespace scratch
