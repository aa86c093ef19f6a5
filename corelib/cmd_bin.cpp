// Byte-set commands: length, cutting, search, replacing, zero and repeated bytes, splitting.
// Everything counts bytes; positions are 1-based.
#include <algorithm>
#include <string>
#include <vector>
#include "corelib/cmd_support.h"
#include "corelib/commands.h"

namespace corelib {

using namespace runtime;

namespace {

std::string_view bin_arg(int argc, ArgRecord* args, int i) { return bin_of(arg_at(argc, args, i)); }

size_t clamp_to(int64_t v, size_t hi) { return static_cast<size_t>(std::clamp<int64_t>(v, 0, static_cast<int64_t>(hi))); }

// Count argument: unlimited when omitted, a negative count counts as 0.
int64_t count_arg(int argc, ArgRecord* args, int i) {
  return given(argc, args, i) ? std::max(int_or(argc, args, i, 0), 0) : INT64_MAX;
}

}  // namespace

CORELIB_COMMAND(bin_length) { set_int(result, static_cast<int32_t>(bin_arg(argc, args, 0).size())); }

CORELIB_COMMAND(left_bytes) {
  std::string_view b = bin_arg(argc, args, 0);
  set_bin(result, b.substr(0, clamp_to(int_or(argc, args, 1, 0), b.size())));
}

CORELIB_COMMAND(right_bytes) {
  std::string_view b = bin_arg(argc, args, 0);
  set_bin(result, b.substr(b.size() - clamp_to(int_or(argc, args, 1, 0), b.size())));
}

CORELIB_COMMAND(middle_bytes) {
  std::string_view b = bin_arg(argc, args, 0);
  size_t s = clamp_to(int_or(argc, args, 1, 1) - 1ll, b.size());
  set_bin(result, b.substr(s, clamp_to(int_or(argc, args, 2, 0), b.size())));
}

CORELIB_COMMAND(find_bytes) {
  std::string_view b = bin_arg(argc, args, 0), sought = bin_arg(argc, args, 1);
  size_t s = given(argc, args, 2) ? clamp_to(int_or(argc, args, 2, 1) - 1ll, b.size()) : 0;
  size_t at = sought.empty() ? std::string_view::npos : b.find(sought, s);
  set_int(result, at == std::string_view::npos ? -1 : static_cast<int32_t>(at + 1));
}

CORELIB_COMMAND(find_bytes_backwards) {
  std::string_view b = bin_arg(argc, args, 0), sought = bin_arg(argc, args, 1);
  if (given(argc, args, 2)) b = b.substr(0, clamp_to(int_or(argc, args, 2, 0), b.size()));
  size_t at = sought.empty() ? std::string_view::npos : b.rfind(sought);
  set_int(result, at == std::string_view::npos ? -1 : static_cast<int32_t>(at + 1));
}

CORELIB_COMMAND(replace_bytes_at) {
  std::string_view b = bin_arg(argc, args, 0);
  size_t s = clamp_to(int_or(argc, args, 1, 1) - 1ll, b.size());
  size_t n = clamp_to(int_or(argc, args, 2, 0), b.size() - s);
  std::string out(b.substr(0, s));
  if (given(argc, args, 3)) out += bin_arg(argc, args, 3);
  out += b.substr(s + n);
  set_bin(result, out);
}

CORELIB_COMMAND(replace_sub_bytes) {
  std::string_view b = bin_arg(argc, args, 0), sought = bin_arg(argc, args, 1);
  std::string_view with = given(argc, args, 2) ? bin_arg(argc, args, 2) : std::string_view{};
  int64_t start = std::max<int64_t>(int_or(argc, args, 3, 1) - 1ll, 0);
  int64_t count = count_arg(argc, args, 4);
  if (b.empty() || sought.empty() || start >= static_cast<int64_t>(b.size()) || count == 0) {
    set_bin(result, b);
    return;
  }
  std::string out(b.substr(0, static_cast<size_t>(start)));
  size_t i = static_cast<size_t>(start);
  while (count > 0) {
    size_t at = b.find(sought, i);
    if (at == std::string_view::npos) break;
    out.append(b.substr(i, at - i));
    out += with;
    i = at + sought.size();
    --count;
  }
  out.append(b.substr(i));
  set_bin(result, out);
}

CORELIB_COMMAND(zero_bytes) {
  int n = int_or(argc, args, 0, 0);
  if (n > 0) set_bin(result, std::string(static_cast<size_t>(n), '\0'));
}

CORELIB_COMMAND(repeat_bytes) {
  int n = std::max(int_or(argc, args, 0, 0), 0);
  std::string_view b = bin_arg(argc, args, 1);
  std::string out;
  out.reserve(b.size() * static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) out += b;
  set_bin(result, out);
}

CORELIB_COMMAND(split_bytes) {
  std::string_view b = bin_arg(argc, args, 0);
  std::string_view sep = given(argc, args, 1) ? bin_arg(argc, args, 1) : std::string_view("\0", 1);
  int64_t count = count_arg(argc, args, 2);
  std::vector<std::string_view> items;
  if (!b.empty() && count > 0) {
    if (sep.empty()) {
      items.push_back(b);
    } else {
      size_t begin = 0;
      while (static_cast<int64_t>(items.size()) < count) {
        size_t at = b.find(sep, begin);
        if (at == std::string_view::npos) break;
        items.push_back(b.substr(begin, at - begin));
        begin = at + sep.size();
      }
      if (begin < b.size() && static_cast<int64_t>(items.size()) < count) items.push_back(b.substr(begin));
    }
  }
  set_bin_array(result, items.data(), items.size());
}

}  // namespace corelib
