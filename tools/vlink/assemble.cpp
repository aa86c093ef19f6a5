// Runs the cross assembler on a GBK-converted copy of an assembly source, or the cross
// compiler on a C source.
#include "assemble.h"
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>
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
  if (pid < 0) throw Error("cannot start " + args[0]);
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

namespace {

// A private temporary folder, removed with what it holds.
class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/vlink-XXXXXX";
    if (!mkdtemp(tmpl)) throw Error("cannot make a temporary folder");
    path_ = tmpl;
  }
  ~TempDir() {
    for (const std::string& f : files_) std::remove(f.c_str());
    rmdir(path_.c_str());
  }
  std::string file(const std::string& name) {
    files_.push_back(path_ + "/" + name);
    return files_.back();
  }

 private:
  std::string path_;
  std::vector<std::string> files_;
};

}  // namespace

Bytes assemble(const std::string& source_file, const std::string& include_dir, const std::string& assembler) {
  Bytes src = read_all(source_file);
  std::string converted = gbk_literals(std::string(src.begin(), src.end()), source_file);
  TempDir tmp;
  std::string s = tmp.file("program.s"), o = tmp.file("program.o");
  {
    std::ofstream out(s, std::ios::binary);
    out << converted;
    if (!out) throw Error("cannot write " + s);
  }
  if (run({assembler, "--32", "-I", dir_of(source_file), "-I", include_dir, "-o", o, s}) != 0)
    throw Error("the assembler failed on " + source_file + " (messages name the converted copy program.s)");
  return read_all(o);
}

Bytes compile_c(const std::string& source_file, const std::string& include_dir, const std::string& compiler) {
  read_all(source_file);  // a missing file is named as such, not as a compiler failure
  TempDir tmp;
  std::string o = tmp.file("program.o");
  // Code for the image's code section: no PIC, no unwind or stack-probe tables and calls, no
  // hot/cold function splitting (marked operands return to .text), GBK texts. Jump tables
  // and constants go to .rdata, zero-initialised data to .bss.
  const std::vector<std::string> args = {
      compiler, "-m32", "-std=gnu17", "-O2", "-ffreestanding", "-fno-pic", "-fno-pie",
      "-fno-asynchronous-unwind-tables", "-fno-unwind-tables", "-fno-exceptions",
      "-fno-stack-check", "-fno-stack-protector", "-mno-stack-arg-probe", "-fno-ident",
      "-fno-common", "-fno-reorder-functions", "-fno-reorder-blocks-and-partition",
      "-finput-charset=UTF-8", "-fexec-charset=GBK", "-Wall", "-I", dir_of(source_file),
      "-I", include_dir, "-c", "-o", o, source_file};
  if (run(args) != 0) throw Error("the compiler failed on " + source_file);
  return read_all(o);
}

}  // namespace vlink
