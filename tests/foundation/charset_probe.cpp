// Checks that a GBK argument and a GBK file name survive the trip from the Unix side:
//   charset_probe <argument> <unix path of a file holding "ok">
// Exit 0 when the argument is exactly "中文参数" and the file opens by its GBK name.
#include <windows.h>
#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) return 10;
  if (std::strcmp(argv[1], "中文参数") != 0) {
    std::printf("argument arrived as:");
    for (const char* p = argv[1]; *p; ++p) std::printf(" %02x", static_cast<unsigned char>(*p));
    std::printf("\n");
    return 11;
  }
  std::string path = std::string("Z:") + argv[2];
  for (char& c : path)
    if (c == '/') c = '\\';
  if (path.find("测试文件") == std::string::npos) return 12;
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    std::printf("cannot open %s\n", path.c_str());
    return 13;
  }
  char buf[8] = {};
  DWORD got = 0;
  ReadFile(f, buf, sizeof buf - 1, &got, nullptr);
  CloseHandle(f);
  return std::strncmp(buf, "ok", 2) == 0 ? 0 : 14;
}
