// vlink: the image linker. Links a program (assembly and C sources) and its description into
// an application image inside a copy of the runtime executable, and dumps images in readable
// form.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <set>
#include <string>
#include <vector>
#include "assemble.h"
#include "build_image.h"
#include "coff.h"
#include "description.h"
#include "dump.h"
#include "pe_file.h"

#ifndef VLINK_INCLUDE_DIR
#define VLINK_INCLUDE_DIR "."
#endif

namespace {

using vlink::Bytes;
using vlink::Error;

constexpr const char* kUsage =
    "usage: vlink --program SOURCE [--program SOURCE...] --description PROG.orv\n"
    "             --runtime orvelrt.exe --output PROG.exe\n"
    "             [--carrier IMAGE.bin] [--stamp N] [--assembler AS] [--compiler CC] [--include DIR]\n"
    "       a SOURCE is assembly (.s) or C (.c); several may be named\n"
    "       vlink --dump FILE    (an executable with an image, or a carrier file)\n";

Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error("cannot read " + path);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const Bytes& b) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  if (!out) throw Error("cannot write " + path);
}

uint32_t build_stamp(const vlink::Description& d, const std::string& option) {
  if (!option.empty()) return static_cast<uint32_t>(std::stoul(option, nullptr, 0));
  if (d.stamp) return *d.stamp;
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) return static_cast<uint32_t>(std::strtoul(epoch, nullptr, 10));
  return static_cast<uint32_t>(std::time(nullptr));
}

bool ends_with(const std::string& s, const char* tail) {
  size_t n = std::char_traits<char>::length(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

struct Tools {
  std::string assembler = "i686-w64-mingw32-as";
  std::string compiler = "i686-w64-mingw32-gcc";
  std::string include = VLINK_INCLUDE_DIR;
};

vlink::CoffObject translate(const std::string& source, const Tools& t) {
  vlink::CoffObject obj;
  if (ends_with(source, ".c")) {
    obj = vlink::read_coff(vlink::compile_c(source, t.include, t.compiler));
    obj.from_c = true;
  } else if (ends_with(source, ".s") || ends_with(source, ".S")) {
    obj = vlink::read_coff(vlink::assemble(source, t.include, t.assembler));
  } else {
    throw Error("cannot tell the language of " + source + " (a program source ends in .s or .c)");
  }
  obj.origin = source;
  return obj;
}

// External names the objects use and none defines.
std::set<std::string> undefined_names(const std::vector<vlink::CoffObject>& objects) {
  std::set<std::string> used, defined;
  for (const vlink::CoffObject& o : objects)
    for (const vlink::CoffSymbol& s : o.symbols) {
      if (s.undefined()) used.insert(s.name);
      else if (s.global()) defined.insert(s.name);
    }
  for (const std::string& d : defined) used.erase(d);
  return used;
}

// The program's objects, then each support object that defines a name still undefined (the
// service functions for C, memory and 64-bit arithmetic helpers, the text result copy).
std::vector<vlink::CoffObject> program_objects(const std::vector<std::string>& sources, const Tools& t) {
  std::vector<vlink::CoffObject> objects;
  for (const std::string& s : sources) objects.push_back(translate(s, t));
  std::vector<vlink::CoffObject> support;
  for (bool more = !undefined_names(objects).empty(); more;) {
    if (support.empty())
      for (const char* f : {"orvel_services.s", "orvel_support.c"}) support.push_back(translate(t.include + "/" + f, t));
    more = false;
    std::set<std::string> wanted = undefined_names(objects);
    for (auto it = support.begin(); it != support.end(); ++it) {
      bool offers = false;
      for (const vlink::CoffSymbol& s : it->symbols)
        offers = offers || (s.global() && s.section > 0 && wanted.count(s.name));
      if (!offers) continue;
      objects.push_back(std::move(*it));
      support.erase(it);
      more = true;
      break;
    }
  }
  return objects;
}

int link(int argc, char** argv) {
  std::string description, runtime, output, carrier_out, stamp;
  std::vector<std::string> programs;
  Tools tools;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (i + 1 >= argc) throw Error("option " + a + " needs a value\n" + kUsage);
    std::string v = argv[++i];
    if (a == "--program") programs.push_back(v);
    else if (a == "--description") description = v;
    else if (a == "--runtime") runtime = v;
    else if (a == "--output") output = v;
    else if (a == "--carrier") carrier_out = v;
    else if (a == "--stamp") stamp = v;
    else if (a == "--assembler") tools.assembler = v;
    else if (a == "--compiler") tools.compiler = v;
    else if (a == "--include") tools.include = v;
    else throw Error("unknown option " + a + "\n" + kUsage);
  }
  if (programs.empty() || description.empty() || (output.empty() && carrier_out.empty()))
    throw Error(std::string("missing options\n") + kUsage);
  if (!output.empty() && runtime.empty()) throw Error("--output needs --runtime");
  Bytes desc_text = read_file(description);
  vlink::Description d = vlink::parse_description(std::string(desc_text.begin(), desc_text.end()), description);
  Bytes carrier = vlink::build_carrier(program_objects(programs, tools), d, build_stamp(d, stamp));
  if (!carrier_out.empty()) write_file(carrier_out, carrier);
  if (!output.empty()) write_file(output, vlink::insert_carrier(read_file(runtime), carrier));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 3 && std::string(argv[1]) == "--dump") {
      std::fputs(vlink::dump_image(vlink::extract_carrier(read_file(argv[2]))).c_str(), stdout);
      return 0;
    }
    if (argc < 2) throw Error(kUsage);
    return link(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vlink: %s\n", e.what());
    return 1;
  }
}
