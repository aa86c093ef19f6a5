// Runs the cross assembler on a GBK-converted copy of the program.
#include "assemble.h"
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include "gbk.h"

namespace vlink {

namespace {

Bytes read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error("cannot read " + path);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string dir_of(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

int run(const std::vector<std::string>& args) {
  pid_t pid = fork();
  if (pid < 0) throw Error("cannot start the assembler");
  if (pid == 0) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    std::perror(argv[0]);
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

}  // namespace

std::string gbk_literals(const std::string& source, const std::string& file_name) {
  std::string out;
  size_t i = 0;
  int line = 1;
  while (i < source.size()) {
    char c = source[i];
    if (c == '\n') ++line;
    if (c == '#') {  // comment to the end of the line
      size_t end = source.find('\n', i);
      if (end == std::string::npos) end = source.size();
      out.append(source, i, end - i);
      i = end;
      continue;
    }
    if (c == '\'' && i + 1 < source.size()) {  // character constant: 'x
      out.append(source, i, 2);
      i += 2;
      continue;
    }
    if (c != '"') {
      out += c;
      ++i;
      continue;
    }
    out += '"';
    ++i;
    std::string run;
    auto flush = [&] {
      if (run.empty()) return;
      std::string gbk;
      try {
        gbk = utf8_to_gbk(run);
      } catch (const Error& e) {
        throw Error(file_name + ":" + std::to_string(line) + ": " + e.what());
      }
      char esc[8];
      for (unsigned char b : gbk) {
        std::snprintf(esc, sizeof esc, "\\%03o", b);
        out += esc;
      }
      run.clear();
    };
    while (i < source.size() && source[i] != '"') {
      unsigned char b = source[i];
      if (b == '\n') throw Error(file_name + ":" + std::to_string(line) + ": string not closed");
      if (b == '\\' && i + 1 < source.size()) {
        flush();
        out.append(source, i, 2);
        i += 2;
        continue;
      }
      if (b >= 0x80) run += static_cast<char>(b);
      else {
        flush();
        out += static_cast<char>(b);
      }
      ++i;
    }
    flush();
    if (i < source.size()) out += '"', ++i;
  }
  return out;
}

Bytes assemble(const std::string& source_file, const std::string& include_dir, const std::string& assembler) {
  Bytes src = read_all(source_file);
  std::string converted = gbk_literals(std::string(src.begin(), src.end()), source_file);
  char tmpl[] = "/tmp/vlink-XXXXXX";
  if (!mkdtemp(tmpl)) throw Error("cannot make a temporary folder");
  std::string dir = tmpl, s = dir + "/program.s", o = dir + "/program.o";
  {
    std::ofstream out(s, std::ios::binary);
    out << converted;
    if (!out) throw Error("cannot write " + s);
  }
  int rc = run({assembler, "--32", "-I", dir_of(source_file), "-I", include_dir, "-o", o, s});
  Bytes obj;
  if (rc == 0) obj = read_all(o);
  std::remove(s.c_str());
  std::remove(o.c_str());
  rmdir(dir.c_str());
  if (rc != 0) throw Error("the assembler failed on " + source_file + " (messages name the converted copy program.s)");
  return obj;
}

}  // namespace vlink
