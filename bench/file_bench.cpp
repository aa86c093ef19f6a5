// Line reading and writing through the open-file commands against a plain C loop over
// ReadFile/WriteFile with a 64 KiB buffer, on a 10 MB GBK text file in a scratch folder.
// Prints both times and their ratio (the commands' goal: under 2).
// Run: build/wine-run build/bench/file_bench.exe
#include <windows.h>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>
#include "call.h"
#include "clock.h"

using namespace calls;
using bench::seconds_now;
using bench::timed;
using runtime::ArgRecord;

namespace {

// Lines of 10..150 bytes: GBK characters mixed with ASCII, as a text file holds them.
std::vector<std::string> make_lines(size_t total) {
  static const char* const kWords[] = {"中文", "文本", "测试", "行", "数据", "abc", "12345", " ", "，", "。"};
  std::vector<std::string> lines;
  uint32_t seed = 12345;
  size_t size = 0;
  while (size < total) {
    seed = seed * 1103515245 + 12345;
    size_t want = 10 + (seed >> 16) % 141;
    std::string line;
    while (line.size() < want) {
      seed = seed * 1103515245 + 12345;
      line += kWords[(seed >> 16) % 10];
    }
    size += line.size() + 2;
    lines.push_back(std::move(line));
  }
  return lines;
}

// The plain loop: read 64 KiB blocks and cut them into lines (a line may span two blocks).
// With `blocks`, each line is handed out as a new block of the process heap and freed, as a
// line-returning command's caller gets it.
size_t c_read_lines(const std::string& path, bool blocks = false) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  static char buffer[65536];
  std::string line;
  size_t count = 0;
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got) {
    const char* p = buffer;
    const char* end = buffer + got;
    while (p < end) {
      const char* nl = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
      if (!nl) {
        line.append(p, end);
        break;
      }
      line.append(p, nl);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (blocks) {
        void* b = HeapAlloc(GetProcessHeap(), 0, line.size() + 1);
        memcpy(b, line.c_str(), line.size() + 1);
        HeapFree(GetProcessHeap(), 0, b);
      }
      ++count;
      line.clear();
      p = nl + 1;
    }
  }
  CloseHandle(h);
  return count;
}

void c_write_lines(const std::string& path, const std::vector<std::string>& lines) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  static char buffer[65536];
  size_t filled = 0;
  DWORD done = 0;
  for (const std::string& l : lines) {
    if (filled + l.size() + 2 > sizeof buffer) {
      WriteFile(h, buffer, static_cast<DWORD>(filled), &done, nullptr);
      filled = 0;
    }
    memcpy(buffer + filled, l.data(), l.size());
    filled += l.size();
    buffer[filled++] = '\r';
    buffer[filled++] = '\n';
  }
  WriteFile(h, buffer, static_cast<DWORD>(filled), &done, nullptr);
  CloseHandle(h);
}

size_t command_read_lines(const std::string& path, size_t lines) {
  ArgRecord file = Int(static_cast<int32_t>(call(156, {Text(path), Int(1)}).lo));
  size_t bytes = 0;
  // Each text is counted and freed at once, as compiled code frees a command's result.
  for (size_t i = 0; i < lines; ++i) {
    ArgRecord text = call(169, {file});
    if (text.lo) bytes += strlen(reinterpret_cast<const char*>(static_cast<uintptr_t>(text.lo)));
    free_result(text);
  }
  call(158, {file});
  return bytes;
}

void command_write_lines(const std::string& path, const std::vector<ArgRecord>& lines) {
  ArgRecord file = Int(static_cast<int32_t>(call(156, {Text(path), Int(4)}).lo));
  for (const ArgRecord& line : lines) call(170, {file, line});
  call(158, {file});
}

uint64_t file_size(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA a;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &a)) return 0;
  return (static_cast<uint64_t>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
}

}  // namespace

int main() {
  char temp[MAX_PATH + 1];
  GetTempPathA(sizeof temp, temp);
  std::string dir = std::string(temp) + "orvel_文件测速_" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(dir.c_str(), nullptr);
  std::string plain = dir + "\\文本_c.txt", commands = dir + "\\文本_命令.txt";

  std::vector<std::string> lines = make_lines(10u << 20);
  std::vector<ArgRecord> records;
  records.reserve(lines.size());
  for (const std::string& l : lines) records.push_back(Text(l));

  // Each figure is the median of five runs (the machine may be busy with other work).
  auto median_of_5 = [](auto&& run) {
    double t[5];
    for (double& v : t) v = timed(run);
    std::sort(t, t + 5);
    return t[2];
  };
  // Writing: the same lines through both paths; the files must come out equal in size.
  double c_write = median_of_5([&] { c_write_lines(plain, lines); });
  double cmd_write = median_of_5([&] { command_write_lines(commands, records); });

  size_t c_count = 0, cmd_bytes = 0;
  double c_read = median_of_5([&] { c_count = c_read_lines(plain); });
  double c_read_blocks = median_of_5([&] { c_read_lines(plain, true); });
  double cmd_read = median_of_5([&] { cmd_bytes = command_read_lines(commands, lines.size()); });

  // The floor: the same number of calls of a command that does nothing but check its number.
  ArgRecord open_file = Int(static_cast<int32_t>(call(156, {Text(plain), Int(1)}).lo));
  double t0 = seconds_now();
  for (size_t i = 0; i < lines.size(); ++i) call(174, {open_file});
  double floor = seconds_now() - t0;
  call(158, {open_file});

  // The least any command returning a line's text costs: to text of each line (a call, a
  // copy into a new block, the free).
  t0 = seconds_now();
  for (size_t i = 0; i < lines.size(); ++i) free_result(call(90, {records[i]}));
  double text_floor = seconds_now() - t0;

  size_t text_bytes = 0;
  for (const std::string& l : lines) text_bytes += l.size();
  std::printf("%zu lines, %.1f MB (files: %llu and %llu bytes; %zu lines read by the loop, %s by the commands)\n",
              lines.size(), file_size(plain) / 1048576.0, (unsigned long long)file_size(plain),
              (unsigned long long)file_size(commands), c_count,
              cmd_bytes == text_bytes ? "all bytes" : "BYTES DIFFER");
  std::printf("%-14s %12s %12s %8s\n", "", "commands s", "C loop s", "ratio");
  std::printf("%-14s %12.3f %12.3f %8.2f\n", "read lines", cmd_read, c_read, cmd_read / c_read);
  std::printf("%-14s %12.3f %12.3f %8.2f   (the loop hands out each line as a heap block)\n",
              "read lines", cmd_read, c_read_blocks, cmd_read / c_read_blocks);
  std::printf("%-14s %12.3f %12.3f %8.2f\n", "write lines", cmd_write, c_write, cmd_write / c_write);
  std::printf("%-14s %12.3f   (as many calls of file position, for the cost of a call alone)\n",
              "call floor", floor);
  std::printf("%-14s %12.3f   (to text of every line: a call that returns a new text, freed)\n",
              "text floor", text_floor);

  DeleteFileA(plain.c_str());
  DeleteFileA(commands.c_str());
  RemoveDirectoryA(dir.c_str());
  return 0;
}
