// Text commands: cutting by bytes, GBK-aware search, case and width changes, trimming,
// replacing, repeating, comparing and splitting. Positions are 1-based byte positions.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>
#include "corelib/cmd_support.h"
#include "corelib/commands.h"

namespace corelib {

using namespace runtime;

namespace {

bool lead(char c) { return static_cast<uint8_t>(c) >= 0x80; }
char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

std::string_view text_arg(int argc, ArgRecord* args, int i) { return text_of(arg_at(argc, args, i)); }

// Compares `sought` with the text at byte i (enough bytes remain). Ignoring case folds ASCII
// letters only; a double-byte character compares as a whole, so its trail byte never folds.
bool match_at(std::string_view text, size_t i, std::string_view sought, bool ignore_case) {
  if (!ignore_case) return text.compare(i, sought.size(), sought) == 0;
  for (size_t k = 0; k < sought.size(); ++k) {
    char a = text[i + k], b = sought[k];
    if (lead(b) && k + 1 < sought.size()) {
      if (a != b || text[i + k + 1] != sought[k + 1]) return false;
      ++k;
    } else if (fold(a) != fold(b)) {
      return false;
    }
  }
  return true;
}

// Byte length of the character at i: two for a lead byte with a trail byte, else one.
size_t char_len(std::string_view s, size_t i) { return lead(s[i]) && i + 1 < s.size() ? 2 : 1; }

// Positions (0-based) of the matches of `sought` inside text[from, end), walking by characters.
template <typename Visit>
void each_match(std::string_view text, size_t from, size_t end, std::string_view sought, bool ignore_case,
                Visit visit) {
  for (size_t i = from; i + sought.size() <= end;) {
    if (match_at(text, i, sought, ignore_case)) {
      if (!visit(i)) return;
    }
    if (lead(text[i])) {
      if (i + 1 >= text.size()) return;  // a lead byte without a trail byte ends the search
      i += 2;
    } else {
      ++i;
    }
  }
}

bool is_space_at(std::string_view s, size_t i) {
  return s[i] == ' ' || (static_cast<uint8_t>(s[i]) == 0xA1 && i + 1 < s.size() && static_cast<uint8_t>(s[i + 1]) == 0xA1);
}

size_t skip_leading(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && is_space_at(s, i)) i += s[i] == ' ' ? 1 : 2;
  return i;
}

size_t trailing_end(std::string_view s, size_t from) {
  size_t end = from;
  for (size_t i = from; i < s.size();) {
    size_t n = char_len(s, i);
    if (!is_space_at(s, i)) end = i + n;
    i += n;
  }
  return end;
}

std::string change_case(std::string_view s, bool upper) {
  std::string out(s);
  for (size_t i = 0; i < out.size(); ++i) {
    char& c = out[i];
    if (lead(c)) {
      ++i;  // the trail byte stays as it is
    } else if (upper && c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 32);
    } else if (!upper && c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c + 32);
    }
  }
  return out;
}

// The C library's multibyte comparison: characters in order, a double-byte character as one
// 16-bit unit; the case-insensitive form folds ASCII letters.
int compare_mbcs(std::string_view a, std::string_view b, bool case_sensitive) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    unsigned ca = static_cast<uint8_t>(a[i]), cb = static_cast<uint8_t>(b[j]);
    size_t na = char_len(a, i), nb = char_len(b, j);
    if (na == 2) ca = ca << 8 | static_cast<uint8_t>(a[i + 1]);
    if (nb == 2) cb = cb << 8 | static_cast<uint8_t>(b[j + 1]);
    if (!case_sensitive) {
      if (na == 1) ca = static_cast<uint8_t>(fold(static_cast<char>(ca)));
      if (nb == 1) cb = static_cast<uint8_t>(fold(static_cast<char>(cb)));
    }
    if (ca != cb) return ca < cb ? -1 : 1;
    i += na;
    j += nb;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

}  // namespace

CORELIB_COMMAND(text_length) { set_int(result, static_cast<int32_t>(text_arg(argc, args, 0).size())); }

CORELIB_COMMAND(left_text) {
  std::string_view s = text_arg(argc, args, 0);
  int n = int_or(argc, args, 1, 0);
  if (n > 0) set_text(result, s.substr(0, static_cast<size_t>(n)));
}

CORELIB_COMMAND(right_text) {
  std::string_view s = text_arg(argc, args, 0);
  int n = int_or(argc, args, 1, 0);
  if (n > 0) set_text(result, s.substr(s.size() - std::min<size_t>(static_cast<size_t>(n), s.size())));
}

CORELIB_COMMAND(middle_text) {
  std::string_view s = text_arg(argc, args, 0);
  int64_t start = static_cast<int64_t>(int_or(argc, args, 1, 0)) - 1;
  int count = int_or(argc, args, 2, 0);
  if (start < 0 || start >= static_cast<int64_t>(s.size()) || count <= 0) return;
  set_text(result, s.substr(static_cast<size_t>(start), static_cast<size_t>(count)));
}

CORELIB_COMMAND(character) {
  char c = static_cast<char>(int_or(argc, args, 0, 0));
  if (c != 0) set_text(result, std::string_view(&c, 1));
}

CORELIB_COMMAND(character_code) {
  std::string_view s = text_arg(argc, args, 0);
  int pos = int_or(argc, args, 1, 1);
  if (pos >= 1 && static_cast<size_t>(pos) <= s.size()) set_int(result, static_cast<int8_t>(s[pos - 1]));
}

CORELIB_COMMAND(find_text) {
  std::string_view s = text_arg(argc, args, 0), sought = text_arg(argc, args, 1);
  int64_t from = given(argc, args, 2) ? std::max<int64_t>(int_or(argc, args, 2, 1) - 1ll, 0) : 0;
  int32_t found = -1;
  if (from < static_cast<int64_t>(s.size())) {
    if (sought.empty()) {
      found = 1;
    } else {
      each_match(s, static_cast<size_t>(from), s.size(), sought, bool_or(argc, args, 3, false), [&](size_t i) {
        found = static_cast<int32_t>(i + 1);
        return false;
      });
    }
  }
  set_int(result, found);
}

CORELIB_COMMAND(find_text_backwards) {
  std::string_view s = text_arg(argc, args, 0), sought = text_arg(argc, args, 1);
  size_t end = s.size();
  if (given(argc, args, 2)) {
    int64_t start = int_or(argc, args, 2, 1);
    end = start <= 1 ? 0 : std::min<size_t>(static_cast<size_t>(start - 1), s.size());
  }
  int32_t found = -1;
  if (!sought.empty()) {
    each_match(s, 0, end, sought, bool_or(argc, args, 3, false), [&](size_t i) {
      found = static_cast<int32_t>(i + 1);
      return true;
    });
  }
  set_int(result, found);
}

CORELIB_COMMAND(to_upper) { set_text(result, change_case(text_arg(argc, args, 0), true)); }
CORELIB_COMMAND(to_lower) { set_text(result, change_case(text_arg(argc, args, 0), false)); }
CORELIB_COMMAND(to_full_width) { set_text(result, full_width(text_arg(argc, args, 0))); }
CORELIB_COMMAND(to_half_width) { set_text(result, half_width(text_arg(argc, args, 0))); }

CORELIB_COMMAND(trim_leading) {
  std::string_view s = text_arg(argc, args, 0);
  set_text(result, s.substr(skip_leading(s)));
}

CORELIB_COMMAND(trim_trailing) {
  std::string_view s = text_arg(argc, args, 0);
  set_text(result, s.substr(0, trailing_end(s, 0)));
}

CORELIB_COMMAND(trim_both) {
  std::string_view s = text_arg(argc, args, 0);
  size_t from = skip_leading(s);
  set_text(result, s.substr(from, trailing_end(s, from) - from));
}

CORELIB_COMMAND(remove_spaces) {
  std::string_view s = text_arg(argc, args, 0);
  std::string out;
  for (size_t i = 0; i < s.size();) {
    size_t n = char_len(s, i);
    if (!is_space_at(s, i)) out.append(s.substr(i, n));
    i += n;
  }
  set_text(result, out);
}

CORELIB_COMMAND(replace_text_at) {
  std::string_view s = text_arg(argc, args, 0);
  int64_t start = std::clamp<int64_t>(int_or(argc, args, 1, 1) - 1ll, 0, static_cast<int64_t>(s.size()));
  int64_t length = int_or(argc, args, 2, 0);
  size_t at = static_cast<size_t>(start);
  size_t remain = s.size() - at;
  size_t cut = static_cast<uint64_t>(std::max<int64_t>(length, 0)) > remain ? remain
                                                                            : static_cast<size_t>(std::max<int64_t>(length, 0));
  std::string out(s.substr(0, at));
  if (given(argc, args, 3)) out += text_arg(argc, args, 3);
  out += s.substr(at + cut);
  set_text(result, out);
}

CORELIB_COMMAND(replace_sub_text) {
  std::string_view s = text_arg(argc, args, 0), sought = text_arg(argc, args, 1);
  std::string_view with = given(argc, args, 2) ? text_arg(argc, args, 2) : std::string_view{};
  int64_t start = std::max<int64_t>(int_or(argc, args, 3, 1) - 1ll, 0);
  int64_t count = given(argc, args, 4) ? std::max(int_or(argc, args, 4, 0), 0) : INT64_MAX;
  bool ignore_case = !bool_or(argc, args, 5, false);
  if (s.empty() || sought.empty() || start >= static_cast<int64_t>(s.size()) || count == 0) {
    set_text(result, s);
    return;
  }
  std::string out(s.substr(0, static_cast<size_t>(start)));
  size_t i = static_cast<size_t>(start);
  while (i + sought.size() <= s.size()) {
    if (count > 0 && match_at(s, i, sought, ignore_case)) {
      out += with;
      i += sought.size();
      --count;
    } else {
      size_t n = char_len(s, i);
      out.append(s.substr(i, n));
      i += n;
    }
  }
  out.append(s.substr(std::min(i, s.size())));
  set_text(result, out);
}

CORELIB_COMMAND(spaces) {
  int n = int_or(argc, args, 0, 0);
  if (n >= 1) set_text(result, std::string(static_cast<size_t>(n), ' '));
}

CORELIB_COMMAND(repeat_text) {
  int n = std::max(int_or(argc, args, 0, 0), 0);
  std::string_view s = text_arg(argc, args, 1);
  std::string out;
  out.reserve(s.size() * static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) out += s;
  set_text(result, out);
}

CORELIB_COMMAND(compare_text) {
  set_int(result, compare_mbcs(text_arg(argc, args, 0), text_arg(argc, args, 1), bool_or(argc, args, 2, true)));
}

CORELIB_COMMAND(split_text) {
  std::string_view s = text_arg(argc, args, 0);
  std::string_view sep = given(argc, args, 1) ? text_arg(argc, args, 1) : std::string_view(",");
  int64_t count = given(argc, args, 2) ? std::max(int_or(argc, args, 2, 0), 0) : INT64_MAX;
  std::vector<std::string_view> items;
  if (!s.empty() && count > 0) {
    if (sep.empty()) {
      items.push_back(s);
    } else {
      size_t begin = 0, i = 0;
      while (i < s.size() && static_cast<int64_t>(items.size()) < count) {
        if (s.compare(i, sep.size(), sep) == 0) {
          items.push_back(s.substr(begin, i - begin));
          i += sep.size();
          begin = i;
        } else {
          i += char_len(s, i);
        }
      }
      if (begin < s.size() && static_cast<int64_t>(items.size()) < count) items.push_back(s.substr(begin));
    }
  }
  set_text_array(result, items.data(), items.size());
}

}  // namespace corelib
