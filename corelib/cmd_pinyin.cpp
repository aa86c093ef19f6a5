// Pinyin commands: readings of a hanzi, comparison by pinyin (with the fuzzy fold) and matching
// a text against a pinyin input code.
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>
#include "corelib/cmd_support.h"
#include "corelib/commands.h"
#include "corelib/pinyin_table.h"

namespace corelib {

using namespace runtime;
namespace py = corelib::pinyin;

namespace {

struct Hanzi {
  int count = 0;          // readings present
  uint16_t reading[3]{};  // in table order
  bool polyphone = false;
};

// Readings of the first character of a text (count 0 when it is no hanzi with an entry).
Hanzi first_hanzi(std::string_view s) {
  Hanzi h;
  if (s.size() < 2) return h;
  uint8_t lead = static_cast<uint8_t>(s[0]), trail = static_cast<uint8_t>(s[1]);
  h.polyphone = (py::char_entry(lead, trail) & py::kPolyphoneBit) != 0;
  h.count = py::readings(lead, trail, h.reading);
  return h;
}

std::string spell(uint16_t reading) {
  return std::string(py::part_text(py::initial_of(reading))) + py::part_text(py::final_of(reading));
}

// Reading number r (0-based) of a hanzi, 0 when there is none.
uint16_t reading_at(const Hanzi& h, int r) {
  if (h.count == 0) return 0;
  if (h.polyphone) return r <= 2 && r < h.count ? h.reading[r] : 0;
  return r == 0 ? h.reading[0] : 0;
}

enum class Piece { kWhole, kInitial, kFinal };

void pinyin_piece(ResultRecord* result, int argc, ArgRecord* args, Piece piece) {
  Hanzi h = first_hanzi(text_of(arg_at(argc, args, 0)));
  uint16_t r = reading_at(h, std::max(int_or(argc, args, 1, 1) - 1, 0));
  if (r == 0) return;
  std::string out;
  if (piece != Piece::kFinal) out += py::part_text(py::initial_of(r));
  if (piece != Piece::kInitial) out += py::part_text(py::final_of(r));
  set_text(result, out);
}

bool share_reading(std::string_view a, std::string_view b, bool fuzzy) {
  Hanzi ha = first_hanzi(a), hb = first_hanzi(b);
  for (int i = 0; i < ha.count; ++i)
    for (int j = 0; j < hb.count; ++j) {
      uint16_t x = ha.reading[i], y = hb.reading[j];
      if (fuzzy) {
        x = py::fuzzy_fold(x);
        y = py::fuzzy_fold(y);
      }
      if (x == y) return true;
    }
  return false;
}

bool is_lead(char c) { return static_cast<uint8_t>(c) >= 0x80; }

// ---- input code match ----------------------------------------------------------------------

// Parses code[0, n) as one syllable: (initial, final) codes, or 0 when it is none.
uint16_t parse_syllable(std::string_view code) {
  for (size_t ini = 0; ini <= std::min<size_t>(2, code.size()); ++ini) {
    uint8_t i = ini ? py::initial_code(code.data(), static_cast<int>(ini)) : 0;
    if (ini && !i) continue;
    std::string_view rest = code.substr(ini);
    uint8_t f = rest.empty() ? 0 : py::final_code(rest.data(), static_cast<int>(rest.size()));
    if (!rest.empty() && !f) continue;
    if (i || f) return static_cast<uint16_t>(i | f << 8);
  }
  return 0;
}

struct Matcher {
  std::string_view text;
  std::string code;  // lower case
  bool initials;     // kind 2: one letter per character
  bool fuzzy;

  bool same(uint16_t a, uint16_t b) const {
    return fuzzy ? py::fuzzy_fold(a) == py::fuzzy_fold(b) : a == b;
  }

  // Memo of (text position, code position) pairs already known not to match, so that long
  // texts of polyphones cannot make the search explode.
  mutable std::vector<bool> failed;

  bool run(size_t t, size_t c) const {
    if (failed.empty()) failed.assign((text.size() + 1) * (code.size() + 1), false);
    size_t key = t * (code.size() + 1) + c;
    if (failed[key]) return false;
    bool ok = step(t, c);
    if (!ok) failed[key] = true;
    return ok;
  }

  bool step(size_t t, size_t c) const {
    if (t == text.size()) return c == code.size();
    if (c == code.size()) return false;
    if (!is_lead(text[t])) {
      return std::tolower(static_cast<uint8_t>(text[t])) == code[c] && run(t + 1, c + 1);
    }
    if (t + 1 >= text.size()) return false;
    Hanzi h = first_hanzi(text.substr(t));
    for (int r = 0; r < h.count; ++r) {
      if (initials) {
        std::string s = spell(h.reading[r]);
        if (!s.empty() && s[0] == code[c] && run(t + 2, c + 1)) return true;
        continue;
      }
      for (size_t n = 1; n <= 6 && c + n <= code.size(); ++n) {
        uint16_t syl = parse_syllable(std::string_view(code).substr(c, n));
        if (syl && same(syl, h.reading[r]) && run(t + 2, c + n)) return true;
      }
    }
    return false;
  }
};

}  // namespace

CORELIB_COMMAND(all_pinyin) {
  Hanzi h = first_hanzi(text_of(arg_at(argc, args, 0)));
  std::string spelled[3];
  std::string_view items[3];
  for (int i = 0; i < h.count; ++i) items[i] = spelled[i] = spell(h.reading[i]);
  set_text_array(result, items, static_cast<size_t>(h.count));
}

CORELIB_COMMAND(pinyin_count) {
  Hanzi h = first_hanzi(text_of(arg_at(argc, args, 0)));
  set_int(result, h.polyphone ? (h.count >= 3 ? 3 : h.count >= 1 ? 2 : 0) : h.count);
}

CORELIB_COMMAND(pinyin_of) { pinyin_piece(result, argc, args, Piece::kWhole); }
CORELIB_COMMAND(pinyin_initial) { pinyin_piece(result, argc, args, Piece::kInitial); }
CORELIB_COMMAND(pinyin_final) { pinyin_piece(result, argc, args, Piece::kFinal); }

CORELIB_COMMAND(compare_by_pinyin) {
  std::string_view a = text_of(arg_at(argc, args, 0)), b = text_of(arg_at(argc, args, 1));
  bool fuzzy = int_or(argc, args, 2, 0) == 1;
  bool prefix = int_or(argc, args, 3, 0) == 1;
  bool ok = prefix ? a.size() <= b.size() : a.size() == b.size();
  for (size_t i = 0; ok && i < a.size();) {
    if (!is_lead(a[i]) || i + 1 >= a.size()) {
      ok = a[i] == b[i];
      ++i;
      continue;
    }
    if (i + 1 >= b.size() || !is_lead(b[i])) {
      ok = false;
      break;
    }
    std::string_view ca = a.substr(i, 2), cb = b.substr(i, 2);
    ok = ca == cb || share_reading(ca, cb, fuzzy);
    i += 2;
  }
  set_bool(result, ok);
}

CORELIB_COMMAND(input_code_match) {
  std::string_view code = text_of(arg_at(argc, args, 0));
  std::string_view text = text_of(arg_at(argc, args, 1));
  bool fuzzy = int_or(argc, args, 2, 0) == 1;
  int kind = std::clamp(int_or(argc, args, 3, 3), 1, 3);
  if (kind == 3) {
    kind = 1;
    if (!code.empty() && (code[0] == ';' || code[0] == ':')) {
      kind = code[0] == ';' ? 1 : 2;
      code.remove_prefix(1);
    }
  }
  // The selection number after an apostrophe picks among candidates in an input method; a
  // match test has no candidate list, so it only ends the code.
  code = code.substr(0, code.find('\''));
  if (code.empty() || text.empty()) {
    set_bool(result, code.empty() && text.empty());
    return;
  }
  Matcher m{text, std::string(code), kind == 2, fuzzy};
  for (char& c : m.code) c = static_cast<char>(std::tolower(static_cast<uint8_t>(c)));
  set_bool(result, m.run(0, 0));
}

}  // namespace corelib
