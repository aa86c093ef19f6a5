// A fresh temporary folder for one test, emptied and removed at its end (the removal is
// checked: a test that leaves a file open or behind fails).
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdint>
#include <string>

class ScratchDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    dir_ = std::string(tmp) + "orvel_db_" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(dir_.c_str(), nullptr);
    empty_dir();  // what a killed earlier process of the same number left behind
  }
  void TearDown() override {
    empty_dir();
    EXPECT_TRUE(RemoveDirectoryA(dir_.c_str()));
  }
  void empty_dir() {
    WIN32_FIND_DATAA f;
    HANDLE h = FindFirstFileA((dir_ + "*").c_str(), &f);
    if (h != INVALID_HANDLE_VALUE) {
      do DeleteFileA((dir_ + f.cFileName).c_str());
      while (FindNextFileA(h, &f));
      FindClose(h);
    }
  }
  // Size of a file in the folder, -1 when it does not exist.
  int64_t size_of(const std::string& name) {
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (!GetFileAttributesExA((dir_ + name).c_str(), GetFileExInfoStandard, &a)) return -1;
    return (int64_t(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
  }
  std::string dir_;
};
