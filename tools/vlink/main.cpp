// vlink: the image linker. Links an assembly program and its description into an application
// image inside a copy of the runtime executable, and dumps images in readable form.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
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
    "usage: vlink --program PROG.s --description PROG.orv --runtime orvelrt.exe --output PROG.exe\n"
    "             [--carrier IMAGE.bin] [--stamp N] [--assembler AS] [--include DIR]\n"
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

int link(int argc, char** argv) {
  std::string program, description, runtime, output, carrier_out, stamp;
  std::string assembler = "i686-w64-mingw32-as", include = VLINK_INCLUDE_DIR;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (i + 1 >= argc) throw Error("option " + a + " needs a value\n" + kUsage);
    std::string v = argv[++i];
    if (a == "--program") program = v;
    else if (a == "--description") description = v;
    else if (a == "--runtime") runtime = v;
    else if (a == "--output") output = v;
    else if (a == "--carrier") carrier_out = v;
    else if (a == "--stamp") stamp = v;
    else if (a == "--assembler") assembler = v;
    else if (a == "--include") include = v;
    else throw Error("unknown option " + a + "\n" + kUsage);
  }
  if (program.empty() || description.empty() || (output.empty() && carrier_out.empty()))
    throw Error(std::string("missing options\n") + kUsage);
  if (!output.empty() && runtime.empty()) throw Error("--output needs --runtime");
  Bytes desc_text = read_file(description);
  vlink::Description d = vlink::parse_description(std::string(desc_text.begin(), desc_text.end()), description);
  vlink::CoffObject obj = vlink::read_coff(vlink::assemble(program, include, assembler));
  Bytes carrier = vlink::build_carrier(obj, d, build_stamp(d, stamp));
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
