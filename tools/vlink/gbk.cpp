// UTF-8 <-> GBK through the host's iconv.
#include "gbk.h"
#include <iconv.h>
#include <cerrno>
#include "bytes.h"

namespace vlink {

namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) throw Error(std::string("iconv cannot convert ") + from + " to " + to);
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts as much as it can; stops at the first byte it cannot take and returns false.
  bool convert(const char*& in, size_t& in_left, std::string& out) {
    char buf[256];
    while (in_left > 0) {
      char* o = buf;
      size_t o_left = sizeof buf;
      size_t r = iconv(cd_, const_cast<char**>(&in), &in_left, &o, &o_left);
      out.append(buf, o - buf);
      if (r == static_cast<size_t>(-1) && errno != E2BIG) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        return false;
      }
    }
    return true;
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::string utf8_to_gbk(const std::string& utf8) {
  Converter c("GBK", "UTF-8");
  const char* in = utf8.data();
  size_t left = utf8.size();
  std::string out;
  if (!c.convert(in, left, out))
    throw Error("text is not UTF-8 or has no GBK form: \"" + utf8 + "\"");
  return out;
}

bool gbk_pair_to_utf8(unsigned char lead, unsigned char trail, std::string& out) {
  static Converter c("UTF-8", "GBK");
  char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
  const char* in = pair;
  size_t left = 2;
  std::string got;
  if (!c.convert(in, left, got) || got.empty()) return false;
  out += got;
  return true;
}

}  // namespace vlink
