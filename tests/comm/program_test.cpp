// A compiled program (comm_prog.c, comm_prog.orv) drives the socket units through the service
// entries and its own event handlers, as any program does; its notes tell what it saw.
#include <gtest/gtest.h>
#include <windows.h>
#include <fstream>
#include <sstream>
#include <string>
#include "kit.h"

namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(CommProgram, HandlersPassDataBetweenUnits) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  std::string marks = std::string(dir) + "comm_prog_marks.txt";
  DeleteFileA(marks.c_str());
  SetEnvironmentVariableA("ORVEL_MARKS", marks.c_str());
  DWORD code = kit::run(kit::bin_dir() + "comm_prog.exe", "", 20000);
  std::string notes = read_file(marks);
  EXPECT_EQ(code, 3u) << notes;  // ended by the server's disconnect handler
  const char* expected[] = {
      "outside_event=\n", "server_port=47811\n", "connect=1\n", "client_send=1\n",
      "server_connect=127.0.0.1:", "server_reply=1\n", "server_data=hello\n",
      "client_data=hello\n", "datagram_send=1\n", "datagram_data=AB", "server_gone=127.0.0.1:",
  };
  size_t at = 0;
  for (const char* e : expected) {
    size_t found = notes.find(e, at);
    EXPECT_NE(found, std::string::npos) << "missing or out of order: " << e << "\n" << notes;
    if (found != std::string::npos) at = found;
  }
}

}  // namespace
